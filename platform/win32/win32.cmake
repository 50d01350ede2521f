# The Win32 front end: resources generated from the tables in resources/, the ui
# backend on real dialogs and the program zorvtalk.exe. Included by the top level
# when building for Windows.
enable_language(RC)

# Runs at build time (under Wine when cross-building) and writes the resource scripts
# (the window's, the runner's) and the icon, so they always match the tables the code
# uses and carry the project's version.
add_executable(zorv_make_resources
    ${PROJECT_SOURCE_DIR}/resources/make_resources.cpp
    ${PROJECT_SOURCE_DIR}/resources/resource_script.cpp
    ${PROJECT_SOURCE_DIR}/resources/dialogs.cpp
    ${PROJECT_SOURCE_DIR}/resources/icon.cpp)
target_link_libraries(zorv_make_resources PRIVATE zorv_options)

# A machine that cannot run this target's programs may name the generator of another
# Windows build (the output does not depend on the target).
set(ZORV_MAKE_RESOURCES "" CACHE FILEPATH "A prebuilt make_resources exe to use instead of this build's")
if(ZORV_MAKE_RESOURCES)
    set(ZORV_RC_COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${ZORV_MAKE_RESOURCES})
    set(ZORV_RC_DEPENDS ${ZORV_MAKE_RESOURCES})
else()
    set(ZORV_RC_COMMAND zorv_make_resources)
    set(ZORV_RC_DEPENDS zorv_make_resources)
endif()

set(ZORV_RC_DIR ${PROJECT_BINARY_DIR}/resources)
file(MAKE_DIRECTORY ${ZORV_RC_DIR})
add_custom_command(
    OUTPUT ${ZORV_RC_DIR}/zorvtalk.rc ${ZORV_RC_DIR}/zorvtalk-cli.rc ${ZORV_RC_DIR}/zorvtalk.ico
    COMMAND ${ZORV_RC_COMMAND} ${ZORV_RC_DIR}/zorvtalk.ico
    WORKING_DIRECTORY ${ZORV_RC_DIR}
    DEPENDS ${ZORV_RC_DEPENDS}
    COMMENT "Writing zorvtalk.rc, zorvtalk-cli.rc and zorvtalk.ico from the resource tables"
    VERBATIM)

# Kept apart from zorv_options: its compiler warnings flags mean nothing to windres.
add_library(zorv_resources OBJECT ${ZORV_RC_DIR}/zorvtalk.rc)
set_source_files_properties(${ZORV_RC_DIR}/zorvtalk.rc PROPERTIES OBJECT_DEPENDS ${ZORV_RC_DIR}/zorvtalk.ico)
# The runner's icon and version block; made here, where the generator's rule lives.
if(TARGET zorvtalk-cli)
    add_library(zorv_cli_resources OBJECT ${ZORV_RC_DIR}/zorvtalk-cli.rc)
    set_source_files_properties(${ZORV_RC_DIR}/zorvtalk-cli.rc PROPERTIES OBJECT_DEPENDS ${ZORV_RC_DIR}/zorvtalk.ico)
    target_sources(zorvtalk-cli PRIVATE $<TARGET_OBJECTS:zorv_cli_resources>)
endif()

add_library(zorv_ui_win32 STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ui_fit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32_canvas.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32_controls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32_file_chooser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32_log_list.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32_menus_boxes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32_waits.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32.h
    ${CMAKE_CURRENT_LIST_DIR}/ui_win32_internal.h)
target_link_libraries(zorv_ui_win32 PUBLIC zorv_options comctl32 comdlg32 gdi32)

add_executable(zorvtalk WIN32
    $<TARGET_OBJECTS:zorv_app_core>
    $<TARGET_OBJECTS:zorv_resources>
    ${CMAKE_CURRENT_LIST_DIR}/main_win32.cpp)
target_link_libraries(zorvtalk PRIVATE zorv_ui_win32 zorv_link zorv_settings zorv_common zorv_stdio_guard zorv_options)
# A project that pulls this one in installs nothing of ours unless it asks.
if(ZORV_INSTALL)
    install(TARGETS zorvtalk RUNTIME DESTINATION bin)
endif()
