# Installation and packages: `cmake --install` puts the tool, its manual page
# and its copyright notice where a Debian user looks for them; `cpack` makes a
# .deb, or for a Windows build a .zip with the executable and, in docs/, two text files.
include(GNUInstallDirs)
if(WIN32)
  install(TARGETS morvale RUNTIME DESTINATION .)
  # Plain text as Windows programs expect it: CR LF line ends and a .txt
  # name, so that a double click opens it.
  configure_file(packaging/windows/README.txt ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  # In a folder of their own: `morvale *.txt` beside morvale.exe, as the
  # README suggests, must find the user's tables alone.
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS morvale RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # A stripped install (cpack, `cmake --install --strip`) also drops the
  # compiler's notes, which no one needs at run time.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/morvale\" COMMAND_ERROR_IS_FATAL ANY)
    endif()")

  # The copyright file in the machine-readable form, made from LICENSE so
  # that the two never disagree.
  file(READ LICENSE morvale_license)
  if(NOT morvale_license MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.+[^\n])\n*$")
    message(FATAL_ERROR "LICENSE: no line \"Copyright (c) YEAR HOLDER\" followed by the licence text")
  endif()
  set(MORVALE_COPYRIGHT "${CMAKE_MATCH_1}")
  string(REPLACE "\n\n" "\n.\n" MORVALE_LICENSE_TEXT "${CMAKE_MATCH_2}")
  string(REPLACE "\n" "\n " MORVALE_LICENSE_TEXT " ${MORVALE_LICENSE_TEXT}")
  configure_file(packaging/debian/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)

  # Debian keeps manual pages and changelogs compressed (gzip -9n: no name or
  # time stamp, so that the package is the same at every build).
  find_program(MORVALE_GZIP gzip)
  if(MORVALE_GZIP)
    add_custom_command(OUTPUT morvale.1.gz
      COMMAND ${MORVALE_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/man/morvale.1 > morvale.1.gz
      DEPENDS man/morvale.1 VERBATIM)
    add_custom_command(OUTPUT changelog.gz
      COMMAND ${MORVALE_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > changelog.gz
      DEPENDS packaging/debian/changelog VERBATIM)
    add_custom_target(morvale_docs ALL DEPENDS morvale.1.gz changelog.gz)
    install(FILES ${PROJECT_BINARY_DIR}/morvale.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  else()
    install(FILES man/morvale.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES packaging/debian/changelog DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
  install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES packaging/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
    RENAME morvale)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
set(CPACK_PACKAGE_NAME morvale)
set(CPACK_PACKAGE_VENDOR "MORVALE maintainers")
set(CPACK_PACKAGE_CONTACT "MORVALE maintainers <maintainers@morvale.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converts text tables of measured values into vector files")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "MORVALE maintainers <maintainers@morvale.example>")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "morvale converts text tables of measured or simulated values (a header, a\nseparator line, rows of blank-separated values) into vector files, one\nnumbered vector per data column, copying every value as text.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
