# Settings unit tests: path rule, integer reads and real INI files in temporary
# directories. Included from tests/CMakeLists.txt. On Windows the private-profile
# functions are the system's own, so the file-format cases that pin the POSIX
# stand-in's exact bytes are replaced by the Windows layer's own test.
if(WIN32)
    add_executable(settings_unit_test ${PROJECT_SOURCE_DIR}/tests/wine/settings_win32_test.cpp)
else()
    add_executable(settings_unit_test ${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp)
endif()
target_link_libraries(settings_unit_test PRIVATE zorv_settings GTest::gtest_main)
gtest_discover_tests(settings_unit_test DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
