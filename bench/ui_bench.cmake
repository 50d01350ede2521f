# The main window under load: start-up, log growth, idle CPU, command files and the
# pin panel, measured inside the real app_main against zorv-sim. Included from
# bench/CMakeLists.txt where the Qt front end is built.
add_executable(ui_bench
    ${CMAKE_CURRENT_LIST_DIR}/ui_bench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_start.cpp
    $<TARGET_OBJECTS:zorv_app_core>
    ${PROJECT_SOURCE_DIR}/tests/integration/sim_process.cpp)
target_link_libraries(ui_bench PRIVATE zorv_ui_qt zorv_link zorv_settings zorv_common zorv_options)
target_compile_definitions(ui_bench PRIVATE ZORV_SIM_PATH="$<TARGET_FILE:zorv-sim>")
add_dependencies(ui_bench zorv-sim)

# The bench sees every dialog app_main opens through the linker's --wrap: the main
# window and the pin panel hand it their UiWindow without a hook in the program.
set(ZORV_RUN_DIALOG_SYMBOL _Z13ui_run_dialogPK14DialogTemplateP8UiWindowPFvS3_PK9UiMessageEPv)
target_compile_definitions(ui_bench PRIVATE ZORV_RUN_DIALOG_SYMBOL="${ZORV_RUN_DIALOG_SYMBOL}")
target_link_options(ui_bench PRIVATE "LINKER:--wrap=${ZORV_RUN_DIALOG_SYMBOL}")
