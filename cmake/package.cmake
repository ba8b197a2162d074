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

# The manual page and the bash completion, both written by the command from the
# definition --help prints. The Debian package's own files (its copyright, changelog,
# service units, configuration and maintainer scripts) are in debian/.
set(QUILLOR_PACKAGING ${CMAKE_BINARY_DIR}/packaging)
add_custom_command(
  OUTPUT ${QUILLOR_PACKAGING}/quillor.1.gz ${QUILLOR_PACKAGING}/quillor.bash
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUILLOR_PACKAGING}
  COMMAND sh -c "$<TARGET_FILE:quillor> --man-page | gzip -9n > ${QUILLOR_PACKAGING}/quillor.1.gz"
  COMMAND sh -c "$<TARGET_FILE:quillor> --bash-completion > ${QUILLOR_PACKAGING}/quillor.bash"
  DEPENDS quillor
  VERBATIM)
add_custom_target(quillor_package_files ALL
  DEPENDS ${QUILLOR_PACKAGING}/quillor.1.gz ${QUILLOR_PACKAGING}/quillor.bash)
install(FILES ${QUILLOR_PACKAGING}/quillor.1.gz DESTINATION share/man/man1)
install(FILES ${QUILLOR_PACKAGING}/quillor.bash DESTINATION share/bash-completion/completions
        RENAME quillor)

# Installing takes what is built; it does not build the tests and the bench first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
