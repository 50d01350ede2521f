# The Qt backend on real widgets, offscreen. Included where zorv_ui_qt and GTest exist.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(qt_backend_test
    ${CMAKE_CURRENT_LIST_DIR}/qt_backend_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/contract/ui_cases.cpp
    ${PROJECT_SOURCE_DIR}/tests/contract/ui_window_cases.cpp
    ${PROJECT_SOURCE_DIR}/resources/dialogs.cpp
    ${PROJECT_SOURCE_DIR}/resources/icon.cpp
    ${PROJECT_SOURCE_DIR}/platform/dispatch.cpp)
target_link_libraries(qt_backend_test PRIVATE zorv_ui_qt Qt6::Test GTest::gtest)
add_test(NAME qt_backend_test COMMAND qt_backend_test)
# Qt keeps its runtime folder in the build tree, not as /tmp/runtime-<user>.
set_tests_properties(qt_backend_test PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${PROJECT_BINARY_DIR}/runtime" TIMEOUT 180)
