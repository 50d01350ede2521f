// The backend cases shared by every host of platform/ui.h (see ui_cases.h).
#include "tests/contract/ui_cases.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dispatch.h"

namespace {

constexpr int WATCHDOG_TIMER = 0x7FFF;
UiDialogProc g_next_proc = nullptr;
std::map<UiWindow*, UiDialogProc> g_watched;

void watched_proc(UiWindow* w, const UiMessage* m) {
    if (m->kind == UI_INIT) {
        g_watched[w] = g_next_proc;
        ui_set_timer(w, WATCHDOG_TIMER, 20000);
    }
    if (m->kind == UI_TIMER && m->id == WATCHDOG_TIMER) {
        ADD_FAILURE() << "dialog did not end";
        ui_end_dialog(w, -2);
        return;
    }
    g_watched[w](w, m);
}

}  // namespace

int ui_run_watched(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc) {
    if (!proc) return ui_run_dialog(tmpl, owner, nullptr);
    g_next_proc = proc;
    return ui_run_dialog(tmpl, owner, watched_proc);
}

namespace ui_contract {

constexpr int CASE_BODY = 0x7F00;  // no control has this id
namespace {
Script* g_script = nullptr;
}  // namespace

void script_proc(UiWindow* w, const UiMessage* m) {
    Script* s = g_script;
    if (m->kind == UI_COMMAND && m->id == CASE_BODY) {
        if (s->body) s->body(w);
        if (s->end_after_body && ui_dialog_alive(w)) ui_end_dialog(w, 99);
        return;
    }
    s->log.push_back(*m);
    if (m->kind == UI_INIT) {
        if (s->on_init) s->on_init(w);
        if (ui_dialog_id(w) == MAIN_DIALOG.id) ui_post_command(w, CASE_BODY);
    }
    if (s->on_message) s->on_message(w, *m);
}

int run(const DialogTemplate& tmpl, Script& s) {
    g_script = &s;
    int result = host_run_dialog(&tmpl, nullptr, script_proc);
    g_script = nullptr;
    return result;
}

int count_of(const std::vector<UiMessage>& log, UiMessageKind kind, int id) {
    int n = 0;
    for (const UiMessage& m : log) n += m.kind == kind && m.id == id;
    return n;
}

void wait_for_end(UiWindow* w) {
    for (int i = 0; ui_dialog_alive(w) && i < 5000; ++i) {
        dispatch_pending_messages();
        platform_idle_wait(1);
    }
    EXPECT_EQ(ui_dialog_alive(w), 0);
}

}  // namespace ui_contract

