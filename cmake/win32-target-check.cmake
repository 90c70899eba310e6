# Proves at configure time that the Windows version pinned in
# cmake/win32-target.cmake is in force for this build: a call that a newer
# Windows introduced does not compile, the same function loaded by name does,
# and windows.h is the lean one. A toolchain or flag change that drops the pin
# stops the configuration here, naming the probe.
function(_drenvalisk_probe name expect)
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
  try_compile(compiled ${CMAKE_BINARY_DIR}/win32-target-probes/${name}
              ${CMAKE_CURRENT_LIST_DIR}/probes/${name}.cpp
              OUTPUT_VARIABLE output)
  if(expect STREQUAL "compiles" AND NOT compiled)
    message(FATAL_ERROR "cmake/probes/${name}.cpp must compile for the pinned Windows:\n${output}")
  elseif(expect STREQUAL "fails" AND compiled)
    message(FATAL_ERROR "cmake/probes/${name}.cpp compiled, but the pinned Windows "
                        "(NT 4.0, 98: cmake/win32-target.cmake) must refuse it")
  endif()
endfunction()

if(NOT DRENVALISK_WIN32_TARGET_CHECKED STREQUAL "${CMAKE_CXX_FLAGS}")
  _drenvalisk_probe(newer_call fails)
  _drenvalisk_probe(loaded_by_name compiles)
  _drenvalisk_probe(lean_headers fails)
  message(STATUS "Windows target pinned to NT 4.0 / 98: a Vista call is refused, loading it by name works")
  set(DRENVALISK_WIN32_TARGET_CHECKED "${CMAKE_CXX_FLAGS}" CACHE INTERNAL "")
endif()
