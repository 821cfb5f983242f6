# Packages of what `cmake --install` puts in place: a Debian package on Linux
# (cpack -G DEB in the build folder) and, for the cross-built Windows programs,
# a zip of the three programs with the headers and the library for mingw
# (cpack -G ZIP in build-win).
set(CPACK_PACKAGE_NAME kavrel)
set(CPACK_PACKAGE_VENDOR "Kavrel developers")
set(CPACK_PACKAGE_CONTACT "Kavrel developers <kavrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "auto-update launcher and update engine for desktop applications")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Kavrel keeps a desktop application up to date from an update control file\n"
       "on an HTTP server, an FTP server or a file share: the launcher kavrel-launcher\n"
       "checks, fetches, unpacks, patches and hands files in use to its updater stub;\n"
       "the command-line program kavrel runs updates and publishes, signs and checks\n"
       "update sites; the engine is a library with a C interface for other programs.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kavrel-${PROJECT_VERSION}-windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kavrel.example.org/")
  # The libraries the programs and the engine load, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The shared engine: its shlibs file and the ldconfig trigger a library needs.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kavrel)
  # Debian wants the changelog compressed, reproducibly (a native package's
  # is changelog.gz).
  set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${changelog}
                     COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog}
                     DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
  add_custom_target(kavrel-changelog ALL DEPENDS ${changelog})
  install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kavrel)
endif()
include(CPack)
