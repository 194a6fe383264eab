# What `make install` puts under PREFIX, and the Debian package (`make deb`) made from the same
# rules. Included from the top-level CMakeLists.txt once the zorvane target exists.
include(GNUInstallDirs)

set(ZORVANE_DATA ${CMAKE_CURRENT_LIST_DIR}/../data)
set(ZORVANE_ICON_SIZES 16 32 48 256)

# The id software centres know the program by (AppStream), and the metainfo file's name. It is
# an identifier in reverse-DNS form, not a web address: nothing has to answer there. Once a
# release has gone out with it, it must never change, or the program becomes another one to them.
set(ZORVANE_APP_ID "org.zorvane.Zorvane" CACHE STRING
  "AppStream id: reverse-DNS, never changed once published")
if(NOT ZORVANE_APP_ID MATCHES "^[A-Za-z0-9_]+(\\.[A-Za-z0-9_]+)+$")
  message(FATAL_ERROR "ZORVANE_APP_ID '${ZORVANE_APP_ID}' is not a reverse-DNS id, like org.zorvane.Zorvane")
endif()
# The metainfo carries the web address and contact only when the build has them.
function(zorvane_xml_text out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
set(zorvane_metainfo_links "")
if(ZORVANE_HOMEPAGE)
  zorvane_xml_text(text "${ZORVANE_HOMEPAGE}")
  string(APPEND zorvane_metainfo_links "\n  <url type=\"homepage\">${text}</url>")
endif()
if(ZORVANE_CONTACT)
  zorvane_xml_text(text "${ZORVANE_CONTACT}")
  string(APPEND zorvane_metainfo_links "\n  <update_contact>${text}</update_contact>")
endif()
set(zorvane_metainfo ${CMAKE_BINARY_DIR}/generated/${ZORVANE_APP_ID}.metainfo.xml)
configure_file(${ZORVANE_DATA}/zorvane.metainfo.xml.in ${zorvane_metainfo} @ONLY)

# `make install` and CPack install what is built and do not build everything first (the tests
# and benchmarks are no part of the install); the Makefile builds the program before them.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# Folders get rwxr-xr-x whatever the umask: a package must not ship group-writable folders.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Every folder an install puts files in, relative to the prefix.
set(zorvane_install_dirs
  ${CMAKE_INSTALL_BINDIR}
  ${CMAKE_INSTALL_DATADIR}/applications
  ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  ${CMAKE_INSTALL_DATADIR}/metainfo
  ${CMAKE_INSTALL_MANDIR}/man1
  ${CMAKE_INSTALL_DOCDIR}/docs)
foreach(size IN LISTS ZORVANE_ICON_SIZES)
  list(APPEND zorvane_install_dirs ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# What an install leaves for `make uninstall`, beside the build (CPack's own installs into its
# staging folder are not noted, nor is install_manifest.txt used, which they overwrite):
#   installed_files.txt  the files of the last install, without DESTDIR
#   install_dirs.txt     the folders installs created, with DESTDIR; grows over repeated
#                        installs until an uninstall removes them
# so that uninstall removes the folders this install made and never one that was there.
set(zorvane_record "
  set(record_dir \"${CMAKE_BINARY_DIR}\")
  string(FIND \"\$ENV{DESTDIR}\" \"/_CPack_Packages/\" staging)
")
install(CODE "${zorvane_record}
  if(staging EQUAL -1)
    set(created)
    if(EXISTS \"\${record_dir}/install_dirs.txt\")
      file(STRINGS \"\${record_dir}/install_dirs.txt\" created)
    endif()
    foreach(rel ${zorvane_install_dirs})
      set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${rel}\")
      while(NOT IS_DIRECTORY \"\${dir}\" AND NOT dir STREQUAL \"\" AND NOT dir STREQUAL \"/\")
        list(APPEND created \"\${dir}\")
        get_filename_component(dir \"\${dir}\" DIRECTORY)
      endwhile()
    endforeach()
    list(REMOVE_DUPLICATES created)
    list(JOIN created \"\\n\" text)
    file(WRITE \"\${record_dir}/install_dirs.txt\" \"\${text}\\n\")
  endif()
")

install(TARGETS zorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ZORVANE_DATA}/zorvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size IN LISTS ZORVANE_ICON_SIZES)
  install(FILES ${ZORVANE_DATA}/icons/${size}/zorvane.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${ZORVANE_DATA}/icons/scalable/zorvane.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${zorvane_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ZORVANE_DATA}/zorvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../README.md ${CMAKE_CURRENT_LIST_DIR}/../LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The pictures the README shows, so its links work where it is installed.
file(GLOB zorvane_doc_pictures ${CMAKE_CURRENT_LIST_DIR}/../docs/*.png)
install(FILES ${zorvane_doc_pictures} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
install(CODE "${zorvane_record}
  if(staging EQUAL -1)
    list(JOIN CMAKE_INSTALL_MANIFEST_FILES \"\\n\" text)
    file(WRITE \"\${record_dir}/installed_files.txt\" \"\${text}\\n\")
  endif()
")

# ---- the Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvane)
set(CPACK_PACKAGE_VERSION ${ZORVANE_VERSION})  # the version the program reports
set(CPACK_PACKAGE_VENDOR "The Zorvane developers")
# Debian wants a maintainer: the developers, with their address once the build has one.
if(ZORVANE_CONTACT)
  set(CPACK_PACKAGE_CONTACT "The Zorvane developers <${ZORVANE_CONTACT}>")
else()
  set(CPACK_PACKAGE_CONTACT "The Zorvane developers")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "triangular desktop clock with sliding tiers")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Zorvane shows the date and time in a window cut to a triangle. Seven tiers\n"
  "of cells show, from the tip down, the seconds, minutes, hours, day of the\n"
  "month, weekday, month and year; six of them slide past the centre line as\n"
  "their unit of time goes by. Double-clicks switch between 24- and 12-hour\n"
  "display and show an alignment mark; a right click opens a small Setup\n"
  "dialog that places the clock at one of seven screen spots.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # zorvane_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(ZORVANE_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZORVANE_HOMEPAGE}")
endif()
# The libraries come from dpkg-shlibdeps. The program ends at start-up without any font, so one
# is required; the faces it was drawn with (Tahoma from fonts-wine, Times New Roman as
# Liberation Serif) and xdg-open for the web link are recommended.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core | fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, fonts-liberation, xdg-utils")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_tidy.cmake)
include(CPack)
