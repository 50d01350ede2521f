// The log's own commands through the fake ui: the saved file's format, times shown
// and remembered, Clear Log, and a save that fails.
#include <climits>
#include <cstring>
#include <ctime>
#include <map>
#include <thread>

#include "console/journal.h"
#include "console/log_view.h"
#include "platform/ports.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "tests/unit/console_fixture.h"

namespace {

// 2024-03-05 14:07:09.042 local time, then a quarter second later at each row.
int64_t g_clock_ms = 0, g_clock_step_ms = 250;
int64_t fake_clock() {
    int64_t now = g_clock_ms;
    g_clock_ms += g_clock_step_ms;
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
        g_clock_step_ms = 250;
        session.log.clock = fake_clock;
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
    // What the list is handed for the row, as it would draw it.
    static std::string shown(UiWindow* w, int row) {
        int n = 0;
        const char* text = w->list_rows->text(w, row, &n);
        return std::string(text, static_cast<size_t>(n));
    }
    static std::string tip(UiWindow* w, int row, int text_px, int column_px) {
        int n = 0;
        const char* text = w->list_rows->tip(w, row, text_px, column_px, &n);
        return std::string(text, static_cast<size_t>(n));
    }
};
using LogViewFlagTest = WithFlag<LogViewTest>;
INSTANTIATE_TEST_SUITE_P(Each, LogViewFlagTest, ::testing::Bool());

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
        EXPECT_EQ(LOG_MENU[0].command, UI_MENU_WINDOW + SYSCMD_MONITOR);
        EXPECT_EQ(w->menu_keys,
                  (std::map<int, char>{{SYSCMD_REPORT, 'R'}, {SYSCMD_PIN_PANEL, 'L'}, {SYSCMD_MONITOR, 'M'}}));
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
        log_append(w, "a", LOG_NOTE);
        EXPECT_EQ(shown(w, 0), "a");  // hidden until asked for
        command(w, ID_LOG_SHOW_TIMES);
        EXPECT_EQ(shown(w, 0), "14:07:09.042  a");
        EXPECT_EQ(fake_control(w, ID_LOG).changes, 1);  // the list asks again
        EXPECT_EQ(w->list_checked.count(ID_LOG_SHOW_TIMES), 1u);
        EXPECT_EQ(tip(w, 0, 10, 500), "2024-03-05 14:07:09.042");

        command(w, ID_LOG_CLEAR);
        EXPECT_TRUE(rows(w).empty());
        EXPECT_EQ(fake_control(w, ID_LOG).rows_known, 0);
        EXPECT_EQ(log_row_time(w, 0), 0);
        EXPECT_EQ(shown(w, 0), "");
        log_append(w, "b", LOG_REPLY);
        EXPECT_EQ(log_row_kind(w, 0), LOG_REPLY);
        EXPECT_EQ(shown(w, 0), "14:07:09.292  b");
        ui_end_dialog(w, 0);
    });
    EXPECT_NE(read_ini().find("[Log]"), std::string::npos);
    run([&](UiWindow* w) {
        EXPECT_EQ(session.log.rows.show_times, 1);  // shown again after a restart
        EXPECT_EQ(w->list_checked.count(ID_LOG_SHOW_TIMES), 1u);
        command(w, ID_LOG_SHOW_TIMES);
        EXPECT_EQ(session.log.rows.show_times, 0);
        EXPECT_EQ(w->list_checked.count(ID_LOG_SHOW_TIMES), 0u);
    });
}

// Copy takes the selected rows as shown, one a line; Select All takes every row.
TEST_F(LogViewTest, CopyAndSelectAll) {
    const std::string eol = profile_line_end();
    run([&](UiWindow* w) {
        for (const char* text : {"a", "b\xff", "c"}) log_append(w, text, LOG_NOTE);
        command(w, ID_LOG_COPY);  // nothing selected: the clipboard stays
        EXPECT_EQ(fake_ui().clipboard, "");
        fake_control(w, ID_LOG).selected = {2, 0};
        command(w, ID_LOG_COPY);
        EXPECT_EQ(fake_ui().clipboard, "a" + eol + "c");
        command(w, ID_LOG_SELECT_ALL);
        command(w, ID_LOG_SHOW_TIMES);
        command(w, ID_LOG_COPY);
        EXPECT_EQ(fake_ui().clipboard, "14:07:09.042  a" + eol + "14:07:09.292  b\xff" + eol + "14:07:09.542  c");
    });
}

