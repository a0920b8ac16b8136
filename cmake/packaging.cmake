# Installing hotsync with the conduit, and a Debian package of it (CPack).
#
#   bin/hotsync
#   lib/quorvia-conduit/     the conduit plug-in and the libraries of the host's
#                            services, found through hotsync's relative RPATH
#   share/quorvia-conduit/examples/   the sample desktop file and handheld
#   share/doc/quorvia-conduit/        README and docs
#   share/man/man1/hotsync.1          made from hotsync's own help
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

find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(QV_MAN_PAGE ${CMAKE_BINARY_DIR}/hotsync.1)
  add_custom_command(OUTPUT ${QV_MAN_PAGE}
    COMMAND bash ${PROJECT_SOURCE_DIR}/tools/make-man-page.sh $<TARGET_FILE:hotsync> ${QV_MAN_PAGE}
    DEPENDS hotsync quorvia_conduit ${PROJECT_SOURCE_DIR}/tools/make-man-page.sh
    COMMENT "Making the hotsync man page from its help")
  add_custom_target(man_page ALL DEPENDS ${QV_MAN_PAGE})
  install(FILES ${QV_MAN_PAGE} DESTINATION share/man/man1)
else()
  message(STATUS "help2man not found: no man page")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvia-conduit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvia Conduit developers")
set(CPACK_PACKAGE_CONTACT "Quorvia Conduit developers <conduit@quorvia.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "keeps a Quorvia learning data set in step between the desktop and a handheld")
set(CPACK_PACKAGE_DESCRIPTION
    "hotsync runs the Quorvia conduit as a HotSync Manager does: a two-way merge of elements.xml\n"
    "and the handheld database QVelements by element id, or a one-way copy, with a report of\n"
    "what changed, dry runs and backups. The handheld is a folder of Palm database files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1 (>= 3.0)")
include(CPack)
