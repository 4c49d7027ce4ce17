# What `cmake --install` puts in place, and so what the packages carry
# (cmake/packaging.cmake): on Linux the programs, the desktop entry with its
# icons and the Intel-HEX MIME type, the manual pages and the operator's guide
# under the usual prefixes; on Windows the layout of the archive.
include(GNUInstallDirs)
set(ORVALO_DIST_DIR ${CMAKE_SOURCE_DIR}/dist)
set(ORVALO_DIST_BUILD_DIR ${CMAKE_BINARY_DIR}/dist)

# The operator's guide as plain text: the packages are read where no Markdown
# renderer is at hand (Notepad, a pager).
find_program(ORVALO_AWK awk REQUIRED)
set(ORVALO_GUIDE ${CMAKE_SOURCE_DIR}/docs/operators-guide.md)
set(ORVALO_GUIDE_TEXT ${ORVALO_DIST_BUILD_DIR}/operators-guide.txt)
if(WIN32)
  set(ORVALO_GUIDE_EOL "eol=\\r")  # CR LF, for Notepad
else()
  set(ORVALO_GUIDE_EOL "eol=")
endif()
add_custom_command(OUTPUT ${ORVALO_GUIDE_TEXT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVALO_DIST_BUILD_DIR}
  COMMAND sh -c "\"$0\" -v \"$1\" -f \"$2\" \"$3\" > \"$4\"" ${ORVALO_AWK} ${ORVALO_GUIDE_EOL}
    ${CMAKE_CURRENT_LIST_DIR}/markdown-text.awk ${ORVALO_GUIDE} ${ORVALO_GUIDE_TEXT}
  DEPENDS ${ORVALO_GUIDE} ${CMAKE_CURRENT_LIST_DIR}/markdown-text.awk
  VERBATIM)

if(WIN32)
  add_custom_command(OUTPUT ${ORVALO_DIST_BUILD_DIR}/LICENSE.txt
    COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/LICENSE -DOUT=${ORVALO_DIST_BUILD_DIR}/LICENSE.txt
      -P ${CMAKE_CURRENT_LIST_DIR}/crlf-text.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_LIST_DIR}/crlf-text.cmake
    VERBATIM)
  add_custom_target(orvalo_dist_files ALL DEPENDS ${ORVALO_GUIDE_TEXT} ${ORVALO_DIST_BUILD_DIR}/LICENSE.txt)

  install(TARGETS orvalo-programmer-cli RUNTIME DESTINATION .)
  if(TARGET orvalo-programmer)
    install(TARGETS orvalo-programmer RUNTIME DESTINATION .)
  endif()
  install(FILES ${ORVALO_GUIDE_TEXT} DESTINATION .)
  install(FILES ${ORVALO_DIST_BUILD_DIR}/LICENSE.txt DESTINATION .)
  # Not beside the programs: there it would be the image a double click
  # writes into a real device. The operator puts the production image there.
  install(FILES ${CMAKE_SOURCE_DIR}/samples/firmware.hex DESTINATION samples)
  return()
endif()

set(ORVALO_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/orvalo-programmer)

# Manual pages are installed compressed, without a time stamp (-n) so that
# the package is the same from one build to the next.
set(ORVALO_MAN_PAGES orvalo-programmer-cli.1)
if(TARGET orvalo-programmer)
  list(APPEND ORVALO_MAN_PAGES orvalo-programmer.1)
endif()
set(ORVALO_DIST_OUTPUTS "")

# Debian's copyright file and the changelog with the release notes, each
# naming the maintainer given to the package; the changelog compressed like
# the manual pages.
configure_file(${ORVALO_DIST_DIR}/debian/copyright.in ${ORVALO_DIST_BUILD_DIR}/copyright @ONLY)
configure_file(${ORVALO_DIST_DIR}/debian/changelog.in ${ORVALO_DIST_BUILD_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${ORVALO_DIST_BUILD_DIR}/changelog.gz
  COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${ORVALO_DIST_BUILD_DIR}/changelog ${ORVALO_DIST_BUILD_DIR}/changelog.gz
  DEPENDS ${ORVALO_DIST_BUILD_DIR}/changelog
  VERBATIM)
add_custom_command(OUTPUT ${ORVALO_GUIDE_TEXT}.gz
  COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${ORVALO_GUIDE_TEXT} ${ORVALO_GUIDE_TEXT}.gz
  DEPENDS ${ORVALO_GUIDE_TEXT}
  VERBATIM)
list(APPEND ORVALO_DIST_OUTPUTS ${ORVALO_DIST_BUILD_DIR}/changelog.gz ${ORVALO_GUIDE_TEXT}.gz)
install(FILES ${ORVALO_DIST_BUILD_DIR}/copyright ${ORVALO_DIST_BUILD_DIR}/changelog.gz ${ORVALO_GUIDE_TEXT}.gz
  DESTINATION ${ORVALO_DOC_DIR})
foreach(page ${ORVALO_MAN_PAGES})
  set(out ${ORVALO_DIST_BUILD_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVALO_DIST_BUILD_DIR}/man
    COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${ORVALO_DIST_DIR}/man/${page} ${out}
    DEPENDS ${ORVALO_DIST_DIR}/man/${page}
    VERBATIM)
  list(APPEND ORVALO_DIST_OUTPUTS ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(TARGETS orvalo-programmer-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET orvalo-programmer)
  install(TARGETS orvalo-programmer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${ORVALO_DIST_DIR}/orvalo-programmer.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)

  # The desktop icons are drawn at build time from the dialog's own design,
  # every size it draws and a scalable one.
  find_package(Qt6 REQUIRED COMPONENTS Gui)
  add_executable(orvalo_desktop_icons ${ORVALO_DIST_DIR}/desktop_icons.cpp ${CMAKE_SOURCE_DIR}/src/ui/qt/program_icon.cpp)
  target_include_directories(orvalo_desktop_icons PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(orvalo_desktop_icons PRIVATE Qt6::Gui)
  set(ORVALO_ICON_DIR ${ORVALO_DIST_BUILD_DIR}/icons)
  set(icons_written ${ORVALO_ICON_DIR}/scalable/apps/orvalo-programmer.svg)
  add_custom_command(OUTPUT ${icons_written}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${ORVALO_ICON_DIR}
    COMMAND orvalo_desktop_icons ${ORVALO_ICON_DIR}
    DEPENDS orvalo_desktop_icons
    VERBATIM)
  list(APPEND ORVALO_DIST_OUTPUTS ${icons_written})
  install(DIRECTORY ${ORVALO_ICON_DIR}/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)

  # Intel-HEX files, which Debian's MIME database does not know, so that file
  # managers offer the dialog program for them.
  install(FILES ${ORVALO_DIST_DIR}/orvalo-programmer-mime.xml
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/mime/packages RENAME orvalo-programmer.xml)
endif()
add_custom_target(orvalo_dist_files ALL DEPENDS ${ORVALO_DIST_OUTPUTS})

# Access for the operators to the USB chips the link clocks directly.
install(FILES ${ORVALO_DIST_DIR}/udev/60-orvalo-programmer-ftdi.rules DESTINATION lib/udev/rules.d)

# The scheduling limits the cycle's timing wants, shipped inactive: granting
# real-time priority to a group is the administrator's decision. pam_limits
# reads only /etc, whatever the prefix.
install(FILES ${ORVALO_DIST_DIR}/orvalo-programmer-limits.conf
  DESTINATION /etc/security/limits.d RENAME orvalo-programmer.conf)
install(FILES ${CMAKE_SOURCE_DIR}/samples/firmware.hex DESTINATION ${ORVALO_DOC_DIR}/examples)
