// Real failures of the kernel for the Linux platform's tests: mounts made in
// a mount namespace of the test process's own, so they vanish with it and the
// host never sees them. Each needs root (tests skip when refused).
#pragma once
#include <cstddef>
#include <string>

// Enters the private mount namespace (once per process); false when this
// process may not (not root), and the test should skip.
bool enterPrivateMounts();

// `file` bind-mounted over itself: deleting or renaming it fails (EBUSY), as
// a file in use does on Windows.
bool pinFile(const std::string& file);

// `folder` bind-mounted over itself read-only: every change in it fails
// (EROFS), as on a disk mounted read-only.
bool mountReadOnly(const std::string& folder);

// A tmpfs that holds `spareBytes` more than what `folder` holds now (in whole
// pages) mounted on `folder`, with copies of its files: writes beyond that
// fail with ENOSPC, as on a full disk.
bool fillFolderAfter(const std::string& folder, size_t spareBytes);

// Detaches every mount made above, newest first.
void releasePrivateMounts();
