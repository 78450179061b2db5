# Parsing the standard library's headers is about half of compiling a
# typical module source, sanitized or not: the module libraries share one
# precompiled header of those most of their sources include. It holds no
# header of the project's own, so no change of one rebuilds it.
function(kestro_library_pch target)
  if(NOT TARGET kestro_library_pch)
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/kestro_library_pch.cpp
         CONTENT "// Only carries the module libraries' shared precompiled header.\n")
    add_library(kestro_library_pch OBJECT ${CMAKE_BINARY_DIR}/kestro_library_pch.cpp)
    target_precompile_headers(kestro_library_pch PRIVATE
      <algorithm> <array> <atomic> <cstdint> <cstring> <functional> <limits> <memory> <ostream>
      <stdexcept> <string> <string_view> <system_error> <unordered_map> <utility> <vector>)
  endif()
  target_precompile_headers(${target} REUSE_FROM kestro_library_pch)
endfunction()

# One static library per module folder under src/, its sub-folders included.
# Sources are globbed so that adding a file to a module needs no edit here.
function(kestro_module name)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
  list(FILTER _srcs EXCLUDE REGEX "/Main\\.cpp$")
  string(REPLACE "/" "_" _target "kestro_${name}")
  set(_deps)
  foreach(dep IN LISTS ARGN)
    if(TARGET ${dep})
      list(APPEND _deps ${dep})
    else()
      string(REPLACE "/" "_" _dep "kestro_${dep}")
      list(APPEND _deps ${_dep})
    endif()
  endforeach()
  if(_srcs)
    add_library(${_target} STATIC ${_srcs})
    target_include_directories(${_target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${_target} PUBLIC ${_deps} Threads::Threads)
    kestro_library_pch(${_target})
  else()
    # A module with headers only (or none yet) still gives its dependants
    # the include path and its own dependencies.
    add_library(${_target} INTERFACE)
    target_include_directories(${_target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${_target} INTERFACE ${_deps} Threads::Threads)
  endif()
endfunction()

# The builders and writers that many test files, fuzz targets and benches
# share: compiled once here rather than again in every file that includes
# them. Each is a source of its own beside its header; the module test
# programs leave these sources out of their own.
set(KESTRO_TEST_SUPPORT_SOURCES
    ${PROJECT_SOURCE_DIR}/tests/support/GSAssembler.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/GSDisassembler.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/GSLibraryBuilder.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/GSLibraryImage.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/GSProgramBuilder.cpp
    ${PROJECT_SOURCE_DIR}/tests/resources/mesh/MeshFileWriter.cpp
    ${PROJECT_SOURCE_DIR}/tests/resources/lod/LodFileWriter.cpp
    ${PROJECT_SOURCE_DIR}/tests/resources/TextureTestSupport.cpp)
function(kestro_test_support)
  if(TARGET kestro_test_support)
    return()
  endif()
  # A static library with no libraries of its own: a program that links it
  # takes only what it calls, and links the modules that calls.
  add_library(kestro_test_support STATIC ${KESTRO_TEST_SUPPORT_SOURCES})
  target_include_directories(kestro_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src)
  if(KESTRO_TESTS)
    target_compile_options(kestro_test_support PRIVATE ${KESTRO_TEST_COMPILE_OPTIONS})
  endif()
endfunction()

# What every unit-test source is compiled with. The test programs share one
# precompiled gtest header, which is only valid with the very same flags: both
# take them from here.
function(_kestro_test_settings target)
  target_link_libraries(${target} PRIVATE GTest::gtest)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(${target} PRIVATE ${KESTRO_TEST_COMPILE_OPTIONS})
  target_compile_definitions(${target} PRIVATE KESTRO_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
endfunction()

# The fixtures and helpers the test programs of several modules share; they
# check as they go, so they are test sources (gtest, the shared precompiled
# header) built once for all the test programs.
set(KESTRO_TEST_FIXTURE_SOURCES
    ${PROJECT_SOURCE_DIR}/tests/support/ChildProcess.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/DaemonTestSupport.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/StandInDaemon.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/TempFolder.cpp
    ${PROJECT_SOURCE_DIR}/tests/kaddaemon/ClientTestSupport.cpp
    ${PROJECT_SOURCE_DIR}/tests/cli/ToolProcess.cpp)
function(_kestro_test_fixtures)
  if(TARGET kestro_test_fixtures)
    return()
  endif()
  add_library(kestro_test_fixtures STATIC ${KESTRO_TEST_FIXTURE_SOURCES})
  _kestro_test_settings(kestro_test_fixtures)
  target_include_directories(kestro_test_fixtures PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tools)
  _kestro_test_pch()
  target_precompile_headers(kestro_test_fixtures REUSE_FROM kestro_test_pch)
endfunction()

# Parsing gtest's header is a fifth of compiling a typical test file; it is
# done once for all the test programs.
function(_kestro_test_pch)
  if(TARGET kestro_test_pch)
    return()
  endif()
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/kestro_test_pch.cpp CONTENT "// Only carries the shared precompiled header.\n")
  add_library(kestro_test_pch OBJECT ${CMAKE_BINARY_DIR}/kestro_test_pch.cpp)
  _kestro_test_settings(kestro_test_pch)
  target_precompile_headers(kestro_test_pch PRIVATE <gtest/gtest.h>)
endfunction()

# A test executable per module folder under tests/, linked against that module.
function(kestro_module_tests name)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${name}/*.cpp)
  if(KESTRO_SANITIZE MATCHES "thread")
    # The ThreadSanitizer build runs only the concurrency tests: compile
    # nothing else, which keeps the second build of the test command small.
    list(FILTER _srcs INCLUDE REGEX "ConcurrencyTest\\.cpp$")
  endif()
  list(REMOVE_ITEM _srcs ${KESTRO_TEST_SUPPORT_SOURCES} ${KESTRO_TEST_FIXTURE_SOURCES})
  if(NOT _srcs)
    return()
  endif()
  string(REPLACE "/" "_" _mod "${name}")
  add_executable(test_${_mod} ${_srcs})
  # First on the link line: the modules after it give what it calls.
  kestro_test_support()
  _kestro_test_fixtures()
  target_link_libraries(test_${_mod} PRIVATE kestro_test_fixtures kestro_test_support)
  if(TARGET kestro_${_mod})
    target_link_libraries(test_${_mod} PRIVATE kestro_${_mod})
  endif()
  target_link_libraries(test_${_mod} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${ARGN})
  _kestro_test_settings(test_${_mod})
  _kestro_test_pch()
  target_precompile_headers(test_${_mod} REUSE_FROM kestro_test_pch)
  gtest_discover_tests(test_${_mod} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${KESTRO_TEST_RUN_PROPERTIES})
endfunction()
