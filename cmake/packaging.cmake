# Packages built by `cpack` from the install rules (cmake/install.cmake): a
# Debian package on Linux, a .zip from the Windows cross build.
set(CPACK_PACKAGE_NAME orvalo-programmer)
set(CPACK_PACKAGE_VENDOR "${ORVALO_COMPANY}")
set(CPACK_PACKAGE_VERSION ${ORVALO_VERSION_BASE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware programmer for Orvalo devices on a serial port")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_SOURCE_DIR}/dist/debian/description.txt)
set(CPACK_PACKAGE_CONTACT "${ORVALO_PACKAGE_MAINTAINER}")
set(CPACK_STRIP_FILES TRUE)
# The version is read again when cpack runs: a commit since the last configure
# changes it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/cpack-version.cmake.in ${CMAKE_BINARY_DIR}/dist/cpack-version.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/dist/cpack-version.cmake)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVALO_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(TARGET orvalo-programmer)
    # Qt finds its display plugins at run time, out of dpkg-shlibdeps' sight.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  endif()
  # Loaded at run time for the FTDI chips, out of dpkg-shlibdeps' sight.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libftdi1-2")
  if(ORVALO_WEB_ADDRESS)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ORVALO_WEB_ADDRESS}")
  endif()
  # The limits snippet in /etc is the operator's to edit: a conffile.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/dist/debian/postinst
    ${CMAKE_SOURCE_DIR}/dist/debian/conffiles)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
endif()
include(CPack)
