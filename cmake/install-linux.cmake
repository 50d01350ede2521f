# What `cmake --install` puts on a Linux system, and the Debian package made of it
# (`cpack -G DEB`). Included at the end of the top level, after every program target.
include(GNUInstallDirs)

if(TARGET zorvtalk)
    install(TARGETS zorvtalk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES resources/zorvtalk.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES resources/zorvtalk.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
endif()
install(TARGETS zorv-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The command-line front end may be defined anywhere in the tree: look for it once the
# whole top-level directory has been read.
function(zorv_install_cli)
    if(TARGET zorvtalk-cli)
        install(TARGETS zorvtalk-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL zorv_install_cli)
# Where bash-completion loads a command's completion from when it is first completed.
install(FILES cli/zorvtalk-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME zorvtalk-cli)

# Man pages, with the version filled in and compressed the way Debian keeps them.
find_program(ZORV_GZIP gzip)
set(zorv_man_pages)
foreach(page zorvtalk zorvtalk-cli zorv-sim)
    set(page_file ${PROJECT_BINARY_DIR}/man/${page}.1)
    configure_file(docs/man/${page}.1 ${page_file} @ONLY)
    if(ZORV_GZIP)
        add_custom_command(OUTPUT ${page_file}.gz
            COMMAND ${ZORV_GZIP} -9 -n -c ${page_file} > ${page_file}.gz
            DEPENDS ${page_file}
            VERBATIM)
        string(APPEND page_file .gz)
    endif()
    list(APPEND zorv_man_pages ${page_file})
endforeach()
add_custom_target(zorv_man_pages ALL DEPENDS ${zorv_man_pages})
install(FILES ${zorv_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package; a project that pulls this one in packages itself.
if(PROJECT_IS_TOP_LEVEL)
    set(ZORV_PACKAGE_CONTACT "ZORVTalk developers <zorvtalk@invalid>" CACHE STRING
        "Maintainer named in the Debian package")
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME zorvtalk)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_CONTACT ${ZORV_PACKAGE_CONTACT})
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "terminal for a ZORV controller on a serial port")
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "A window for talking to a ZORV controller on a serial port: connect (the\n"
        "controller is reset and greeted), send command lines and command files,\n"
        "pause, continue or stop the running command, show the status report and\n"
        "watch and drive the controller's pins. Also holds zorv-sim, a simulated\n"
        "controller on a pseudo-terminal.")
    list(JOIN CPACK_DEBIAN_PACKAGE_DESCRIPTION "" CPACK_DEBIAN_PACKAGE_DESCRIPTION)
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # zorvtalk_<version>_<arch>.deb
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # Depends: from the binaries' libraries
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    include(CPack)
endif()