namespace {

using namespace ui_contract;

TEST(UiContract, TextsEnablingChecksAndFocus) {
    Script s;
    s.body = [](UiWindow* w) {
        char buf[16] = "x";
        ui_set_text(w, 0, "ZORVTalk - COM3: 115200");
        EXPECT_EQ(ui_text_length(w, 0), 23);
        ui_set_text(w, ID_CONNECT, "Disconnect");
        EXPECT_EQ(ui_text_length(w, ID_CONNECT), 10);
        EXPECT_EQ(ui_get_text(w, ID_CONNECT, buf, sizeof buf), 10);
        EXPECT_STREQ(buf, "Disconnect");
        EXPECT_EQ(ui_get_text(w, ID_CONNECT, buf, 5), 4);  // cut to fit
        EXPECT_STREQ(buf, "Disc");
        EXPECT_EQ(ui_get_text(w, 4242, buf, sizeof buf), 0);
        EXPECT_STREQ(buf, "");
        EXPECT_EQ(ui_text_length(w, 4242), 0);

        for (int on : {1, 0, 1}) {
            ui_enable(w, ID_COMMAND, on);
            EXPECT_EQ(ui_is_enabled(w, ID_COMMAND), on);
        }
        EXPECT_EQ(ui_is_enabled(w, 4242), 0);
        EXPECT_EQ(ui_dialog_id(w), MAIN_DIALOG.id);
        for (int id : {ID_LOG, ID_CONNECT, ID_STARTUP, ID_PORT}) {
            ui_set_focus(w, id);
            EXPECT_EQ(ui_focus_id(w), id);
        }
        ui_set_focus(w, 4242);  // no such control: the focus stays
        EXPECT_EQ(ui_focus_id(w), ID_PORT);
    };
    run(MAIN_DIALOG, s);

    Script panel;
    panel.on_init = [](UiWindow* w) {
        ui_set_check(w, 1010, 1);
        EXPECT_EQ(ui_is_checked(w, 1010), 1);
        ui_set_check(w, 1010, 0);
        EXPECT_EQ(ui_is_checked(w, 1010), 0);
        ui_set_check(w, 1011, 1);
        EXPECT_EQ(ui_is_checked(w, 1011), 1);
        EXPECT_EQ(ui_is_checked(w, 4242), 0);
        ui_end_dialog(w, 6);
    };
    EXPECT_EQ(run(PIN_PANEL_DIALOG, panel), 6);
    EXPECT_EQ(count_of(panel.log, UI_COMMAND, 1010), 0);  // the program's own change sends nothing
}

TEST(UiContract, ComboBoxesSortAppendAndKeepTheirText) {
    Script s;
    s.body = [](UiWindow* w) {
        // Sorted without regard to case; the returned index is the sorted position.
        EXPECT_EQ(ui_combo_add(w, ID_PORT, "COM3 (/dev/ttyS2)", 0), 0);
        EXPECT_EQ(ui_combo_add(w, ID_PORT, "com10 (/dev/ttyUSB0)", 0), 0);
        EXPECT_EQ(ui_combo_add(w, ID_PORT, "COM2 (/dev/ttyS1)", 1), 1);
        EXPECT_EQ(ui_combo_add(w, ID_PORT, "COM9", 0), 3);
        const char* order[] = {"com10 (/dev/ttyUSB0)", "COM2 (/dev/ttyS1)", "COM3 (/dev/ttyS2)", "COM9"};
        ASSERT_EQ(ui_combo_count(w, ID_PORT), 4);
        char buf[64];
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(ui_combo_item(w, ID_PORT, i, buf, sizeof buf), static_cast<int>(std::string(order[i]).size()));
            EXPECT_STREQ(buf, order[i]);
        }
        ui_get_text(w, ID_PORT, buf, sizeof buf);
        EXPECT_STREQ(buf, "COM2 (/dev/ttyS1)");
        EXPECT_EQ(ui_combo_item(w, ID_PORT, 4, buf, sizeof buf), -1);
        EXPECT_EQ(ui_combo_item(w, ID_PORT, -1, buf, sizeof buf), -1);

        // Unsorted boxes append; adding without select keeps what was typed.
        ui_set_text(w, ID_BAUD, "9600 baud");
        EXPECT_EQ(ui_combo_add(w, ID_BAUD, "115200", 0), 0);
        EXPECT_EQ(ui_combo_add(w, ID_BAUD, "19200", 0), 1);
        ui_get_text(w, ID_BAUD, buf, sizeof buf);
        EXPECT_STREQ(buf, "9600 baud");
        EXPECT_EQ(ui_combo_add(w, ID_BAUD, "57600", 1), 2);
        ui_get_text(w, ID_BAUD, buf, sizeof buf);
        EXPECT_STREQ(buf, "57600");

        // Clearing removes the items, not the text in the edit field.
        ui_combo_clear(w, ID_BAUD);
        EXPECT_EQ(ui_combo_count(w, ID_BAUD), 0);
        ui_get_text(w, ID_BAUD, buf, sizeof buf);
        EXPECT_STREQ(buf, "57600");

        // Not a combo box, or none at all.
        EXPECT_EQ(ui_combo_add(w, ID_STARTUP, "x", 1), -1);
        EXPECT_EQ(ui_combo_count(w, ID_STARTUP), 0);
        EXPECT_EQ(ui_combo_count(w, 4242), 0);
        EXPECT_EQ(ui_combo_item(w, 4242, 0, buf, sizeof buf), -1);
    };
    run(MAIN_DIALOG, s);
    EXPECT_EQ(count_of(s.log, UI_COMMAND, ID_PORT) + count_of(s.log, UI_COMMAND, ID_BAUD), 0);
}

