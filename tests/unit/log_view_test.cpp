// The log's own commands through the fake ui: the saved file's format, times shown
// and remembered, Clear Log, and a save that fails.
#include <ctime>
#include <map>

#include "console/log_view.h"
#include "platform/ports.h"
#include "platform/profile.h"
#include "tests/unit/console_fixture.h"

namespace {

// 2024-03-05 14:07:09.042 local time, then a quarter second later at each row.
int64_t g_clock_ms = 0;
int64_t fake_clock() {
    int64_t now = g_clock_ms;
    g_clock_ms += 250;
    return now;
}

class LogViewTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        std::tm t = {};
        t.tm_year = 2024 - 1900;
        t.tm_mon = 2;
        t.tm_mday = 5;
        t.tm_hour = 14;
        t.tm_min = 7;
        t.tm_sec = 9;
        t.tm_isdst = -1;
        g_clock_ms = static_cast<int64_t>(std::mktime(&t)) * 1000 + 42;
        log_set_clock(fake_clock);
    }
    void TearDown() override {
        log_set_clock(nullptr);
        ConsoleTest::TearDown();
    }
    static void command(UiWindow* w, int id) { fake_ui_send(w, UiMessage{UI_COMMAND, id, UI_CLICKED, 0, 0}); }
    static void type(UiWindow* w, const char* text) {
        w->focus = ID_COMMAND;
        fake_ui_type(w, ID_COMMAND, text);
        fake_ui_click(w, UI_IDOK);
    }
    static std::string read_file(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    static std::string prefix(UiWindow* w, int row) {
        char buf[64] = "";
        return w->prefix_of && w->prefix_of(row, buf, sizeof buf) > 0 ? buf : "";
    }
};

TEST_F(LogViewTest, SavedLogHasTimesMarkersAndTheRepliesBytes) {
    answer = [](const std::string& line) { return line == "fail" ? std::string("\x0b") : "caf\xe9 \xff" + line; };
    const std::string path = dir_ + "/session.log";
    run([&](UiWindow* w) {
        connect(w);
        type(w, "x");
        type(w, "fail");
        log_append(w, "(command file stopped at line 1 of 2)", LOG_NOTE);
        fake_ui().chosen_files = {path};
        command(w, ID_LOG_SAVE);
        EXPECT_EQ(fake_ui().chooser_titles.back(), "Save Log");
        EXPECT_TRUE(fake_ui().boxes.empty());
    });
    const std::string eol = profile_line_end();
    const std::string lf = "(no reply: reply began with byte 0x0B: \"\\x0b\")";
    char device[300] = "";
    ports_device_path(3, device, sizeof device);
    EXPECT_EQ(read_file(path), "2024-03-05 14:07:09.042 # connected to COM3 (" + std::string(device) +
                                   ") at 115200 baud" + eol +                               //
                                   "2024-03-05 14:07:09.292 > x" + eol +                    //
                                   "2024-03-05 14:07:09.542 < caf\xe9 \xffx" + eol +        //
                                   "2024-03-05 14:07:09.792 > fail" + eol +                 //
                                   "2024-03-05 14:07:10.042 ! " + lf + eol +                //
                                   "2024-03-05 14:07:10.292 # (command file stopped at line 1 of 2)" + eol);
}

// The window menu's tools head the log's menu; their keys clash with none of the log's
// own and are shown there.
TEST_F(LogViewTest, WindowMenuToolsAndTheirKeys) {
    run([&](UiWindow* w) {
        EXPECT_EQ(LOG_MENU[0].command, UI_MENU_WINDOW + SYSCMD_REPORT);
        EXPECT_EQ(w->menu_keys, (std::map<int, char>{{SYSCMD_REPORT, 'R'}, {SYSCMD_PIN_PANEL, 'L'}}));
        for (const UiMenuEntry& e : LOG_MENU) {
            auto k = w->menu_keys.find(e.command - UI_MENU_WINDOW);
            if (k != w->menu_keys.end()) {
                EXPECT_NE(std::string(e.text).find(std::string("\tCtrl+") + k->second), std::string::npos);
            }
            for (const auto& key : w->menu_keys) EXPECT_NE(e.key, key.second) << e.command;
        }
        ui_end_dialog(w, 0);
    });
}

TEST_F(LogViewTest, TimesShownAreRememberedAndClearEmptiesTheLog) {
    run([&](UiWindow* w) {
        EXPECT_EQ(w->list_menu, LOG_MENU);
        EXPECT_TRUE(w->tip_of != nullptr);
        EXPECT_EQ(w->prefix_of, nullptr);  // hidden until asked for
        log_append(w, "a", LOG_NOTE);
        command(w, ID_LOG_SHOW_TIMES);
        EXPECT_EQ(prefix(w, 0), "14:07:09.042  ");
        EXPECT_EQ(w->list_checked.count(ID_LOG_SHOW_TIMES), 1u);
        char tip[64] = "";
        w->tip_of(0, tip, sizeof tip);
        EXPECT_STREQ(tip, "2024-03-05 14:07:09.042");

        command(w, ID_LOG_CLEAR);
        EXPECT_TRUE(rows(w).empty());
        EXPECT_EQ(log_row_time(0), 0);
        EXPECT_EQ(prefix(w, 0), "");
        log_append(w, "b", LOG_REPLY);
        EXPECT_EQ(log_row_kind(0), LOG_REPLY);
        EXPECT_EQ(prefix(w, 0), "14:07:09.292  ");
        ui_end_dialog(w, 0);
    });
    EXPECT_NE(read_ini().find("[Log]"), std::string::npos);
    run([&](UiWindow* w) {
        EXPECT_TRUE(w->prefix_of != nullptr);  // shown again after a restart
        EXPECT_EQ(w->list_checked.count(ID_LOG_SHOW_TIMES), 1u);
        command(w, ID_LOG_SHOW_TIMES);
        EXPECT_EQ(w->prefix_of, nullptr);
        EXPECT_EQ(w->list_checked.count(ID_LOG_SHOW_TIMES), 0u);
    });
}

TEST_F(LogViewTest, AFailedSaveSaysWhyAndLeavesNoFile) {
    const std::string path = dir_ + "/no such folder/session.log";
    run([&](UiWindow* w) {
        log_append(w, "a", LOG_NOTE);
        fake_ui().chosen_files = {path, ""};
        command(w, ID_LOG_SAVE);
        ASSERT_EQ(fake_ui().boxes.size(), 1u);
        const FakeMessageBox& box = fake_ui().boxes[0];
        EXPECT_EQ(box.caption, "Save Log");
        EXPECT_EQ(box.style, UI_MB_OK | UI_MB_ICONERROR);
        EXPECT_NE(box.text.find(path), std::string::npos);
        EXPECT_GT(box.text.size(), box.text.find(path) + path.size() + 6) << box.text;  // and a reason
        command(w, ID_LOG_SAVE);  // cancelled: nothing said
        EXPECT_EQ(fake_ui().boxes.size(), 1u);
    });
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
