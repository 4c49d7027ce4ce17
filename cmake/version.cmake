# One version for every program and package: the project's version, with the
# commit appended when the sources are not exactly a release tag (v1.2.3 or
# 1.2.3). It reaches code through orvalo_version.h (target orvalo_version) and
# the packages through generated/version/version.txt.
if(PROJECT_VERSION_PATCH STREQUAL "")
  set(ORVALO_VERSION_BASE "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0")
else()
  set(ORVALO_VERSION_BASE "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
endif()
set(ORVALO_VERSION_DIR ${CMAKE_BINARY_DIR}/generated/version)
set(_orvalo_version_stamp
  ${CMAKE_COMMAND} -DBASE=${ORVALO_VERSION_BASE} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
  -DOUT_DIR=${ORVALO_VERSION_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/version-stamp.cmake)

# Once now, so that the files exist for the first build and for CPack, and at
# every build, since a commit changes the version without a new configure.
# The stamp rewrites its files only when the text changes, so an unchanged
# version rebuilds nothing.
execute_process(COMMAND ${_orvalo_version_stamp} COMMAND_ERROR_IS_FATAL ANY)
add_custom_target(orvalo_version_stamp ALL
  COMMAND ${_orvalo_version_stamp}
  BYPRODUCTS ${ORVALO_VERSION_DIR}/orvalo_version.h ${ORVALO_VERSION_DIR}/version.txt
  COMMENT "Version stamp"
  VERBATIM)
add_library(orvalo_version INTERFACE)
target_include_directories(orvalo_version INTERFACE ${ORVALO_VERSION_DIR})
add_dependencies(orvalo_version orvalo_version_stamp)
