# Shared build settings for every target of ours.

include(GNUInstallDirs)

set(LORVANE_SOURCE_ROOT ${CMAKE_SOURCE_DIR})
set(LORVANE_SHARED_DIR ${CMAKE_SOURCE_DIR}/../shared CACHE PATH
    "Folder with the shared conformance cases and benchmark corpus")

if(LORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(LORVANE_TSAN)
  if(LORVANE_SANITIZE)
    message(FATAL_ERROR "LORVANE_TSAN and LORVANE_SANITIZE cannot be combined")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

macro(lorvane_add_if_present dir)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endmacro()

# Warnings as errors on our own code only; third-party headers come in as
# system includes.
function(lorvane_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  # g++ 12 reports false -Wrestrict overlaps inside std::string at -O3
  # (GCC bug 105329).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()

# A library of one layer: every .cpp below the folder, headers included by
# "layer/header.h" paths rooted at src/.
function(lorvane_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  # Installed headers keep their paths below include/lorvane.
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/src>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/lorvane>)
  target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  lorvane_target_defaults(${target})
endfunction()

# A GoogleTest executable registered with CTest.
function(lorvane_test target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(${target} PRIVATE
    LORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    LORVANE_SHARED_DIR="${LORVANE_SHARED_DIR}"
    LORVANE_BINARY_DIR="${CMAKE_BINARY_DIR}")
  lorvane_target_defaults(${target})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  # Each test carries its executable's name as a label, so a build that
  # makes only some executables (the ThreadSanitizer one) can run just them.
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS ${target})
endfunction()
