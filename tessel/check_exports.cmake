# Checks the export table of a built DLL: exactly the expected names, each
# undecorated (no leading "_", no "@N" suffix).
#
#   cmake -DOBJDUMP=<objdump> -DDLL=<file> -DEXPECTED=<name,name,...> -P check_exports.cmake

cmake_minimum_required(VERSION 3.25)

foreach(var OBJDUMP DLL EXPECTED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_exports: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${DLL}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "check_exports: ${OBJDUMP} -p ${DLL} failed")
endif()

# The name table lists one "[ n] Name" line per exported name.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)*)"
  table "${dump}")
set(names "${CMAKE_MATCH_1}")
string(REGEX REPLACE "[ \t]+\\[[ 0-9]+\\] ([^\n]+)\n" "\\1;" names "${names}")
list(REMOVE_ITEM names "")
list(SORT names)
string(REPLACE "," ";" expected "${EXPECTED}")
list(SORT expected)

if(NOT names STREQUAL expected)
  message(FATAL_ERROR "check_exports: ${DLL} exports\n  ${names}\nexpected\n  ${expected}")
endif()
foreach(name IN LISTS names)
  if(name MATCHES "@|^_")
    message(FATAL_ERROR "check_exports: ${DLL} exports a decorated name: ${name}")
  endif()
endforeach()
list(LENGTH names count)
message(STATUS "check_exports: ${DLL}: ${count} undecorated exports")
