# Shared helpers so each folder's CMakeLists stays a few lines long.

function(velmoria_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # Mutex-guarded members carry annotations (concurrency/ThreadAnnotations.hpp) that clang checks.
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wthread-safety)
  endif()
  if(VELMORIA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

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

# velmoria_library(NAME [DEPS lib...] [PRIVATE_DEPS lib...])
# Sources: every src/*.cpp of the calling folder (recursive); public headers under include/.
function(velmoria_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  endif()
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  # Source locations name the module by its folder ("Auth/AuthClient").
  get_filename_component(module ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  target_compile_definitions(${name} PRIVATE ZD_MODULE_NAME="${module}")
  velmoria_warnings(${name})
endfunction()

# velmoria_tests(NAME SOURCES file... [LIBS lib...] [ENV VAR=value...])
# One GoogleTest executable; every test case becomes a CTest test.
function(velmoria_tests name)
  if(NOT VELMORIA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  # Issues reported during a test fail that test: the test-framework side of issue reporting.
  if(NOT "IssueReportingTestSupport" IN_LIST ARG_LIBS)
    target_link_libraries(${name} PRIVATE $<TARGET_NAME_IF_EXISTS:IssueReportingTestSupport>)
  endif()
  velmoria_warnings(${name})
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  set(env "VELMORIA_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output" ${ARG_ENV})
  if(VELMORIA_SANITIZE STREQUAL "address")
    list(APPEND env "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp")
  endif()
  # Test discovery splits an ENVIRONMENT list into separate properties, so the variables go
  # through env(1), which both discovery and the test runs call the executable with.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "/usr/bin/env;${env}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120
  )
endfunction()

# velmoria_benchmark(NAME SOURCES file... LIBS lib...)
function(velmoria_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  velmoria_warnings(${name})
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
  set_property(GLOBAL APPEND PROPERTY VELMORIA_FUZZERS ${name})
endfunction()
