# Cross-compiling the shipped Win32 executables: 32-bit PE from mingw-w64's
# win32-threads variant. The posix variant's thread library makes even a
# single-threaded program import functions that Windows 98 and NT 4.0 lack
# (GetTickCount64, AddVectoredExceptionHandler, TryEnterCriticalSection, ...).
# GoogleTest needs that variant's std::condition_variable, so the Win32 tests
# are built by cmake/mingw-i686-posix.cmake instead (the win32-tests preset).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
if(NOT DEFINED DRENVALISK_MINGW_THREADS)
  set(DRENVALISK_MINGW_THREADS win32)
endif()
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${DRENVALISK_MINGW_THREADS})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${DRENVALISK_MINGW_THREADS})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every executable runs on a bare Windows 98 SE or NT 4.0: the C and C++
# runtimes linked in (msvcrt.dll is the only runtime DLL), and the image marked
# for subsystem and OS version 4.0, which the 9x and NT 4.0 loaders accept.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -Wl,--major-subsystem-version,4,--minor-subsystem-version,0,--major-os-version,4,--minor-os-version,0")