// A tip adds the whole row only when the row is cut, in lines that split no character.
TEST(LogModel, TipsWrapCutRows) {
    LogModel m;
    const std::string utf8 = std::string(99, 'x') + "\xc3\xa9" + "yz";  // the e-acute straddles byte 100
    log_model_insert(&m, 0, "short", LOG_REPLY, 0);
    log_model_insert(&m, 1, utf8.c_str(), LOG_REPLY, 0);
    log_model_insert(&m, 2, std::string(250, 'W').c_str(), LOG_REPLY, 0);
    const struct {
        int row, text_px, column_px;
        std::string tip;
    } cases[] = {
        {0, 100, 200, ""},
        {0, 188, 200, ""},                       // inside the list's own margin
        {0, 189, 200, "short"},                  // into it: maybe cut
        {1, 900, 200, std::string(99, 'x') + "\n\xc3\xa9yz"},
        {2, 900, 200, std::string(100, 'W') + "\n" + std::string(100, 'W') + "\n" + std::string(50, 'W')},
        {3, 900, 200, ""},                       // no such row
    };
    for (const auto& c : cases) {
        std::string tip;
        log_model_tip(m, c.row, c.text_px, c.column_px, "\n", &tip);
        EXPECT_EQ(tip, c.tip) << c.row << " " << c.text_px;
    }
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

// The journal is kept only when asked for. Then every row reaches the file of its day
// and port as it is added, naming the port, and old days go; turned off it writes
// nothing, and the choice is kept.
TEST_F(LogViewTest, JournalKeepsEveryRowAsItIsAdded) {
    const std::string log = dir_ + "/log/", today = log + "zorvtalk-2024-03-05-COM3.log";
    std::filesystem::create_directories(log);
    for (const char* name : {"zorvtalk-2024-02-03-COM1.log", "zorvtalk-2024-02-03.log", "zorvtalk-2024-02-04.log",
                             "zorvtalk-2024-2-03.log", "zorvtalk-2024-02-03-.log", "notes.log"})
        std::ofstream(log + name) << "old\n";
    const std::string eol = profile_line_end();
    run([&](UiWindow* w) {
        EXPECT_EQ(w->list_checked.count(ID_LOG_KEEP_FILES), 0u);  // off by default
        connect(w);
        type(w, "x");
        EXPECT_FALSE(std::filesystem::exists(today));
        command(w, ID_LOG_KEEP_FILES);
        EXPECT_EQ(w->list_checked.count(ID_LOG_KEEP_FILES), 1u);
        EXPECT_EQ(notes(w).back(), "(log files kept in " + dir_ + "/log, one a day and port)");
        type(w, "y");
        // Written before the window ends: a kill now loses nothing.
        EXPECT_EQ(read_file(today), "2024-03-05 14:07:09.792 COM3 # (log files kept in " + dir_ +
                                        "/log, one a day and port)" + eol + "2024-03-05 14:07:10.042 COM3 > y" + eol +
                                        "2024-03-05 14:07:10.292 COM3 < ok" + eol);
        command(w, ID_LOG_KEEP_FILES);
        EXPECT_EQ(notes(w).back(), "(log files no longer kept)");
        type(w, "z");
    });
    EXPECT_EQ(read_file(today).find("> z"), std::string::npos);
    EXPECT_NE(read_ini().find("Journal=0"), std::string::npos);
    for (const char* gone : {"zorvtalk-2024-02-03-COM1.log", "zorvtalk-2024-02-03.log"})  // 31 days old
        EXPECT_FALSE(std::filesystem::exists(log + gone)) << gone;
    for (const char* kept : {"zorvtalk-2024-02-04.log", "zorvtalk-2024-2-03.log", "zorvtalk-2024-02-03-.log", "notes.log"})
        EXPECT_TRUE(std::filesystem::exists(log + kept)) << kept;
    run([&](UiWindow* w) { EXPECT_EQ(w->list_checked.count(ID_LOG_KEEP_FILES), 0u); });
}

// The journal keeps the window's order, and its times never run backwards: a reply put
// in above a Disconnect's note, and the outcome of a command that an Exit ended.
TEST_P(LogViewFlagTest, JournalKeepsTheWindowsOrder) {
    const bool exit = GetParam();  // else a Disconnect
    const std::string path = dir_ + "/log/zorvtalk-2024-03-05-COM3.log";
    write_ini("[Log]\nJournal=1\n");
    run([&](UiWindow* w) {
        connect(w);
        hold_replies = true;
        fake_ui().answers = {UI_ANSWER_YES};
        fake_ui().on_dispatch = [&] {
            fake_ui().on_dispatch = nullptr;
            fake_ui_click(w, exit ? UI_IDCANCEL : ID_CONNECT);
        };
        type(w, "run");
    });
    std::string text = read_file(path);
    std::vector<std::string> kinds;
    std::string last_time;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string row = text.substr(at, end - at);
        EXPECT_GE(row.substr(11, 12), last_time) << row;
        last_time = row.substr(11, 12);
        EXPECT_EQ(row.substr(24, 5), "COM3 ") << row;
        kinds.push_back(row.substr(29, 1));
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"#", ">", "!", "#"})) << text;
    EXPECT_NE(text.find("! (no reply: "), std::string::npos) << text;
}

