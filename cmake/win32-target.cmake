# The Windows every Win32 build targets, set once for all three toolchain files
# (included by each): Windows NT 4.0 and Windows 98 (_WIN32_WINNT and WINVER
# 0x0400, _WIN32_WINDOWS 0x0410), with the lean windows.h (no shell, sockets,
# RPC or multimedia headers unless a source includes them itself). mingw-w64's
# headers then leave out the declarations that need a newer Windows, so such a
# call fails to compile; a function a newer Windows alone exports is loaded by
# name at run time (LoadLibraryA + GetProcAddress) through a pointer type the
# source declares itself. The headers guard mostly what Windows Vista and later
# added: scripts/check-imports.sh still checks what the executables import.
set(DRENVALISK_WIN32_TARGET_DEFINES
    "-D_WIN32_WINNT=0x0400 -DWINVER=0x0400 -D_WIN32_WINDOWS=0x0410 -DWIN32_LEAN_AND_MEAN")
set(CMAKE_C_FLAGS_INIT "${DRENVALISK_WIN32_TARGET_DEFINES}")
set(CMAKE_CXX_FLAGS_INIT "${DRENVALISK_WIN32_TARGET_DEFINES}")
set(CMAKE_RC_FLAGS_INIT "${DRENVALISK_WIN32_TARGET_DEFINES}")

# No link time in the image header: two links of the same objects give the
# same bytes (the PE checksum field stays 0, which the loaders accept for
# programs).
set(DRENVALISK_WIN32_LINK_FLAGS "-Wl,--no-insert-timestamp")
