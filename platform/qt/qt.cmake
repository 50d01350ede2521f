# The Qt 6 Widgets backend of platform/ui.h and the Linux program entry. Included by
# the top level after find_package(Qt6 COMPONENTS Widgets).
add_library(zorv_ui_qt STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_controls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_file_chooser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_log_list.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_menus_boxes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_modal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_waits.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt.h
    ${CMAKE_CURRENT_LIST_DIR}/ui_qt_internal.h)
target_link_libraries(zorv_ui_qt PUBLIC Qt6::Widgets zorv_options)

set(ZORV_QT_MAIN_SOURCE ${CMAKE_CURRENT_LIST_DIR}/main_qt.cpp)
