# Installing hotsync with the conduit, and a Debian package of it (CPack).
#
#   bin/hotsync
#   lib/quorvia-conduit/     the conduit plug-in and the libraries of the host's
#                            services, found through hotsync's relative RPATH
#   share/quorvia-conduit/examples/   the sample desktop file and handheld
#   share/doc/quorvia-conduit/        README and docs, copyright and changelog.gz
#                                     (from packaging/debian/)
#   share/man/man1/hotsync.1.gz       made from hotsync's own help
# The package is made from a Release build, its binaries stripped (README,
# "Installing"); tests/package_test.sh holds it to lintian.
set(QV_INSTALL_LIB lib/quorvia-conduit)
set_target_properties(hotsync PROPERTIES INSTALL_RPATH "$ORIGIN/../${QV_INSTALL_LIB}")
set_target_properties(quorvia_conduit qv_syncmgr qv_hslog qv_platform
                      PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS hotsync RUNTIME DESTINATION bin)
install(TARGETS quorvia_conduit qv_syncmgr qv_hslog qv_platform
        LIBRARY DESTINATION ${QV_INSTALL_LIB})
install(DIRECTORY examples/ DESTINATION share/quorvia-conduit/examples)
install(FILES README.md DESTINATION share/doc/quorvia-conduit)
install(DIRECTORY docs/ DESTINATION share/doc/quorvia-conduit/docs)
install(FILES packaging/debian/copyright DESTINATION share/doc/quorvia-conduit)

# Debian's documentation and manual pages are gzipped with -9n: best
# compression, no name or time stamp in the header.
set(QV_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${QV_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
          ${CMAKE_BINARY_DIR}/debian/changelog
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/debian/changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${QV_CHANGELOG_GZ})
install(FILES ${QV_CHANGELOG_GZ} DESTINATION share/doc/quorvia-conduit)

find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(QV_MAN_PAGE ${CMAKE_BINARY_DIR}/hotsync.1)
  add_custom_command(OUTPUT ${QV_MAN_PAGE} ${QV_MAN_PAGE}.gz
    COMMAND bash ${PROJECT_SOURCE_DIR}/tools/make-man-page.sh $<TARGET_FILE:hotsync> ${QV_MAN_PAGE}
    COMMAND gzip -9nkf ${QV_MAN_PAGE}
    DEPENDS hotsync quorvia_conduit ${PROJECT_SOURCE_DIR}/tools/make-man-page.sh
    COMMENT "Making the hotsync man page from its help")
  add_custom_target(man_page ALL DEPENDS ${QV_MAN_PAGE}.gz)
  install(FILES ${QV_MAN_PAGE}.gz DESTINATION share/man/man1)
else()
  message(STATUS "help2man not found: no man page")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvia-conduit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quorvia Conduit developers")
set(CPACK_PACKAGE_CONTACT "The Quorvia Conduit developers <conduit@quorvia.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "keeps a Quorvia learning data set in step between the desktop and a handheld")
# Debian wants the description's lines within 80 columns; one string, as a
# list would put its separators at their starts.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "hotsync runs the Quorvia conduit as a HotSync Manager does: a two-way\n"
    "merge of elements.xml and the handheld database QVelements by element\n"
    "id, or a one-way copy, with a report of what changed, dry runs and\n"
    "backups. The handheld is a folder of Palm database files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0)")
include(CPack)
