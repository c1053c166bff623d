# Installation into the usual prefix layout:
#
#   bin/quorvin, bin/quorvin-cli                 links to the programs in the application folder
#   lib/quorvin/                                 the application folder: the programs, dromale,
#                                                libstavelin.so (found through the $ORIGIN run path),
#                                                activation.ini, and links to the data below
#   share/quorvin/                               language/, help/, models/, sample/, system.qvnm
#   share/applications/quorvin.desktop           the menu entry, opening .qvn files
#   share/icons/hicolor/*/apps/quorvin.png       the icon
#   share/mime/packages/quorvin.xml              the project file type (*.qvn)
#   share/man/man1/quorvin.1.gz, quorvin-cli.1.gz the manual pages (cli/ writes them)
#   share/doc/quorvin/copyright, changelog.gz    the package's notes (cmake/debian/)
#
# The programs find their data through their own folder (the links are followed by the kernel when
# it reports the running program's path), so an installed copy works wherever the prefix is.
# An installed application folder is usually not writable; the start-up then keeps temp, projects,
# models and output below $XDG_DATA_HOME/quorvin/.
include(GNUInstallDirs)

set(QUORVIN_INSTALL_APPDIR "${CMAKE_INSTALL_LIBDIR}/quorvin")
set(QUORVIN_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/quorvin")

foreach(program quorvin quorvin-cli dromale dromale-ctl)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${QUORVIN_INSTALL_APPDIR})
    endif()
endforeach()
if(TARGET stavelin)
    install(TARGETS stavelin LIBRARY DESTINATION ${QUORVIN_INSTALL_APPDIR})
endif()
install(FILES ${QUORVIN_APP_DIR}/activation.ini DESTINATION ${QUORVIN_INSTALL_APPDIR} OPTIONAL)

install(DIRECTORY ${QUORVIN_APP_DIR}/language ${QUORVIN_APP_DIR}/help DESTINATION ${QUORVIN_INSTALL_DATADIR}
    OPTIONAL)
install(DIRECTORY ${QUORVIN_APP_DIR}/models/ DESTINATION ${QUORVIN_INSTALL_DATADIR}/models OPTIONAL
    FILES_MATCHING PATTERN "*.qvnm")
install(FILES ${QUORVIN_APP_DIR}/sample/sample.db ${QUORVIN_APP_DIR}/sample/sample.qvnm
    DESTINATION ${QUORVIN_INSTALL_DATADIR}/sample OPTIONAL)
install(FILES ${QUORVIN_APP_DIR}/system.qvnm DESTINATION ${QUORVIN_INSTALL_DATADIR} OPTIONAL)

set(desktop_dir ${CMAKE_SOURCE_DIR}/resources/desktop)
install(FILES ${desktop_dir}/quorvin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop_dir}/quorvin-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
    RENAME quorvin.xml)
foreach(size 48 256)
    install(FILES ${desktop_dir}/quorvin-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quorvin.png)
endforeach()

# The package's notes, in the form Debian's tools read them; the changelog compressed without a
# time stamp, so the same sources give the same file.
install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvin)
configure_file(${CMAKE_SOURCE_DIR}/cmake/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
execute_process(COMMAND gzip -n9fk ${CMAKE_BINARY_DIR}/debian/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvin)

# Links: the data into the application folder, the two user-facing programs into bin/. Relative
# links keep a staged (DESTDIR) or moved prefix working.
install(CODE "
    set(prefix \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    set(appdir \"\${prefix}/${QUORVIN_INSTALL_APPDIR}\")
    file(RELATIVE_PATH to_data \"\${appdir}\" \"\${prefix}/${QUORVIN_INSTALL_DATADIR}\")
    foreach(item language help models sample system.qvnm)
        if(EXISTS \"\${prefix}/${QUORVIN_INSTALL_DATADIR}/\${item}\")
            file(REMOVE_RECURSE \"\${appdir}/\${item}\")
            file(CREATE_LINK \"\${to_data}/\${item}\" \"\${appdir}/\${item}\" SYMBOLIC)
        endif()
    endforeach()
    file(MAKE_DIRECTORY \"\${prefix}/${CMAKE_INSTALL_BINDIR}\")
    file(RELATIVE_PATH to_app \"\${prefix}/${CMAKE_INSTALL_BINDIR}\" \"\${appdir}\")
    foreach(program quorvin quorvin-cli)
        if(EXISTS \"\${appdir}/\${program}\")
            file(REMOVE \"\${prefix}/${CMAKE_INSTALL_BINDIR}/\${program}\")
            file(CREATE_LINK \"\${to_app}/\${program}\" \"\${prefix}/${CMAKE_INSTALL_BINDIR}/\${program}\" SYMBOLIC)
        endif()
    endforeach()
    # Refresh the desktop's caches for a real (not staged) installation, where the tools exist.
    if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
        find_program(update_mime update-mime-database)
        find_program(update_desktop update-desktop-database)
        if(update_mime)
            execute_process(COMMAND \${update_mime} \"\${prefix}/${CMAKE_INSTALL_DATADIR}/mime\" OUTPUT_QUIET ERROR_QUIET)
        endif()
        if(update_desktop)
            execute_process(COMMAND \${update_desktop} \"\${prefix}/${CMAKE_INSTALL_DATADIR}/applications\"
                            OUTPUT_QUIET ERROR_QUIET)
        endif()
    endif()
")
