# What `cmake --install` puts under the prefix besides zelctl, its sound helper and
# the manuals (installed where they are built): the application, the man page, the
# desktop entry, AppStream metadata, the icons in the hicolor theme and the file
# types of recordings and recording lists. Then the Debian package (scripts/make-deb.sh).
include(GNUInstallDirs)

set(ZEL_APP_ID "com.merovane.ZelVelomar")
set(ZEL_PACKAGING_DIR "${CMAKE_CURRENT_SOURCE_DIR}/packaging")

if(TARGET zel-velomar)
  install(TARGETS zel-velomar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# Man pages go compressed, as man and the Debian policy expect.
find_program(ZEL_GZIP gzip)
if(ZEL_GZIP)
  set(ZEL_MAN_PAGE "${CMAKE_CURRENT_BINARY_DIR}/zelctl.1.gz")
  add_custom_command(OUTPUT "${ZEL_MAN_PAGE}"
    COMMAND ${ZEL_GZIP} -9 -n -c "${CMAKE_CURRENT_SOURCE_DIR}/cli/zelctl.1" > "${ZEL_MAN_PAGE}"
    DEPENDS cli/zelctl.1 COMMENT "Compressing zelctl.1")
  add_custom_target(zel-man-page ALL DEPENDS "${ZEL_MAN_PAGE}")
else()
  set(ZEL_MAN_PAGE cli/zelctl.1)
endif()
install(FILES "${ZEL_MAN_PAGE}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES "${ZEL_PACKAGING_DIR}/${ZEL_APP_ID}.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${ZEL_PACKAGING_DIR}/${ZEL_APP_ID}.metainfo.xml" DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES "${ZEL_PACKAGING_DIR}/zel-velomar.xml" DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# The icons: our own SVGs, and PNGs rendered from them for the desktops and
# sizes that do not scale SVGs.
set(ZEL_ICON_SIZES 16 32 48 64 128 256)
set(ZEL_ICONS "apps|zel-velomar" "mimetypes|application-x-zel-recording" "mimetypes|application-x-zel-reclist")
find_program(ZEL_RSVG_CONVERT rsvg-convert)
if(NOT ZEL_RSVG_CONVERT)
  message(WARNING "rsvg-convert (librsvg2-bin) not found: the PNG icons are not rendered; run scripts/setup-deps.sh")
endif()
set(ZEL_ICON_PNGS "")
foreach(icon ${ZEL_ICONS})
  string(REPLACE "|" ";" icon "${icon}")
  list(GET icon 0 context)
  list(GET icon 1 name)
  set(svg "${ZEL_PACKAGING_DIR}/icons/${name}.svg")
  install(FILES "${svg}" DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/${context})
  if(ZEL_RSVG_CONVERT)
    foreach(size ${ZEL_ICON_SIZES})
      set(png "${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/${context}/${name}.png")
      add_custom_command(OUTPUT "${png}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/${context}"
        COMMAND ${ZEL_RSVG_CONVERT} --width ${size} --height ${size} --keep-aspect-ratio --output "${png}" "${svg}"
        DEPENDS "${svg}" COMMENT "Rendering ${name}.png at ${size} pixels" VERBATIM)
      list(APPEND ZEL_ICON_PNGS "${png}")
      install(FILES "${png}" DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/${context})
    endforeach()
  endif()
endforeach()
add_custom_target(zel-icons ALL DEPENDS ${ZEL_ICON_PNGS})

# The install tree checked as a desktop sees it: validators and file types.
if(ZEL_TESTS)
  add_test(NAME install_tree
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scripts/check-install.sh "${CMAKE_CURRENT_BINARY_DIR}")
  set_tests_properties(install_tree PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

# The Debian package: its dependencies are found by dpkg-shlibdeps from the
# programs' libraries.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "zel-velomar")
set(CPACK_PACKAGE_VENDOR "Merovane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Find, play, annotate and archive telephone call recordings")
set(CPACK_PACKAGE_DESCRIPTION
  "Zel Velomar manages the recordings a call recording device writes, one file per call: it finds them in folders, lists them, plays them with a waveform, lets the user annotate and bookmark them, exports them and archives them into folder trees, ZIP archives or ISO 9660 images, by hand or on a schedule. The command-line tool zelctl reaches every capability.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")  # where zelctl looks for its helper
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Merovane <support@merovane.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://merovane.com/")
# Loaded at run time, so dpkg-shlibdeps cannot see it: the SVG icon engine.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# Opening folders, mail and the trash go through xdg-utils; the desktop
# notifications of scheduled runs through gdbus.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, libglib2.0-bin, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "systemd")
include(CPack)
