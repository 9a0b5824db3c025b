# The sample lessons that the sample content server serves: thumbnails,
# videos, app icons and app pages generated from demo/content.
#
# Every build preset shares one folder, so the content is generated once
# (about a minute and a half on two cores) and later builds find it current.
# The generator keeps outputs that are newer than their sources and takes a
# lock on the folder, so two builds running at once do not race.
#
# Include this from the top-level CMakeLists.txt. It defines:
#   demo_content               custom target that brings the folder up to date
#   LORVANE_DEMO_CONTENT_DIR   the folder (served by the sample content server)

option(LORVANE_GENERATE_DEMO_CONTENT
  "Generate the sample lessons as part of the default build" ON)

set(LORVANE_DEMO_CONTENT_DIR ${CMAKE_SOURCE_DIR}/build/demo-content CACHE PATH
  "Folder with the generated sample lessons")

if(LORVANE_GENERATE_DEMO_CONTENT)
  set(_lorvane_demo_all ALL)
else()
  set(_lorvane_demo_all "")
endif()

add_custom_target(demo_content ${_lorvane_demo_all}
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-demo-content ${LORVANE_DEMO_CONTENT_DIR}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  COMMENT "Generating the sample lessons in ${LORVANE_DEMO_CONTENT_DIR}"
  USES_TERMINAL
  VERBATIM)

# Cheap checks of the named pictures and of the generated content. They are
# plain scripts; CTest runs them with the rest of the suite.
if(LORVANE_BUILD_TESTS)
  add_test(NAME resources.pictures
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-resources)
  if(LORVANE_GENERATE_DEMO_CONTENT)
    add_test(NAME resources.demo_content
      COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-resources
              --content ${LORVANE_DEMO_CONTENT_DIR})
    set_tests_properties(resources.demo_content PROPERTIES TIMEOUT 120)
  endif()
endif()
