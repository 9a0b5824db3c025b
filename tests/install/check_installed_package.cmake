# Installs the build at BUILD_DIR into WORK/prefix with `cmake --install`,
# then builds the project in CONSUMER_DIR against that tree alone and runs
# it. Also checks that asking for a component the package does not have
# fails at configure time.

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)

# The libraries must be there to be installed; a no-op when they are.
run("Building the libraries" ${CMAKE_COMMAND} --build ${BUILD_DIR}
    --target lorvane_json lorvane_foundation lorvane_net)
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(file
    include/lorvane/json/json.h
    include/lorvane/net/http_request.h
    include/lorvane/platform/foundation/url.h
    lib/cmake/Lorvane/LorvaneConfig.cmake
    lib/cmake/Lorvane/LorvaneConfigVersion.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(GLOB libraries ${prefix}/lib*/liblorvane_*.a)
list(LENGTH libraries libraryCount)
if(NOT libraryCount EQUAL 3)
  message(FATAL_ERROR "expected the json, foundation and net libraries, found: ${libraries}")
endif()

set(configureArguments
  -G ${GENERATOR}
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  -DCMAKE_C_COMPILER=${C_COMPILER}
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  "-DCMAKE_CXX_FLAGS=${FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")

run("Configuring the consumer" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK}/consumer
    ${configureArguments})
run("Building the consumer" ${CMAKE_COMMAND} --build ${WORK}/consumer)
run("Running the consumer" ${WORK}/consumer/lorvane_consumer)
message(STATUS "${output}")
if(NOT output MATCHES "fetched and decoded 3 lessons")
  message(FATAL_ERROR "unexpected consumer output:\n${output}")
endif()

# A component the package does not have stops the configuration.
set(unknown ${WORK}/unknown-component)
file(MAKE_DIRECTORY ${unknown})
file(WRITE ${unknown}/CMakeLists.txt
  "cmake_minimum_required(VERSION 3.25)\n"
  "project(UnknownComponent LANGUAGES CXX)\n"
  "find_package(Lorvane CONFIG REQUIRED COMPONENTS json video)\n")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${unknown} -B ${unknown}/build ${configureArguments}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0 OR NOT output MATCHES "no component \"video\"")
  message(FATAL_ERROR "an unknown component was not refused (${result}):\n${output}")
endif()
