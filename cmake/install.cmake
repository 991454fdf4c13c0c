# What an installation holds besides the programs and the mail library (their rules sit with
# their targets; the icon theme's PNG files are drawn and installed by gui):
#   share/applications/org.qubopost.Qubopost.desktop   the menu entry
#   share/metainfo/org.qubopost.Qubopost.metainfo.xml  the software centre's description
#   share/man/man1/qubopost.1.gz, qubopost-cli.1.gz    the manual pages
#   share/man/ja/man1/qubopost.1.gz, qubopost-cli.1.gz the Japanese manual pages
#   share/doc/qubopost/copyright, changelog.gz         who holds the rights, what changed
#   share/qubopost/README                              the program's own share folder
# The share/qubopost folder is also what tells an installed program from a copy in any
# folder: an installed program keeps its settings in the user's configuration folder.

# The version qubopost --version reports: the project's.
target_compile_definitions(qubopost PRIVATE QUBOPOST_VERSION="${PROJECT_VERSION}")

install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/org.qubopost.Qubopost.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/org.qubopost.Qubopost.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/README.share
    DESTINATION ${CMAKE_INSTALL_DATADIR}/qubopost
    RENAME README)

# Manual pages and the change log go compressed, as a distribution ships them.
set(packed_files)
# qubopost_gzip(SOURCE PACKED): PACKED is made from SOURCE at build time.
function(qubopost_gzip source packed)
    add_custom_command(OUTPUT ${packed}
        COMMAND ${CMAKE_COMMAND} -DIN=${source} -DOUT=${packed} -P ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
        DEPENDS ${source} ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
        VERBATIM)
    set(packed_files ${packed_files} ${packed} PARENT_SCOPE)
endfunction()

# English pages in docs/man, Japanese ones (UTF-8) in docs/man/ja.
foreach(language IN ITEMS "" ja)
    set(pages)
    foreach(page qubopost.1 qubopost-cli.1)
        set(packed ${PROJECT_BINARY_DIR}/man/${language}/${page}.gz)
        qubopost_gzip(${PROJECT_SOURCE_DIR}/docs/man/${language}/${page} ${packed})
        list(APPEND pages ${packed})
    endforeach()
    if(language)
        install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/${language}/man1)
    else()
        install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endforeach()

# The package's documentation folder as Debian lays it out: the machine-readable copyright
# file and the change log of a native package.
qubopost_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${PROJECT_BINARY_DIR}/doc/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/doc/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

add_custom_target(qubopost-docs ALL DEPENDS ${packed_files})