TEST(UiContract, PostedCommandsRunAfterTheHandler) {
    std::vector<std::string> order;
    Script s;
    s.end_after_body = false;
    s.body = [&](UiWindow* w) {
        ui_post_command(w, 4242);
        ui_post_syscommand(w, SYSCMD_ABOUT);
        order.push_back("handler end");
    };
    s.on_message = [&](UiWindow* w, const UiMessage& m) {
        if (m.kind == UI_COMMAND && m.id == 4242) {
            order.push_back("posted command");
        } else if (m.kind == UI_SYSCOMMAND) {
            EXPECT_EQ(m.id, SYSCMD_ABOUT);
            order.push_back("posted syscommand");
            ui_end_dialog(w, 3);
            EXPECT_EQ(ui_dialog_alive(w), 0);
            ui_post_command(w, 4343);  // after the end: dropped
        }
    };
    EXPECT_EQ(run(MAIN_DIALOG, s), 3);
    EXPECT_EQ(order, (std::vector<std::string>{"handler end", "posted command", "posted syscommand"}));
    EXPECT_EQ(count_of(s.log, UI_COMMAND, 4343), 0);
}

TEST(UiContract, TimersTickUntilKilled) {
    int ticks = 0;
    Script s;
    s.end_after_body = false;
    s.on_init = [](UiWindow* w) { ui_set_timer(w, 3, 5); };
    s.on_message = [&](UiWindow* w, const UiMessage& m) {
        if (m.kind != UI_TIMER) return;
        if (m.id == 3 && ++ticks == 3) {
            ui_kill_timer(w, 3);
            ui_set_timer(w, 4, 5);  // a second one proves the first has stopped
        }
        if (m.id == 4) ui_end_dialog(w, 0);
    };
    run(MAIN_DIALOG, s);
    EXPECT_EQ(count_of(s.log, UI_TIMER, 3), 3);
    EXPECT_EQ(count_of(s.log, UI_TIMER, 4), 1);
}

