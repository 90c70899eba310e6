// Finding and terminating the processes that run a file.
#pragma once

// Terminates the process(es) running `path` by the method of the running
// Windows generation. 1 on success (and on a platform outside both families).
int killProcessByPath(const char* path);

int killByNameToolhelp(const char* path);
int killByPathPsapi(const char* path);
int killByNamePerfData(const char* path);
