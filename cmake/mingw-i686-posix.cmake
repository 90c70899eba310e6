# The Win32 test executables: the same 32-bit target as cmake/mingw-i686.cmake,
# built with mingw-w64's posix-threads variant, whose std::condition_variable
# GoogleTest needs. Tests run under Wine only; nothing built here ships.
set(DRENVALISK_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