TEST(UiContract, EndDuringInitAndNullWindows) {
    Script s;
    s.on_init = [](UiWindow* w) { ui_end_dialog(w, 4); };
    s.body = [](UiWindow*) { ADD_FAILURE() << "an ended dialog must not run"; };
    EXPECT_EQ(run(MAIN_DIALOG, s), 4);
    EXPECT_EQ(ui_run_dialog(nullptr, nullptr, script_proc), -1);
    EXPECT_EQ(ui_run_dialog(&MAIN_DIALOG, nullptr, nullptr), -1);

    // No window: every operation fails quietly.
    char buf[8] = "x";
    int x = 5;
    ui_end_dialog(nullptr, 1);
    ui_enable(nullptr, ID_PORT, 1);
    ui_set_text(nullptr, 0, "t");
    ui_set_check(nullptr, 1010, 1);
    ui_set_focus(nullptr, ID_PORT);
    ui_post_command(nullptr, 1);
    ui_post_syscommand(nullptr, 1);
    ui_combo_clear(nullptr, ID_PORT);
    ui_list_set_text(nullptr, ID_LOG, 0, "t");
    ui_list_ensure_visible(nullptr, ID_LOG, 0);
    ui_list_set_colours(nullptr, ID_LOG, 0, nullptr);
    ui_list_add_column(nullptr, ID_LOG, "", 566);
    ui_append_system_menu(nullptr, 1, "t");
    ui_enable_system_menu(nullptr, 1, 0);
    ui_set_timer(nullptr, 1, 10);
    ui_kill_timer(nullptr, 1);
    ui_move_child(nullptr, 0, 0, 0, 1, 1);
    ui_redraw(nullptr);
    ui_client_size(nullptr, &x, nullptr);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(ui_dialog_alive(nullptr) + ui_dialog_id(nullptr) + ui_is_enabled(nullptr, ID_PORT) +
                  ui_is_checked(nullptr, 1010) + ui_focus_id(nullptr) + ui_combo_count(nullptr, ID_PORT) +
                  ui_list_count(nullptr, ID_LOG) + ui_child_count(nullptr) + ui_text_length(nullptr, ID_PORT) +
                  ui_get_text(nullptr, ID_PORT, buf, 8),
              0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(ui_combo_add(nullptr, ID_PORT, "t", 1), -1);
    EXPECT_EQ(ui_list_insert(nullptr, ID_LOG, 0), -1);
    EXPECT_EQ(ui_combo_item(nullptr, ID_PORT, 0, buf, 8), -1);
    EXPECT_EQ(ui_child_rect(nullptr, 0, &x, &x, &x, &x), 0);
}

TEST(UiContract, MessageBoxesGiveTheAnswerPressed) {
    const struct {
        uint32_t style;
        int answer;
    } cases[] = {
        {UI_MB_OK, UI_ANSWER_OK},
        {UI_MB_YESNO, UI_ANSWER_YES},
        {UI_MB_YESNO | UI_MB_ICONERROR, UI_ANSWER_NO},
    };
    for (const auto& c : cases)
        EXPECT_EQ(host_message_box(nullptr, "Target is still connected", "Exit", c.style, c.answer), c.answer);

    // Owned by a running dialog, which lives on behind it.
    Script s;
    s.body = [](UiWindow* w) {
        EXPECT_EQ(host_message_box(w, "Disconnect and exit?", "Exit", UI_MB_YESNO, UI_ANSWER_NO), UI_ANSWER_NO);
        EXPECT_EQ(ui_dialog_alive(w), 1);
    };
    EXPECT_EQ(run(MAIN_DIALOG, s), 99);
}

// A handler that waits like the link, dispatching events, while a posted command
// ends the dialog under it; the pin panel, nested in the main dialog, ends from
// inside its own timer tick. Nothing may be used after it is gone (run under ASan).
TEST(UiContract, DialogEndedInsideANestedWait) {
    int after_wait = 0;
    Script s;
    s.end_after_body = false;
    s.body = [](UiWindow* w) { ui_post_syscommand(w, SYSCMD_PIN_PANEL); };
    s.on_message = [&](UiWindow* w, const UiMessage& m) {
        if (ui_dialog_id(w) == PIN_PANEL_DIALOG.id) {
            if (m.kind == UI_INIT) ui_set_timer(w, 1, 5);
            if (m.kind == UI_TIMER) {
                ui_post_command(w, UI_IDCANCEL);
                wait_for_end(w);
                ui_set_check(w, 1010, 1);  // still memory, just no longer running
                ui_kill_timer(w, 1);
                ++after_wait;
            }
            if (m.kind == UI_COMMAND && m.id == UI_IDCANCEL) ui_end_dialog(w, 2);
            return;
        }
        if (m.kind == UI_SYSCOMMAND && m.id == SYSCMD_PIN_PANEL) {
            EXPECT_EQ(host_run_dialog(&PIN_PANEL_DIALOG, w, script_proc), 2);
            ui_post_command(w, ID_CONNECT);
        }
        if (m.kind == UI_COMMAND && m.id == ID_CONNECT) {
            ui_post_command(w, UI_IDCANCEL);
            wait_for_end(w);
            ui_set_text(w, ID_COMMAND, "after");
            ui_set_timer(w, 7, 1);
            ui_list_insert(w, ID_LOG, 0);
            ui_post_command(w, 4242);
            ++after_wait;
        }
        if (m.kind == UI_COMMAND && m.id == UI_IDCANCEL && ui_dialog_id(w) == MAIN_DIALOG.id) ui_end_dialog(w, 7);
    };
    EXPECT_EQ(run(MAIN_DIALOG, s), 7);
    EXPECT_EQ(after_wait, 2);
    EXPECT_EQ(count_of(s.log, UI_COMMAND, 4242), 0);
    EXPECT_EQ(count_of(s.log, UI_TIMER, 7), 0);
}

}  // namespace
