# What `cmake --install` puts in place for other projects: the JSON codec,
# the HTTP client and the foundation layer it stands on, as static
# libraries with their headers (below include/lorvane, with the same
# paths as in src/) and a package configuration, so that
#
#   find_package(Lorvane CONFIG REQUIRED COMPONENTS json net)
#   target_link_libraries(app PRIVATE Lorvane::json Lorvane::net)
#
# works from a separate project. Each library is a component with its own
# export set, so a project that only wants the codec needs none of the
# HTTP client's dependencies.

include(CMakePackageConfigHelpers)

set(LORVANE_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Lorvane)

# lorvane_install_component(<component> <target> <header folder below src/>)
function(lorvane_install_component component target folder)
  string(SUBSTRING ${component} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${component} 1 -1 rest)
  set(exportSet Lorvane${first}${rest}Targets)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${component})
  install(TARGETS ${target} EXPORT ${exportSet}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lorvane)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/src/${folder}/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lorvane/${folder}
    FILES_MATCHING PATTERN "*.h")
  install(EXPORT ${exportSet} NAMESPACE Lorvane:: DESTINATION ${LORVANE_INSTALL_CMAKEDIR})
endfunction()

lorvane_install_component(json lorvane_json json)
if(TARGET lorvane_foundation)
  lorvane_install_component(foundation lorvane_foundation platform/foundation)
endif()
if(TARGET lorvane_net)
  lorvane_install_component(net lorvane_net net)
endif()

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/LorvanePackageConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/LorvaneConfig.cmake
  INSTALL_DESTINATION ${LORVANE_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/LorvaneConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_BINARY_DIR}/package/LorvaneConfig.cmake
  ${CMAKE_BINARY_DIR}/package/LorvaneConfigVersion.cmake
  DESTINATION ${LORVANE_INSTALL_CMAKEDIR})
