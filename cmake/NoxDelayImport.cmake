# Delay-import libraries for the mingw builds. A program linked with one
# loads the DLL at its first call into it instead of at start-up: most logins
# of explorer.exe never show a window, and starting user32 alone costs more
# than the rest of such a login.
#
#   nox_delay_import_library(<target> <dll>)
#
# makes the static library <target> from the toolchain's import library of
# <dll> (every export it lists) with dlltool; link it instead of <dll>. The
# resolving is done by the C runtime's __delayLoadHelper2.
function(nox_delay_import_library target dll)
  find_library(import_library NAMES lib${dll}.a NO_CACHE REQUIRED)
  execute_process(
    COMMAND ${CMAKE_NM} --defined-only ${import_library}
    OUTPUT_VARIABLE symbols
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CMAKE_NM} could not list ${import_library}")
  endif()

  # x86_64 names its import thunks __imp_Name; i686 adds the C underscore and
  # the stdcall suffix, __imp__Name@8, which the def file keeps and dlltool's
  # --kill-at drops from the name looked up in the DLL.
  string(REGEX MATCHALL "[ \t]I __imp_[^\r\n]+" thunks "${symbols}")
  set(exports "")
  foreach(thunk IN LISTS thunks)
    string(REGEX REPLACE "^[ \t]I __imp_" "" name "${thunk}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "^_" "" name "${name}")
    endif()
    list(APPEND exports "${name}")
  endforeach()
  list(REMOVE_DUPLICATES exports)
  list(LENGTH exports count)
  if(count EQUAL 0)
    message(FATAL_ERROR "no exports found in ${import_library}")
  endif()
  list(JOIN exports "\n" export_lines)

  set(def_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  set(library_file ${CMAKE_CURRENT_BINARY_DIR}/lib${target}.a)
  file(CONFIGURE OUTPUT ${def_file}
       CONTENT "LIBRARY ${dll}.dll\nEXPORTS\n${export_lines}\n" @ONLY)
  add_custom_command(
    OUTPUT ${library_file}
    COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${def_file} --dllname ${dll}.dll
            --output-delaylib ${library_file}
    DEPENDS ${def_file}
    COMMENT "Delay-import library for ${dll}.dll"
    VERBATIM)
  add_custom_target(${target}_build DEPENDS ${library_file})
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${library_file})
  add_dependencies(${target} ${target}_build)
endfunction()
