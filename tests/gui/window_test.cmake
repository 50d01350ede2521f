# The real main window against zorv-sim on a pty, offscreen. Included where
# zorv_ui_qt, zorv-sim and GTest exist (Linux GUI builds).
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(window_test
    ${CMAKE_CURRENT_LIST_DIR}/window_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/integration/sim_process.cpp
    $<TARGET_OBJECTS:zorv_app_core>)
target_link_libraries(window_test PRIVATE zorv_ui_qt zorv_link zorv_settings zorv_common Qt6::Test GTest::gtest)
target_compile_definitions(window_test PRIVATE ZORV_SIM_PATH="$<TARGET_FILE:zorv-sim>")
add_dependencies(window_test zorv-sim)
# One process per case: each gets a fresh program state and its own simulator.
gtest_discover_tests(window_test TEST_PREFIX window_test. DISCOVERY_TIMEOUT 30
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 120)
