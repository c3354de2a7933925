# nox_manifest(TARGET asInvoker|requireAdministrator) embeds the application
# manifest (resource 1 of type 24): the execution level, and every Windows
# from Vista to 11 as supported, so that no UAC file or registry
# virtualisation turns a refused write into a private per-user copy.
# Windows 9x and NT 4 ignore the resource. Nothing happens off Win32.
function(nox_manifest target level)
  if(NOT WIN32)
    return()
  endif()
  set(NOX_EXECUTION_LEVEL ${level})
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/nox.manifest.in ${manifest} @ONLY)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc)
  file(WRITE ${rc} "1 24 \"${manifest}\"\n")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${manifest})
  target_sources(${target} PRIVATE ${rc})
  if(NOX_BUILD_TESTS)
    # The built program carries it: its level and the Windows 10/11 entry.
    add_test(NAME ${target}_manifest
             COMMAND sh -c "grep -qa 'requestedExecutionLevel level=\"${level}\"' \"$1\" && grep -qa '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' \"$1\"" sh $<TARGET_FILE:${target}>)
  endif()
endfunction()
