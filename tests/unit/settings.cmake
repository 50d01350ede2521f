# Settings unit tests: path rule, integer reads and real INI files in temporary
# directories. Included from tests/CMakeLists.txt. One set of file cases runs on both
# platforms; on Windows the private-profile functions are the system's own, so the
# cases that pin the POSIX stand-in's exact bytes stay with the POSIX tests.
if(WIN32)
    add_executable(settings_unit_test ${CMAKE_CURRENT_LIST_DIR}/settings_cases.cpp
        ${PROJECT_SOURCE_DIR}/tests/wine/settings_win32_test.cpp)
else()
    add_executable(settings_unit_test ${CMAKE_CURRENT_LIST_DIR}/settings_cases.cpp
        ${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp)
endif()
target_link_libraries(settings_unit_test PRIVATE zorv_settings GTest::gtest_main)
gtest_discover_tests(settings_unit_test DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60)
