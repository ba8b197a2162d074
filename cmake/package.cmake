# Installation and the Debian package.
#
# The installed tree: the command in bin/, each release's library with its
# mapping file in lib/quillor/<release>/, the examples in share/quillor/examples/,
# the XML schemas in share/quillor/schemas/<release>/ with openapi.yaml beside them,
# the README with the docs/ folder beside it (so that its links hold) in
# share/doc/quillor/.
# The command finds the libraries relative to itself and each library finds its
# mapping file beside itself, so the tree works wherever it is unpacked.

install(TARGETS quillor RUNTIME DESTINATION bin)
foreach(release IN LISTS QUILLOR_RELEASES)
  string(REPLACE "." "" tag ${release})
  install(TARGETS quillor_${tag} LIBRARY DESTINATION lib/quillor/${release})
  install(FILES ${CMAKE_SOURCE_DIR}/data/MaterialXmlRs.Xml DESTINATION lib/quillor/${release})
endforeach()
# The C interface's header, and the Python module over it (found by Python's
# default path; it finds the libraries from where it lies, ../../quillor/).
install(FILES ${CMAKE_SOURCE_DIR}/include/quillor/quillor.h DESTINATION include/quillor)
install(FILES ${CMAKE_SOURCE_DIR}/python/quillor.py DESTINATION lib/python3/dist-packages)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION share/quillor/examples
        USE_SOURCE_PERMISSIONS)
# The XML schemas of the documents and the HTTP API's description, where the
# server serves them from (GET /schemas/..., GET /openapi.yaml).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/xsd/ DESTINATION share/quillor/schemas
        FILES_MATCHING PATTERN "*.xsd")
install(FILES ${CMAKE_SOURCE_DIR}/docs/openapi.yaml DESTINATION share/quillor)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/quillor)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs DESTINATION share/doc/quillor)

# What Debian's policy asks of a package: the copyright file and the Debian
# changelog (compressed without a timestamp), the manual page and the bash
# completion, both written by the command from the definition --help prints.
set(QUILLOR_PACKAGING ${CMAKE_BINARY_DIR}/packaging)
add_custom_command(
  OUTPUT ${QUILLOR_PACKAGING}/quillor.1.gz ${QUILLOR_PACKAGING}/quillor.bash
         ${QUILLOR_PACKAGING}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILLOR_PACKAGING}
  COMMAND sh -c "$<TARGET_FILE:quillor> --man-page | gzip -9n > ${QUILLOR_PACKAGING}/quillor.1.gz"
  COMMAND sh -c "$<TARGET_FILE:quillor> --bash-completion > ${QUILLOR_PACKAGING}/quillor.bash"
  COMMAND sh -c "gzip -9n < ${CMAKE_SOURCE_DIR}/packaging/debian/changelog > ${QUILLOR_PACKAGING}/changelog.Debian.gz"
  DEPENDS quillor ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(quillor_package_files ALL
  DEPENDS ${QUILLOR_PACKAGING}/quillor.1.gz ${QUILLOR_PACKAGING}/quillor.bash
          ${QUILLOR_PACKAGING}/changelog.Debian.gz)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright
              ${QUILLOR_PACKAGING}/changelog.Debian.gz
        DESTINATION share/doc/quillor)
install(FILES ${QUILLOR_PACKAGING}/quillor.1.gz DESTINATION share/man/man1)
install(FILES ${QUILLOR_PACKAGING}/quillor.bash DESTINATION share/bash-completion/completions
        RENAME quillor)
# The service: its units, and the environment file they read, a conffile.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/systemd/quillor-serve.service
              ${CMAKE_SOURCE_DIR}/packaging/systemd/quillor-serve@.service
        DESTINATION lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/serve.conf DESTINATION /etc/quillor)

# Installing takes what is built; it does not build the tests and the bench first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Debian revision: 8.71-1 is the first package of 8.71.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_VENDOR "Quillor")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Material-consumption lines into an ERP's cost-accounting tables, as XML")
set(CPACK_PACKAGE_DESCRIPTION
    "The quillor command and the component of releases 8.71, 8.61 and 8.50.")
set(CPACK_PACKAGE_CONTACT "Quillor developers <quillor@example.org>")
# The service's system user is made on configure; /etc/quillor/serve.conf is kept
# as the administrator edited it.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/debian/postinst ${CMAKE_SOURCE_DIR}/packaging/debian/postrm
    ${CMAKE_SOURCE_DIR}/packaging/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
# The dependencies of the command and the libraries (libxml2, SQLite, unixODBC,
# OpenSSL, the C++ runtime; the HTTP engine is header-only): worked out from the files themselves where
# dpkg-shlibdeps is at hand, else the names this Debian release gives them. The
# ODBC drivers are the user's choice.
find_program(QUILLOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUILLOR_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libgcc-s1, libstdc++6, libxml2, libsqlite3-0, libodbc2, libssl3")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, tdsodbc")
set(CPACK_STRIP_FILES ON)
include(CPack)
