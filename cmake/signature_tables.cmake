# The signature tables res/signatures.dat and res/uu_signature.dat: each is
# checked by the table tool (tools/sigtable) before it is embedded, so a table
# dropped in without an end record, of a length that is no whole number of
# records, or with a name that is not NUL-terminated stops the build with the
# file and the fault named, instead of being read past its end at run time.
# Sets EMBEDDED_TABLE_SOURCES: the generated sources that hold the tables.

set(_tables_source ${CMAKE_CURRENT_SOURCE_DIR})
set(_tables_out ${CMAKE_CURRENT_BINARY_DIR}/embedded)

# The table tool runs on the build machine. The native build makes it as the
# target `sigtable`; a cross build compiles the same sources with this
# machine's own compiler as a build step.
if(CMAKE_CROSSCOMPILING)
  find_program(DRENVALISK_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(SIGTABLE_TOOL ${CMAKE_CURRENT_BINARY_DIR}/host-tools/sigtable)
  set(_tool_sources ${_tables_source}/tools/sigtable.cpp ${_tables_source}/tools/sigtable_stats.cpp)
  add_custom_command(
    OUTPUT ${SIGTABLE_TOOL}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/host-tools
    COMMAND ${DRENVALISK_HOST_CXX} -std=c++17 -O1 -I${_tables_source} ${_tool_sources}
            -o ${SIGTABLE_TOOL}
    DEPENDS ${_tool_sources} ${_tables_source}/tools/sigtable_stats.h
            ${_tables_source}/engine/signature_record.h
    COMMENT "Building the table tool for the build machine (${DRENVALISK_HOST_CXX})"
    VERBATIM)
  set(_tool_depends ${SIGTABLE_TOOL})
else()
  set(SIGTABLE_TOOL $<TARGET_FILE:sigtable>)
  set(_tool_depends sigtable)
endif()

# embed_table(INPUT SYMBOL MUTABLE CHECK): validates res/INPUT with
# `sigtable CHECK --quiet`, then writes it as the array SYMBOL.
function(embed_table input symbol mutable check)
  set(table ${_tables_source}/${input})
  get_filename_component(name ${input} NAME)
  set(stamp ${_tables_out}/${name}.valid)
  set(output ${_tables_out}/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${SIGTABLE_TOOL} ${check} --quiet ${table}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${table} ${_tool_depends}
    COMMENT "Checking the signature table ${input}"
    VERBATIM)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${table} -DOUTPUT=${output} -DSYMBOL=${symbol}
            -DMUTABLE=${mutable} -P ${_tables_source}/cmake/embed.cmake
    DEPENDS ${table} ${stamp} ${_tables_source}/cmake/embed.cmake
    VERBATIM)
  set(EMBEDDED_TABLE_SOURCES ${EMBEDDED_TABLE_SOURCES} ${output} PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${_tables_out})
embed_table(res/signatures.dat kEmbeddedSignatures 0 validate)
embed_table(res/uu_signature.dat kEmbeddedUuSignature 1 validate-uu)
