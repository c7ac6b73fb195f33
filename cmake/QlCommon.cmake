# Shared build settings and helper functions for every folder.

if(CMAKE_BUILD_TYPE STREQUAL "")
  set(CMAKE_BUILD_TYPE Release CACHE STRING "" FORCE)
endif()

# Compiler cache where the machine has one: clones in other folders share it
# (tools/test.sh sets CCACHE_BASEDIR to the source folder).
find_program(QL_CCACHE ccache)
if(QL_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_C_COMPILER_LAUNCHER ${QL_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${QL_CCACHE})
endif()

add_compile_options(-Wall -Wextra)
# Doubles as the language defines them: no fused multiply-adds, so
# coordinate results do not depend on the compiler or the machine.
add_compile_options(-ffp-contract=off)
if(QL_WERROR)
  add_compile_options(-Werror)
endif()

if(QL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QL_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# ql_library(NAME DIR... [LIBS ...]): one static library from every .cpp/.c
# below the listed folders (recursively), public include root = source root.
function(ql_library name)
  cmake_parse_arguments(A "" "" "DIRS;LIBS" ${ARGN})
  set(srcs)
  foreach(d IN LISTS A_DIRS)
    file(GLOB_RECURSE s CONFIGURE_DEPENDS ${d}/*.cpp ${d}/*.c)
    list(APPEND srcs ${s})
  endforeach()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  if(A_LIBS)
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  endif()
endfunction()

# ql_gtest(NAME SOURCES ... LIBS ... [LABELS ...] [ENV ...] [TIMEOUT s]): a
# GoogleTest program, every test case registered with ctest with a timeout
# (120 s unless given), so that a hang fails that one test.
function(ql_gtest name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  if(TARGET ql_gtest_pch)
    target_precompile_headers(${name} REUSE_FROM ql_gtest_pch)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  set(props TIMEOUT ${A_TIMEOUT})
  if(A_LABELS)
    list(APPEND props LABELS "${A_LABELS}")
  endif()
  # Windows of tests sharing one display would cover each other's
  # screenshots: tests labelled gui take the display one at a time.
  if("gui" IN_LIST A_LABELS)
    list(APPEND props RESOURCE_LOCK display)
  endif()
  if(A_ENV)
    list(APPEND props ENVIRONMENT "${A_ENV}")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()

# ql_fuzz(NAME SOURCES ... LIBS ...): a libFuzzer target (QL_FUZZ builds only).
function(ql_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY QL_FUZZ_TARGETS ${name})
endfunction()

# ql_bench(NAME SOURCES ... LIBS ...): a benchmark program in bench/.
function(ql_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
endfunction()

# Every sub-folder of DIR that has a CMakeLists.txt.
function(ql_add_subfolders dir)
  file(GLOB children RELATIVE ${dir} ${dir}/*)
  list(SORT children)
  foreach(c IN LISTS children)
    if(IS_DIRECTORY ${dir}/${c} AND EXISTS ${dir}/${c}/CMakeLists.txt)
      add_subdirectory(${dir}/${c})
    endif()
  endforeach()
endfunction()
