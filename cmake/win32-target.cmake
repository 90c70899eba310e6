# The Windows every Win32 build targets (the top CMakeLists.txt includes this
# for each of them): Windows NT 4.0 and Windows 98, set once here.
# - _WIN32_WINNT and WINVER 0x0400, _WIN32_WINDOWS 0x0410: mingw-w64's headers
#   leave out what needs a newer Windows. They guard mostly what Windows Vista
#   and later added (GetTickCount64, QueryFullProcessImageNameA) and a few XP
#   things (WTSGetActiveConsoleSessionId, WM_UNICHAR).
# - cmake/win32-newer-functions.h, included before every source: the Windows
#   2000 and XP functions those headers declare anyway, marked unavailable.
# - WIN32_LEAN_AND_MEAN: no shell, sockets, RPC or multimedia headers unless a
#   source includes them itself.
# A call of a newer function thus fails to compile; a function that newer
# systems alone export is loaded by name at run time (LoadLibraryA +
# GetProcAddress) through a pointer type of the source's own. What the
# executables import is still checked by scripts/check-imports.sh.
set(DRENVALISK_WIN32_TARGET_DEFINITIONS
    _WIN32_WINNT=0x0400 WINVER=0x0400 _WIN32_WINDOWS=0x0410 WIN32_LEAN_AND_MEAN)
set(DRENVALISK_WIN32_NEWER_FUNCTIONS ${CMAKE_CURRENT_LIST_DIR}/win32-newer-functions.h)
add_compile_definitions(${DRENVALISK_WIN32_TARGET_DEFINITIONS})
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:SHELL:-include ${DRENVALISK_WIN32_NEWER_FUNCTIONS}>")

# No link time in the image header: two links of the same objects give the
# same bytes.
add_link_options(-Wl,--no-insert-timestamp)

# Proves at configure time that the pin holds with this compiler's headers (a
# newer mingw-w64 may guard them differently): a call that a newer Windows
# introduced (Vista, and XP through the header above) does not compile, the
# same function loaded by name does, and windows.h is the lean one. The probes
# are in cmake/probes/; configuration stops on the first that misbehaves.
function(_drenvalisk_probe name expect)
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
  list(TRANSFORM DRENVALISK_WIN32_TARGET_DEFINITIONS PREPEND -D OUTPUT_VARIABLE definitions)
  try_compile(compiled ${CMAKE_BINARY_DIR}/win32-target-probes/${name}
              ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/probes/${name}.cpp
              COMPILE_DEFINITIONS ${definitions} -include ${DRENVALISK_WIN32_NEWER_FUNCTIONS}
              OUTPUT_VARIABLE output)
  if(expect STREQUAL "compiles" AND NOT compiled)
    message(FATAL_ERROR "cmake/probes/${name}.cpp must compile for the pinned Windows:\n${output}")
  elseif(expect STREQUAL "fails" AND compiled)
    message(FATAL_ERROR "cmake/probes/${name}.cpp compiled, but the pinned Windows "
                        "(NT 4.0 and 98, cmake/win32-target.cmake) must refuse it")
  endif()
endfunction()

file(SHA256 ${DRENVALISK_WIN32_NEWER_FUNCTIONS} _header_hash)
set(_probe_key "${CMAKE_CXX_COMPILER} ${CMAKE_CXX_FLAGS} ${_header_hash}")
if(NOT DRENVALISK_WIN32_TARGET_CHECKED STREQUAL _probe_key)
  _drenvalisk_probe(newer_call fails)
  _drenvalisk_probe(newer_xp_call fails)
  _drenvalisk_probe(loaded_by_name compiles)
  _drenvalisk_probe(lean_headers fails)
  message(STATUS "Windows target NT 4.0 and 98: Vista and XP calls refused, loading them by name works")
  set(DRENVALISK_WIN32_TARGET_CHECKED "${_probe_key}" CACHE INTERNAL "")
endif()