// Rows that come thick and fast go in batches: written with a later row or by the
// window's timer, never lost.
TEST_F(LogViewTest, JournalBatchesRowsThatComeFast) {
    const std::string path = dir_ + "/log/zorvtalk-2024-03-05.log";
    const size_t row = 29 + std::strlen(profile_line_end());  // "<date> <time> - # a"
    g_clock_step_ms = 1;
    write_ini("[Log]\nJournal=1\n");
    run([&](UiWindow* w) {
        for (const char* text : {"a", "b", "c"}) log_append(w, text, LOG_NOTE);
        EXPECT_EQ(read_file(path).size(), row);  // the first at once
        ASSERT_EQ(w->timers.count(JOURNAL_TIMER), 1u);
        fake_ui_fire_timers();
        EXPECT_EQ(read_file(path).size(), 3 * row);
        EXPECT_EQ(w->timers.count(JOURNAL_TIMER), 0u);
        log_append(w, "d", LOG_NOTE);
        g_clock_ms += JOURNAL_BATCH_MS;
        log_append(w, "e", LOG_NOTE);  // takes d along
        EXPECT_EQ(read_file(path).size(), 5 * row);
        log_append(w, "f", LOG_NOTE);
    });
    EXPECT_EQ(read_file(path).size(), 6 * row);  // the rest at the end
}

// A session past midnight goes on in the new day's file.
TEST_F(LogViewTest, JournalTurnsToTheNextDaysFileAtMidnight) {
    std::tm t = {};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 6;
    t.tm_isdst = -1;
    g_clock_ms = static_cast<int64_t>(std::mktime(&t)) * 1000 - 300;
    write_ini("[Log]\nJournal=1\n");
    run([&](UiWindow* w) {
        for (const char* text : {"a", "b", "c"}) log_append(w, text, LOG_NOTE);
    });
    const std::string eol = profile_line_end();
    EXPECT_EQ(read_file(dir_ + "/log/zorvtalk-2024-03-05.log"),
              "2024-03-05 23:59:59.700 - # a" + eol + "2024-03-05 23:59:59.950 - # b" + eol);
    EXPECT_EQ(read_file(dir_ + "/log/zorvtalk-2024-03-06.log"), "2024-03-06 00:00:00.200 - # c" + eol);
}

