# What an installation holds besides the programs and the mail library (their rules sit with
# their targets; the icon theme's PNG files are drawn and installed by platform/qt):
#   share/applications/org.qubopost.Qubopost.desktop   the menu entry
#   share/metainfo/org.qubopost.Qubopost.metainfo.xml  the software centre's description
#   share/man/man1/qubopost.1.gz, qubopost-cli.1.gz    the manual pages
#   share/qubopost/README                              the program's own share folder
# The share/qubopost folder is also what tells an installed program from a copy in any
# folder: an installed program keeps its settings in the user's configuration folder.

install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/org.qubopost.Qubopost.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/org.qubopost.Qubopost.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/README.share
    DESTINATION ${CMAKE_INSTALL_DATADIR}/qubopost
    RENAME README)

# Manual pages go compressed, as man finds them in a distribution.
set(man_pages)
foreach(page qubopost.1 qubopost-cli.1)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page})
    set(packed ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${packed}
        COMMAND ${CMAKE_COMMAND} -DIN=${source} -DOUT=${packed} -P ${CMAKE_CURRENT_LIST_DIR}/gzip.cmake
        DEPENDS ${source} ${CMAKE_CURRENT_LIST_DIR}/gzip.cmake
        VERBATIM)
    list(APPEND man_pages ${packed})
endforeach()
add_custom_target(qubopost-man ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
