# Shared helpers so each folder's CMakeLists stays a few lines long.

function(_velmoria_warning_flags target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # Mutex-guarded members carry annotations (base/ThreadSafety.hpp) that only clang checks.
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wthread-safety)
  endif()
  if(VELMORIA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Precompiled headers: the standard library and the heavy third-party headers most sources include are
# parsed once per kind of target (libraries, tests, benchmarks, fuzzers) and shared by every target of
# that kind, instead of once per source file. Each kind has a host target whose flags match its users'
# (position-independent code for libraries, position-independent executables otherwise); clang refuses a
# header precompiled with other code-generation flags. -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON turns them
# off. Only with clang: GCC 12's precompiled headers lose the standard library's diagnostic pragmas, so
# false warnings it silences there (array bounds in std::string) fail the build.
set(VELMORIA_PCH_HEADERS
  <algorithm> <array> <atomic> <chrono> <condition_variable> <cstddef> <cstdint> <deque> <filesystem>
  <functional> <iomanip> <map> <memory> <mutex> <optional> <set> <span> <sstream> <stdexcept> <string>
  <string_view> <unordered_map> <unordered_set> <utility> <variant> <vector> <nlohmann/json.hpp>)
set(VELMORIA_PCH_HEADERS_tests <fstream> <thread> <gtest/gtest.h>)
set(VELMORIA_PCH_HEADERS_benchmarks <thread> <benchmark/benchmark.h>)
set(VELMORIA_PCH_HEADERS_fuzzers)
set(VELMORIA_PCH_HEADERS_libraries)

function(_velmoria_pch_host kind)
  set(host velmoria_pch_${kind})
  if(TARGET ${host})
    return()
  endif()
  set(source ${CMAKE_BINARY_DIR}/pch/${kind}.cpp)
  if(NOT EXISTS ${source})
    file(WRITE ${source} "// Only here so that the precompiled headers of the ${kind} have a target to belong to.\n")
  endif()
  add_library(${host} OBJECT ${source})
  if(NOT kind STREQUAL "libraries")
    # Executables are compiled as position-independent executables, libraries as shared-object code.
    set_target_properties(${host} PROPERTIES POSITION_INDEPENDENT_CODE OFF)
    target_compile_options(${host} PRIVATE -fPIE)
  endif()
  if(kind STREQUAL "tests")
    target_link_libraries(${host} PRIVATE GTest::gtest)
  endif()
  _velmoria_warning_flags(${host})
  _velmoria_pch_flags(${host})
  target_precompile_headers(${host} PRIVATE ${VELMORIA_PCH_HEADERS} ${VELMORIA_PCH_HEADERS_${kind}})
endfunction()

# -pthread (what Threads::Threads adds) is among the language options a precompiled header records, so its
# host and every user compile with it.
function(_velmoria_pch_flags target)
  target_compile_options(${target} PRIVATE -pthread)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
    target_compile_options(${target} PRIVATE -Xclang -fno-pch-timestamp)
  endif()
endfunction()

# Whether a target links Qt, directly or through other targets: Qt compiles even executables as
# shared-object code, so such a target precompiles its own headers.
function(_velmoria_links_qt out)
  set(pending ${ARGN})
  set(seen)
  while(pending)
    list(POP_FRONT pending item)
    if(item IN_LIST seen OR item MATCHES "^\\$<" OR NOT TARGET ${item})
      continue()
    endif()
    list(APPEND seen ${item})
    if(item MATCHES "^Qt[0-9]*::")
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
    get_target_property(aliased ${item} ALIASED_TARGET)
    if(aliased)
      list(APPEND pending ${aliased})
    endif()
    get_target_property(interface ${item} INTERFACE_LINK_LIBRARIES)
    if(interface)
      list(APPEND pending ${interface})
    endif()
    get_target_property(type ${item} TYPE)
    get_target_property(imported ${item} IMPORTED)
    if(NOT imported AND NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${item} LINK_LIBRARIES)
      if(direct)
        list(APPEND pending ${direct})
      endif()
    endif()
  endwhile()
  set(${out} FALSE PARENT_SCOPE)
endfunction()

# velmoria_precompiled_headers(TARGET KIND): KIND is libraries, tests, benchmarks or fuzzers. The helpers
# below call it; a target made with add_library and velmoria_warnings gets the libraries' set.
function(velmoria_precompiled_headers target kind)
  if(CMAKE_DISABLE_PRECOMPILE_HEADERS OR CMAKE_CXX_CLANG_TIDY OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  get_target_property(pch ${target} PRECOMPILE_HEADERS_REUSE_FROM)
  get_target_property(own ${target} PRECOMPILE_HEADERS)
  if(pch OR own)
    return()
  endif()
  _velmoria_pch_flags(${target})
  get_target_property(type ${target} TYPE)
  get_target_property(libs ${target} LINK_LIBRARIES)
  _velmoria_links_qt(qt ${libs})
  if(qt AND type STREQUAL "EXECUTABLE")
    target_precompile_headers(${target} PRIVATE ${VELMORIA_PCH_HEADERS} ${VELMORIA_PCH_HEADERS_${kind}})
    return()
  endif()
  _velmoria_pch_host(${kind})
  target_precompile_headers(${target} REUSE_FROM velmoria_pch_${kind})
endfunction()

function(velmoria_warnings target)
  _velmoria_warning_flags(${target})
  get_target_property(type ${target} TYPE)
  if(type MATCHES "LIBRARY" AND NOT type STREQUAL "INTERFACE_LIBRARY")
    velmoria_precompiled_headers(${target} libraries)
  endif()
endfunction()

# A compiler cache can serve sources built with precompiled headers only when it trusts their macros.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache"
   AND NOT CMAKE_CXX_COMPILER_LAUNCHER MATCHES "SLOPPINESS")
  set(CMAKE_CXX_COMPILER_LAUNCHER /usr/bin/env CCACHE_SLOPPINESS=pch_defines,time_macros ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

if(VELMORIA_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VELMORIA_SANITIZE STREQUAL "thread")
  # Asio uses fences TSan cannot model; GCC warns about them in every file that includes it.
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -Wno-tsan)
  add_link_options(-fsanitize=thread)
endif()
if(VELMORIA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# velmoria_library(NAME [DEPS lib...] [PRIVATE_DEPS lib...] [TEST_LIBS lib...] [TEST_ENV VAR=value...]
#                  [TEST_LABELS label...] [TEST_WRAPPER command...] [TEST_DEFINITIONS definition...]
#                  [TEST_DEPENDS target...] [TEST_INCLUDES folder...])
# The calling folder's library and its tests, reachable as velmoria::NAME. Sources: every src/*.cpp
# (recursive); public headers under include/ (listed too, so that Qt's meta-object compiler sees them).
# DEPS are what the public headers need, PRIVATE_DEPS the rest. Every tests/*.cpp becomes the test program
# NAME_tests, linked with the library and TEST_LIBS; the other TEST_ options are velmoria_tests' own, and
# TEST_INCLUDES names folders of this one (src for tests of private parts).
function(velmoria_library name)
  set(test_options TEST_LIBS TEST_ENV TEST_LABELS TEST_WRAPPER TEST_DEFINITIONS TEST_DEPENDS TEST_INCLUDES)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS;${test_options}" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/include/*.hpp)
  add_library(${name} STATIC ${sources} ${headers})
  add_library(velmoria::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  endif()
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  # Source locations name the module by its folder ("Auth/AuthClient").
  get_filename_component(module ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  target_compile_definitions(${name} PRIVATE VM_MODULE_NAME="${module}")
  velmoria_warnings(${name})

  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(test_sources)
    list(TRANSFORM ARG_TEST_INCLUDES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    velmoria_tests(${name}_tests SOURCES ${test_sources} LIBS ${name} ${ARG_TEST_LIBS}
      ENV ${ARG_TEST_ENV} LABELS ${ARG_TEST_LABELS} WRAPPER ${ARG_TEST_WRAPPER}
      DEFINITIONS ${ARG_TEST_DEFINITIONS} DEPENDS ${ARG_TEST_DEPENDS} INCLUDES ${ARG_TEST_INCLUDES})
  endif()
endfunction()

# velmoria_tests(NAME SOURCES file... [LIBS lib...] [ENV VAR=value...] [WRAPPER command...] [LABELS label...]
#                [DEFINITIONS definition...] [DEPENDS target...] [INCLUDES folder...])
# One GoogleTest executable; every test case becomes a CTest test. WRAPPER runs before env(1), both for
# discovery and for each test (for instance a script that provides a session bus). DEPENDS are programs the
# tests start, built first.
function(velmoria_tests name)
  if(NOT VELMORIA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV;WRAPPER;LABELS;DEFINITIONS;DEPENDS;INCLUDES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  # Issues reported during a test fail that test: the test-framework side of issue reporting.
  if(NOT "issuereporting_testsupport" IN_LIST ARG_LIBS)
    target_link_libraries(${name} PRIVATE issuereporting_testsupport)
  endif()
  target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  target_include_directories(${name} PRIVATE ${ARG_INCLUDES})
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  velmoria_warnings(${name})
  velmoria_precompiled_headers(${name} tests)
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  set(env "VELMORIA_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output")
  if(VELMORIA_SANITIZE STREQUAL "address")
    list(APPEND env "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp")
  elseif(VELMORIA_SANITIZE STREQUAL "thread")
    list(APPEND env "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp")
  endif()
  # Last, so that a folder's own sanitizer options win: env(1) keeps the last value of a variable.
  list(APPEND env ${ARG_ENV})
  # Test discovery splits an ENVIRONMENT list into separate properties, so the variables go
  # through env(1), which both discovery and the test runs call the executable with.
  set(emulator ${ARG_WRAPPER} /usr/bin/env ${env})
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${emulator}")
  set(extra_properties)
  if(ARG_LABELS)
    set(extra_properties LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ${extra_properties}
  )
endfunction()

# velmoria_benchmark(NAME SOURCES file... LIBS lib...)
function(velmoria_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  velmoria_warnings(${name})
  velmoria_precompiled_headers(${name} benchmarks)
endfunction()

# velmoria_fuzzer(NAME SOURCES file... LIBS lib...)
# Registered in VELMORIA_FUZZERS so .ci/run can run each for a fixed time.
function(velmoria_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  velmoria_warnings(${name})
  velmoria_precompiled_headers(${name} fuzzers)
  set_property(GLOBAL APPEND PROPERTY VELMORIA_FUZZERS ${name})
endfunction()
