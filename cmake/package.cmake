# Installation and the Debian package.
#
# The installed tree: the command in bin/, each release's library with its
# mapping file in lib/quillor/<release>/, the examples in share/quillor/examples/,
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
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION share/quillor/examples
        USE_SOURCE_PERMISSIONS)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/quillor)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs DESTINATION share/doc/quillor)

# Installing takes what is built; it does not build the tests and the bench first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillor")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Material-consumption lines into an ERP's cost-accounting tables, as XML")
set(CPACK_PACKAGE_DESCRIPTION
    "The quillor command and the in-process component of releases 8.71, 8.61 and 8.50.")
set(CPACK_PACKAGE_CONTACT "Quillor developers <quillor@localhost>")
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