// Windows appending to one file at once: each line lands whole.
TEST_F(LogViewTest, JournalLinesOfTwoWritersNeverInterleave) {
    const std::string path = dir_ + "/shared.log";
    auto writer = [&](char c) {
        PlatformFile* f = file_open_append(path.c_str());
        const std::string line = std::string(200, c) + "\n";
        for (int i = 0; i < 2000; ++i) file_append(f, line.data(), static_cast<int>(line.size()));
        file_close(f);
    };
    std::thread one(writer, 'x'), two(writer, 'y');
    one.join();
    two.join();
    std::ifstream in(path, std::ios::binary);
    int lines = 0;
    for (std::string line; std::getline(in, line); ++lines)
        ASSERT_TRUE(line == std::string(200, 'x') || line == std::string(200, 'y')) << "line " << lines;
    EXPECT_EQ(lines, 4000);
}

// A journal that cannot be written says why in one note row, and the window goes on.
TEST_F(LogViewTest, AnUnwritableJournalIsNotedOnce) {
    std::ofstream(dir_ + "/log") << "a file where the folder would be";
    write_ini("[Log]\nJournal=1\n");
    run([&](UiWindow* w) {
        connect(w);
        type(w, "x");
        type(w, "y");
        std::vector<std::string> r = all_rows(w);
        r.erase(r.begin());  // the connect note
        ASSERT_EQ(r.size(), 5u);
        // The connect note is the first row the journal fails on; the note follows it.
        EXPECT_EQ(r[0].rfind("(log file not kept: " + dir_ + "/log/zorvtalk-2024-03-05-COM3.log: ", 0), 0u) << r[0];
        EXPECT_EQ(log_row_kind(w, 1), LOG_NOTE);
        EXPECT_EQ(r[4], "ok");
    });
}

TEST_F(LogViewTest, JournalFileNamesFromPorts) {
    const std::pair<const char*, const char*> cases[] = {{"COM3", "COM3"}, {"/dev/ttyUSB0", "dev_ttyUSB0"},
                                                         {"rfc2217://host:2000", "rfc2217_host_2000"},
                                                         {"-", ""}, {"", ""}, {"../..", ".._.."}};
    for (const auto& c : cases) EXPECT_EQ(journal_file_part(c.first), c.second) << c.first;
}

TEST_F(LogViewTest, JournalDayNumbers) {
    EXPECT_EQ(journal_day_number("1970-01-01"), 0);
    EXPECT_EQ(journal_day_number("2024-03-05") - journal_day_number("2024-02-04"), 30);
    EXPECT_EQ(journal_day_number("2025-01-01") - journal_day_number("2024-01-01"), 366);
    for (const char* bad : {"2024-3-05", "2024-13-01", "2024-03-0x", "2024/03/05", ""})
        EXPECT_EQ(journal_day_number(bad), INT_MIN) << bad;
}

// A save never takes over a file of the user's that bears the ".tmp" name; a Save Log
// killed mid-way leaves its own temporary, which the next start removes, and only that.
TEST_F(LogViewTest, SaveLogTemporariesAreItsOwn) {
    const std::string target = dir_ + "/session.log", users = target + ".tmp";
    std::ofstream(users) << "the user's own file";
    run([&](UiWindow* w) {
        log_append(w, "a", LOG_NOTE);
        fake_ui().chosen_files = {target};
        command(w, ID_LOG_SAVE);
    });
    EXPECT_EQ(read_file(users), "the user's own file");
    EXPECT_NE(read_file(target).find("# a"), std::string::npos);
    EXPECT_EQ(read_ini().find("Saving=" + dir_), std::string::npos);
    struct Case {
        std::string noted;
        bool removed;
    } cases[] = {
        {target + ".zorvtalk-99999999-3.tmp", true},  // a killed save's
        {users, false},                               // not a name the program makes
        {target + ".zorvtalk-x-3.tmp", false},
    };
    for (const Case& c : cases) {
        std::ofstream(c.noted) << "half a log";
        write_ini("[Log]\nSaving=" + c.noted + "\n");
        run([&](UiWindow*) {});
        EXPECT_EQ(std::filesystem::exists(c.noted), !c.removed) << c.noted;
        EXPECT_EQ(read_ini().find("Saving=" + dir_), std::string::npos) << c.noted;
    }
}

}  // namespace
