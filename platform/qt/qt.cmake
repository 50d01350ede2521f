# The Qt 6 Widgets backend of platform/ui.h and the Linux program entry. Included by
# the top level after find_package(Qt6 COMPONENTS Widgets).
add_library(zorv_ui_qt STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_canvas.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_controls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_file_chooser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_log_list.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_menus_boxes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_modal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_waits.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt.h
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_internal.h)
target_link_libraries(zorv_ui_qt PUBLIC Qt6::Widgets zorv_options)

# The icon's sizes, drawn once at build time: a start takes the one it shows.
add_executable(zorv_make_icons ${PROJECT_SOURCE_DIR}/resources/make_icons.cpp ${PROJECT_SOURCE_DIR}/resources/icon.cpp)
target_link_libraries(zorv_make_icons PRIVATE zorv_options)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/resources/icon_images.cpp
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/resources
    COMMAND zorv_make_icons --cpp ${PROJECT_BINARY_DIR}/resources/icon_images.cpp
    DEPENDS zorv_make_icons
    COMMENT "Writing the icon's pixels into a source file"
    VERBATIM)
target_sources(zorv_ui_qt PRIVATE ${PROJECT_BINARY_DIR}/resources/icon_images.cpp)

set(ZORV_QT_MAIN_SOURCE ${CMAKE_CURRENT_LIST_DIR}/main_qt.cpp)
