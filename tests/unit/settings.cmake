# Settings unit tests: path rule, integer reads and real INI files in temporary
# directories. Included from tests/CMakeLists.txt.
add_executable(settings_unit_test ${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp)
target_link_libraries(settings_unit_test PRIVATE zorv_settings GTest::gtest_main)
gtest_discover_tests(settings_unit_test DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
