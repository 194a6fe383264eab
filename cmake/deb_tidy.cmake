# Run by CPack on the staged /usr tree just before it becomes the .deb: what Debian's policy
# asks of a package beyond a plain install. The manual page is compressed (gzip -n, so the
# package is the same bytes for the same sources) and the licence is also the package's
# copyright file.
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr")
execute_process(COMMAND gzip -9 -n -f "${usr}/share/man/man1/zorvane.1" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "deb: gzip of the manual page failed")
endif()
file(COPY_FILE "${usr}/share/doc/zorvane/LICENSE" "${usr}/share/doc/zorvane/copyright")
