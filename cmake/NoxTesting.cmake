# Test plumbing shared by every directory.
#
# nox_test(NAME SOURCES ... LIBS ...) builds one GoogleTest program and
# registers it with ctest. Under mingw the program runs through
# CMAKE_CROSSCOMPILING_EMULATOR (Wine); 32-bit test programs are built but
# not registered, since this kernel cannot run them.
#
# nox_fuzzer(NAME SOURCES ... LIBS ... CORPUS dir) builds a libFuzzer target
# when NOX_BUILD_FUZZERS is on (clang); otherwise, natively, it builds the
# same target with a replay main and runs its saved corpus as a test.

if(NOX_BUILD_TESTS)
  enable_testing()
  if(WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    add_library(nox_gtest_main INTERFACE)
    target_link_libraries(nox_gtest_main INTERFACE gtest_main gtest)
  else()
    find_package(GTest REQUIRED)
    add_library(nox_gtest_main INTERFACE)
    target_link_libraries(nox_gtest_main INTERFACE GTest::gtest_main GTest::gtest)
  endif()
endif()

function(nox_test name)
  if(NOT NOX_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} nox_gtest_main)
  if(NOT WIN32 OR CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_test(NAME ${name} COMMAND ${name})
  endif()
endfunction()

function(nox_fuzzer name)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOX_BUILD_FUZZERS)
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
  elseif(NOX_BUILD_TESTS)
    add_executable(${name}_replay ${F_SOURCES} ${PROJECT_SOURCE_DIR}/common/fuzz_replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
    add_test(NAME ${name}_replay COMMAND ${name}_replay ${F_CORPUS})
  endif()
endfunction()
