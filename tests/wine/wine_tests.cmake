# Tests that need Windows itself (run under Wine on Linux): the serial layer and the
# link against zorv-sim through Wine's COM port mapping, and the whole program driven
# from a second process. Included from tests/CMakeLists.txt when building for Windows.
#
# zorv-sim is a Linux program; it comes from the native build.
set(ZORV_SIM_EXECUTABLE ${PROJECT_SOURCE_DIR}/build/linux/bin/zorv-sim CACHE FILEPATH
    "The Linux zorv-sim the Windows tests talk to")
set(ZORV_WINE_DIR ${CMAKE_CURRENT_LIST_DIR})

add_executable(link_wine_test ${ZORV_WINE_DIR}/link_wine_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/integration/link_cases.cpp)
target_link_libraries(link_wine_test PRIVATE zorv_link GTest::gtest_main)
# One simulator per COM port, with the options the shared cases expect of that port:
# keep in step with LINK_SIMS in tests/integration/link_cases.cpp.
add_test(NAME link_wine_test
    COMMAND ${ZORV_WINE_DIR}/with-sims ${ZORV_SIM_EXECUTABLE}
        11 12:--crlf 13:--stall-after,2 14:--garbage,--seed,7,--garbage-rate,50
        15:--hangup-after,2 16:--hangup-after,2 17:--hangup-after,2
        18:--greeting,ok 19:--greeting,none 20:--pace
        23:--stray,\\x12 24:--stray,late\\r 25:--flood,400 26:--report-cut,5
        -- ${ZORV_WINE_DIR}/wine-run $<TARGET_FILE:link_wine_test>)
# Mapping ports restarts the wineserver, which would end other tests' programs.
set_tests_properties(link_wine_test PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)

# The ui backend's shared cases on real dialogs (the program's resources linked in).
if(TARGET zorv_ui_win32)
    add_executable(ui_contract_wine_test ${ZORV_WINE_DIR}/ui_contract_wine.cpp
        ${PROJECT_SOURCE_DIR}/tests/contract/ui_cases.cpp ${PROJECT_SOURCE_DIR}/tests/contract/ui_window_cases.cpp
        ${PROJECT_SOURCE_DIR}/resources/dialogs.cpp
        $<TARGET_OBJECTS:zorv_resources>)
    target_link_libraries(ui_contract_wine_test PRIVATE zorv_ui_win32 zorv_link zorv_options GTest::gtest)
    add_test(NAME ui_contract_wine_test COMMAND ${ZORV_WINE_DIR}/wine-run $<TARGET_FILE:ui_contract_wine_test>)
    set_tests_properties(ui_contract_wine_test PROPERTIES TIMEOUT 120)
endif()

if(TARGET zorvtalk)
    add_executable(gui_wine_driver ${ZORV_WINE_DIR}/gui_driver.cpp ${PROJECT_SOURCE_DIR}/resources/dialogs.cpp)
    target_link_libraries(gui_wine_driver PRIVATE zorv_options comctl32)
    add_test(NAME gui_wine_test
        COMMAND ${ZORV_WINE_DIR}/with-sims ${ZORV_SIM_EXECUTABLE} 21
            -- ${ZORV_WINE_DIR}/wine-run $<TARGET_FILE:gui_wine_driver> $<TARGET_FILE:zorvtalk> 21)
    set_tests_properties(gui_wine_test PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
endif()

# zorvtalk-cli.exe, a console program, against the simulator on COM22: its replies,
# the report and the pins on standard output, and its exit status.
add_test(NAME cli_wine_test
    COMMAND ${ZORV_WINE_DIR}/with-sims ${ZORV_SIM_EXECUTABLE} 22
        -- bash -c "\"$@\"; echo \"exit status $?\"" cli_wine_test
            ${ZORV_WINE_DIR}/wine-run $<TARGET_FILE:zorvtalk-cli> --port COM22 --baud 115200
            -c "echo wine" --report --pins)
set_tests_properties(cli_wine_test PROPERTIES RUN_SERIAL TRUE TIMEOUT 120
    PASS_REGULAR_EXPRESSION "wine\r?\nQ=0, X=0, Y=0, Z=0, W=0\r?\ndata=00 status=80 control=00\r?\nexit status 0")

# The same through ser2net: the port is rfc2217://127.0.0.1:PORT (Winsock), reset,
# greeted, one command, a report with 0xFF bytes in it.
find_program(ZORV_SER2NET ser2net PATHS /usr/sbin /sbin)
if(ZORV_SER2NET)
    # The link's shared cases, each simulator behind ser2net (Winsock).
    add_test(NAME link_wine_net_test
        COMMAND ${ZORV_WINE_DIR}/with-ser2net ${ZORV_SIM_EXECUTABLE} ${ZORV_SER2NET}
            11 12:--crlf 13:--stall-after,2 14:--garbage,--seed,7,--garbage-rate,50
            15:--hangup-after,2 16:--hangup-after,2 17:--hangup-after,2
            18:--greeting,ok 19:--greeting,none 20:--pace
            23:--stray,\\x12 24:--stray,late\\r 25:--flood,400 26:--report-cut,5
            -- ${ZORV_WINE_DIR}/wine-run $<TARGET_FILE:link_wine_test> --gtest_filter=LinkSim.*)
    set_tests_properties(link_wine_net_test PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
    add_test(NAME cli_wine_net_test
        COMMAND ${ZORV_WINE_DIR}/with-ser2net ${ZORV_SIM_EXECUTABLE} ${ZORV_SER2NET}
            -- bash -c "\"$@\"; echo \"exit status $?\"" cli_wine_net_test
                ${ZORV_WINE_DIR}/wine-run $<TARGET_FILE:zorvtalk-cli> --port @URL@ --baud 115200
                -c "echo wine" -c "set x -1" --report)
    set_tests_properties(cli_wine_net_test PROPERTIES RUN_SERIAL TRUE TIMEOUT 120
        PASS_REGULAR_EXPRESSION "wine\r?\nok\r?\nQ=0, X=-1, Y=0, Z=0, W=0\r?\nexit status 0")
endif()
