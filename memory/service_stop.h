// Stopping a service by name.
#pragma once

// 1 when the service was found, accepted the stop request and then reported
// itself stopped; 0 otherwise. Waits (in one-second pauses) while it reports
// stop pending, for at most kMaxStopWaits pauses.
int stopService(const char* serviceName);

constexpr int kMaxStopWaits = 120;
