# What `cmake --install` puts on a Linux system, and the Debian packages made of it
# (`cpack -G DEB`): zorvtalk-cli (component cli: the runner, zorv-sim, their man
# pages; no Qt) and zorvtalk (component gui: the window, its desktop entry, icons and
# metadata). Included at the end of the top level, after every program target.
include(GNUInstallDirs)

# A line that names no component lands in the runner's package, never in neither.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME cli)
set(ZORV_DEB_RELEASE 1)
set(ZORV_DEB_VERSION ${PROJECT_VERSION}-${ZORV_DEB_RELEASE})
set(ZORV_MAINTAINER "ZORVTalk maintainers <maintainers@zorvtalk.example>" CACHE STRING
    "Maintainer named in the Debian packages and their changelog")
set(ZORV_HOMEPAGE "https://zorvtalk.example" CACHE STRING "Home page named in the desktop metadata")

if(TARGET zorvtalk)
    install(TARGETS zorvtalk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
    install(FILES resources/zorvtalk.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)

    # Every size of the icon, drawn from the one artwork at build time.
    if(NOT TARGET zorv_make_icons)
        add_executable(zorv_make_icons resources/make_icons.cpp resources/icon.cpp)
        target_link_libraries(zorv_make_icons PRIVATE zorv_options)
    endif()
    set(zorv_icons ${PROJECT_BINARY_DIR}/icons)
    add_custom_command(OUTPUT ${zorv_icons}/scalable/apps/zorvtalk.svg
        COMMAND zorv_make_icons ${zorv_icons}
        DEPENDS zorv_make_icons
        COMMENT "Drawing the icon at every size"
        VERBATIM)
    add_custom_target(zorv_icons ALL DEPENDS ${zorv_icons}/scalable/apps/zorvtalk.svg)
    # Modes set here: a copied directory keeps the builder's, which a umask may narrow.
    install(DIRECTORY ${zorv_icons}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor COMPONENT gui
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

    string(TIMESTAMP ZORV_RELEASE_DATE "%Y-%m-%d" UTC)
    configure_file(resources/zorvtalk.metainfo.xml.in
        ${PROJECT_BINARY_DIR}/example.zorvtalk.ZORVTalk.metainfo.xml @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/example.zorvtalk.ZORVTalk.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT gui)
endif()
install(TARGETS zorv-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)

# The command-line front end may be defined anywhere in the tree: look for it once the
# whole top-level directory has been read.
function(zorv_install_cli)
    if(TARGET zorvtalk-cli)
        install(TARGETS zorvtalk-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL zorv_install_cli)
# Where bash-completion loads a command's completion from when it is first completed.
install(FILES cli/zorvtalk-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME zorvtalk-cli)

# Man pages, with the version filled in and compressed the way Debian keeps them.
find_program(ZORV_GZIP gzip)
function(zorv_gzip file out_var)
    if(ZORV_GZIP)
        add_custom_command(OUTPUT ${file}.gz
            COMMAND ${ZORV_GZIP} -9 -n -c ${file} > ${file}.gz
            DEPENDS ${file}
            VERBATIM)
        set(${out_var} ${file}.gz PARENT_SCOPE)
    else()
        set(${out_var} ${file} PARENT_SCOPE)
    endif()
endfunction()

set(zorv_packaged_files)
foreach(page zorvtalk zorvtalk-cli zorv-sim)
    configure_file(docs/man/${page}.1 ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
    zorv_gzip(${PROJECT_BINARY_DIR}/man/${page}.1 page_file)
    list(APPEND zorv_packaged_files ${page_file})
    if(page STREQUAL "zorvtalk")
        if(TARGET zorvtalk)
            install(FILES ${page_file} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT gui)
        endif()
    else()
        install(FILES ${page_file} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
    endif()
endforeach()

# Each package carries the licence and a Debian changelog, as Debian's tools expect.
# The date follows SOURCE_DATE_EPOCH when it is set, so a rebuild gives the same file.
string(TIMESTAMP ZORV_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(resources/changelog.Debian.in ${PROJECT_BINARY_DIR}/doc/changelog.Debian @ONLY)
zorv_gzip(${PROJECT_BINARY_DIR}/doc/changelog.Debian changelog_file)
list(APPEND zorv_packaged_files ${changelog_file})
add_custom_target(zorv_man_pages ALL DEPENDS ${zorv_packaged_files})
foreach(component cli gui)
    set(package zorvtalk-cli)
    if(component STREQUAL "gui")
        set(package zorvtalk)
        if(NOT TARGET zorvtalk)
            continue()
        endif()
    endif()
    install(FILES resources/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
    install(FILES ${changelog_file} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# The Debian packages; a project that pulls this one in packages itself.
if(PROJECT_IS_TOP_LEVEL)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME zorvtalk)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_CONTACT ${ZORV_MAINTAINER})
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL cli)
    if(TARGET zorvtalk)
        list(APPEND CPACK_COMPONENTS_ALL gui)
    endif()
    set(CPACK_DEBIAN_PACKAGE_RELEASE ${ZORV_DEB_RELEASE})
    set(CPACK_DEBIAN_PACKAGE_SOURCE zorvtalk)  # both built from one tree, one changelog
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # <package>_<version>-<release>_<arch>.deb
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # Depends: from the binaries' libraries
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    # Directories as dpkg expects them whatever the builder's umask.
    set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

    set(CPACK_DEBIAN_CLI_PACKAGE_NAME zorvtalk-cli)
    set(CPACK_DEBIAN_CLI_DESCRIPTION
        "run command files on a ZORV controller from scripts\n"
        "zorvtalk-cli talks to a ZORV controller on a serial port without a window:\n"
        "it connects (the controller is reset and greeted), sends command lines\n"
        "from its arguments, a file or standard input, prints each reply, and can\n"
        "judge the replies, for rigs, scripts and headless hosts. Also holds\n"
        "zorv-sim, a simulated controller on a pseudo-terminal.")
    # The programs moved here from the zorvtalk package of earlier releases.
    set(CPACK_DEBIAN_CLI_PACKAGE_BREAKS "zorvtalk (<< ${ZORV_DEB_VERSION})")
    set(CPACK_DEBIAN_CLI_PACKAGE_REPLACES "zorvtalk (<< ${ZORV_DEB_VERSION})")

    set(CPACK_DEBIAN_GUI_PACKAGE_NAME zorvtalk)
    set(CPACK_DEBIAN_GUI_DESCRIPTION
        "terminal window for a ZORV controller on a serial port\n"
        "A window for talking to a ZORV controller on a serial port: connect (the\n"
        "controller is reset and greeted), send command lines and command files,\n"
        "pause, continue or stop the running command, show the status report and\n"
        "watch and drive the controller's pins.")
    set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "zorvtalk-cli (= ${ZORV_DEB_VERSION})")
    foreach(var CPACK_DEBIAN_CLI_DESCRIPTION CPACK_DEBIAN_GUI_DESCRIPTION)
        list(JOIN ${var} "" ${var})
    endforeach()
    include(CPack)
endif()
