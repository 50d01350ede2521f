// Command files: the byte rules of the line reader, and runs through the window.
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "console/script_runner.h"
#include "tests/unit/console_fixture.h"

namespace {

std::vector<std::string> read_lines(const std::string& bytes) {
    LineReader r;
    line_reader_init(&r);
    std::vector<std::string> out;
    for (unsigned char b : bytes)
        if (line_reader_feed(&r, b)) out.push_back(r.line);
    if (line_reader_finish(&r)) out.push_back(r.line);
    return out;
}

using Lines = std::vector<std::string>;

TEST(LineReader, ByteRules) {
    const std::string skip16 = "0123456789abcdef";
    const struct {
        const char* name;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"CR", "A\rB\r", {"A", "B"}},
        {"CR LF", "A\r\nB\r\n", {"A", "B"}},
        {"LF alone", "A\nB\n", {"A", "B"}},
        {"mixed", "A\nB\r\nC\rD", {"A", "B", "C", "D"}},
        {"empty lines", "A\r\n\r\nB\r\n", {"A", "", "B"}},
        {"LF LF", "A\n\nB", {"A", "", "B"}},
        {"LF CR is two ends", "A\n\rB", {"A", "", "B"}},
        {"trailing empty lines", "A\r\n\r\n\r\n", {"A", "", ""}},
        {"final line without end", "A\rB", {"A", "B"}},
        {"NUL after characters dropped", std::string("X\0Y\r", 4), {"XY"}},
        {"skip block", std::string("\0", 1) + skip16 + "CMD\r", {"CMD"}},
        {"skip block of CRs", std::string("\0", 1) + std::string(16, '\r') + "CMD\r", {"CMD"}},
        {"skip block with NULs", std::string("\0", 1) + std::string(16, '\0') + "CMD\r", {"CMD"}},
        {"TAB then NUL skips", std::string("\t\0ABC\r", 6), {}},
        {"control bytes dropped", "a\x01\x1f\x7f\tb\r", {"a\x7f" "b"}},
        {"high bytes kept", "\x80\xff\xa0\r", {"\x80\xff\xa0"}},
        {"255 cut", std::string(300, 'A') + "\rB\r", {std::string(255, 'A'), "B"}},
        {"empty file", "", {}},
        {"only a skip block", std::string("\0", 1) + skip16, {}},
        {"unfinished skip block", std::string("\0abc", 4), {}},
        {"only blanks kept", "   \r", {"   "}},
    };
    for (const auto& c : cases) EXPECT_EQ(read_lines(c.bytes), c.lines) << c.name;
}

class ScriptTest : public ConsoleTest {
protected:
    std::string write_file(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        files_.push_back(path);
        return path;
    }
    void TearDown() override {
        for (auto& f : files_) std::remove(f.c_str());
        ConsoleTest::TearDown();
    }
    std::vector<std::string> files_;
};

TEST_F(ScriptTest, SendFileRunsEachLineAfterThePreviousReply) {
    // The second line is longer than a command line holds: cut, and a note says so.
    const std::string two(255, 't');
    std::string path = write_file("cmds", "one\n" + two + "tail\r\nthree");
    std::vector<size_t> lines_when_replied;
    answer = [&](const std::string& line) {
        lines_when_replied.push_back(lines.size());
        return "re:" + line;
    };
    run([&](UiWindow* w) {
        connect(w);
        fake_ui().chosen_files = {path};
        fake_ui_click(w, ID_SEND_FILE);
        EXPECT_EQ(fake_ui().chooser_titles.back(), "Choose File to Execute");
        EXPECT_EQ(rows(w), (Lines{"one", "re:one", two, "re:" + two, "three", "re:three"}));
        EXPECT_EQ(notes(w).back(), "line 2 cut to 255 characters");
        EXPECT_TRUE(fake_control(w, ID_CONNECT).enabled);
        EXPECT_TRUE(fake_control(w, ID_SEND_FILE).enabled);
        EXPECT_TRUE(fake_control(w, ID_COMMAND).enabled);
        EXPECT_EQ(w->focus, ID_COMMAND);
        // Cancel runs nothing and says nothing.
        size_t notes_before = notes(w).size();
        fake_ui().chosen_files = {""};
        fake_ui_click(w, ID_SEND_FILE);
        EXPECT_EQ(rows(w).size(), 6u);
        EXPECT_EQ(notes(w).size(), notes_before);
        EXPECT_TRUE(fake_ui().boxes.empty());
        EXPECT_TRUE(fake_control(w, ID_SEND_FILE).enabled);
    });
    EXPECT_EQ(lines, (Lines{"A", "one", two, "three"}));
    EXPECT_EQ(lines_when_replied, (std::vector<size_t>{2, 3, 4}));
}

// A control disabled while it has the focus hands the focus on; it must never come
// to rest on Disconnect, where a Space typed during the wait would end the connection.
TEST_F(ScriptTest, TheLogHoldsTheFocusWhileACommandOrAFileWaits) {
    std::string path = write_file("cmds", "one\n");
    run([&](UiWindow* w) {
        connect(w);
        hold_replies = true;
        for (int from : {ID_COMMAND, ID_SEND_FILE}) {
            std::vector<int> focus_in_wait;
            fake_ui().on_dispatch = [&]() {
                focus_in_wait.push_back(w->focus);
                if (focus_in_wait.size() > 1) return;
                fake_ui_click(w, UI_IDOK);  // typed ahead: no About box
                fake_push("ok\r");
            };
            ui_set_focus(w, from);
            fake_ui_type(w, ID_COMMAND, "one");
            fake_ui().chosen_files = {path};
            fake_ui_click(w, from == ID_COMMAND ? UI_IDOK : ID_SEND_FILE);
            fake_ui().on_dispatch = nullptr;
            ASSERT_FALSE(focus_in_wait.empty());
            EXPECT_EQ(focus_in_wait.back(), ID_LOG) << from;
            EXPECT_EQ(w->focus, ID_COMMAND) << from;
            EXPECT_TRUE(fake_ui().boxes.empty()) << from;
        }
    });
}

TEST_F(ScriptTest, SendFileThatRunsNothingSaysWhy) {
    struct Case {
        std::string path, note;
    };
    std::vector<Case> cases = {
        {dir_ + "/missing", "command file not run: cannot open " + dir_ + "/missing: " + std::strerror(ENOENT)},
        {write_file("empty", ""), "command file " + dir_ + "/empty ran no command: it is empty"},
        {write_file("controls", "\x01\t\x02"), "command file " + dir_ + "/controls ran no command: it holds no command line"},
    };
#ifndef _WIN32
    cases.push_back({dir_, "command file not run: cannot open " + dir_ + ": " + std::strerror(EISDIR)});
#endif
    run([&](UiWindow* w) {
        connect(w);
        for (const Case& c : cases) {
            fake_ui().chosen_files = {c.path};
            fake_ui_click(w, ID_SEND_FILE);
            EXPECT_EQ(notes(w).back(), c.note);
            EXPECT_TRUE(fake_control(w, ID_SEND_FILE).enabled);
        }
        EXPECT_TRUE(rows(w).empty());
        EXPECT_TRUE(fake_ui().boxes.empty());
    });
}

#ifndef _WIN32
// A startup file that never ends a line, or a FIFO whose writer is silent, keeps the
// window live: Disconnect ends the run. A FIFO with no writer reads as empty at once.
TEST_F(ScriptTest, EndlessStartupFilesNeverHoldTheWindow) {
    std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        bool writer;
        const char* note;  // nullptr: the run ends by itself, quietly
    } cases[] = {
        {"/dev/zero", false, "(command file ended before its first line: disconnected)"},
        {fifo, true, "(command file ended before its first line: disconnected)"},
        {fifo, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        int writer = c.writer ? open(fifo.c_str(), O_RDWR | O_NONBLOCK) : -1;
        write_ini("[Connection]\nStartup=" + c.path + "\n");
        run([&](UiWindow* w) {
            int looks = 0;
            fake_ui().on_dispatch = [&] {
                if (session.file_running && ++looks == 5) fake_ui_click(w, ID_CONNECT);
            };
            connect(w);
            fake_ui().on_dispatch = nullptr;
            EXPECT_EQ(session.file_running, 0);
            EXPECT_EQ(session.connected, c.note ? 0 : 1);
            if (c.note) {
                EXPECT_EQ(notes(w).back(), c.note);
            }
            EXPECT_TRUE(rows(w).empty());
        });
        if (writer >= 0) close(writer);
        link_close(&session.link);
        session = Session{};
    }
}
#endif

TEST_F(ScriptTest, StartupFileRunsAfterEveryConnect) {
    std::string path = write_file("startup", "init\r");
    write_ini("[Connection]\nStartup=" + path + "\n");
    run([&](UiWindow* w) {
        connect(w);
        fake_ui_click(w, ID_CONNECT);
        fake_ui_click(w, ID_CONNECT);
        EXPECT_EQ(rows(w), (Lines{"init", "ok", "init", "ok"}));
        EXPECT_EQ(w->focus, ID_COMMAND);
    });
}

TEST_F(ScriptTest, ChooseStartupFile) {
    run([&](UiWindow* w) {
        fake_ui_type(w, ID_STARTUP, "old.cmd");
        fake_ui().chosen_files = {"/x/new.cmd", ""};
        fake_ui_click(w, ID_CHOOSE_STARTUP);
        EXPECT_EQ(fake_ui().chooser_titles.back(), "Choose Startup File");
        EXPECT_EQ(fake_ui().chooser_initial.back(), "old.cmd");
        EXPECT_EQ(fake_control(w, ID_STARTUP).text, "/x/new.cmd");
        fake_ui_click(w, ID_CHOOSE_STARTUP);  // cancelled: unchanged
        EXPECT_EQ(fake_control(w, ID_STARTUP).text, "/x/new.cmd");
    });
}

TEST_F(ScriptTest, StopDuringALineAndTheRestStillRuns) {
    std::string path = write_file("ten", "l1\rl2\rl3\rl4\rl5\r");
    hold_replies = true;
    run([&](UiWindow* w) {
        connect(w);
        hold_replies = true;
        fake_ui().on_dispatch = [&] {
            if (lines.size() == 4 && controls.empty()) {  // l3 is running
                EXPECT_TRUE(fake_control(w, ID_STOP).enabled);
                EXPECT_TRUE(fake_control(w, ID_CONNECT).enabled);  // Disconnect is the way out
                EXPECT_FALSE(fake_control(w, ID_SEND_FILE).enabled);
                fake_ui_click(w, ID_STOP);
                fake_push("stopped\r");
            } else if (fake_serial().input.empty()) {
                fake_push("ok\r");
            }
        };
        fake_ui().chosen_files = {path};
        fake_ui_click(w, ID_SEND_FILE);
        fake_ui().on_dispatch = nullptr;
        EXPECT_EQ(rows(w), (Lines{"l1", "ok", "l2", "ok", "l3", "stopped", "l4", "ok", "l5", "ok"}));
    });
    EXPECT_EQ(controls, std::vector<uint8_t>{CTRL_STOP});
}

// The title shows where a file is; Stop Command File ends it after the running line.
TEST_F(ScriptTest, ProgressInTheTitleAndStoppingTheFile) {
    std::string path = write_file("five.cmd", "l1\r\nl2\r\nl3\nl4\nl5");
    std::vector<std::string> titles;
    run([&](UiWindow* w) {
        connect(w, "COM5", "115200");
        fake_ui().on_dispatch = [&] {
            if (titles.empty() || titles.back() != w->title) titles.push_back(w->title);
            EXPECT_TRUE(w->menu_disabled.count(SYSCMD_STOP_FILE) == 0);
            if (lines.size() == 4) fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_STOP_FILE, 0, 0, 0});  // l3 runs
        };
        hold_replies = true;
        fake_serial().on_time = [&](uint64_t) {
            if (fake_serial().input.empty()) fake_push(controls.empty() ? "ok\r" : "stopped\r");
        };
        fake_ui().chosen_files = {path};
        fake_ui_click(w, ID_SEND_FILE);
        fake_ui().on_dispatch = nullptr;
        EXPECT_EQ(rows(w), (Lines{"l1", "ok", "l2", "ok", "l3", "stopped"}));
        EXPECT_EQ(notes(w).back(), "(command file stopped at line 3 of 5)");
        EXPECT_EQ(w->title, "ZORVTalk - COM5: 115200");
        EXPECT_EQ(w->menu_disabled, std::set<int>{SYSCMD_STOP_FILE});
        EXPECT_TRUE(fake_control(w, ID_COMMAND).enabled);
    });
    EXPECT_EQ(titles, (Lines{"ZORVTalk - COM5: 115200 - five.cmd (line 1 of 5)",
                             "ZORVTalk - COM5: 115200 - five.cmd (line 2 of 5)",
                             "ZORVTalk - COM5: 115200 - five.cmd (line 3 of 5)"}));
    EXPECT_EQ(controls, std::vector<uint8_t>{CTRL_STOP});
}

// [Files] StopOnReply ends a file after the line whose reply matches; a bad
// expression runs nothing.
TEST_F(ScriptTest, StopOnReplyEndsTheFileAfterAMatchingReply) {
    std::string path = write_file("four", "a\rERR 3\rb\rc");
    answer = [&](const std::string& line) { return line; };
    const struct {
        const char* ini;
        Lines rows;
    } cases[] = {
        {"", {"a", "a", "ERR 3", "ERR 3", "b", "b", "c", "c"}},
        {"[Files]\nStopOnReply=^ERR [0-9]+$\n",
         {"a", "a", "ERR 3", "ERR 3", "command file stopped at line 2 of 4: reply \"ERR 3\" matches StopOnReply"}},
        {"[Files]\nStopOnReply=^E(RR\n",
         {"command file not run: StopOnReply: bad regular expression '^E(RR': "
          "unmatched '(': a group is not closed with ')'"}},
    };
    for (const auto& c : cases) {
        write_ini(c.ini);
        run([&](UiWindow* w) {
            connect(w);
            fake_ui().chosen_files = {path};
            fake_ui_click(w, ID_SEND_FILE);
            // The connect note heads the log.
            Lines all = all_rows(w);
            EXPECT_EQ(Lines(all.begin() + 1, all.end()), c.rows);
            EXPECT_TRUE(fake_control(w, ID_SEND_FILE).enabled);
        });
    }
}

TEST_F(ScriptTest, LostPortEndsTheRunAndShowsDisconnected) {
    std::string path = write_file("many", "a\rb\rc\rd\r");
    answer = [&](const std::string& line) {
        if (line == "b") fake_serial().lost = true;
        return std::string("ok");
    };
    run([&](UiWindow* w) {
        connect(w);
        uint64_t before = fake_serial().now_ms;
        fake_ui().chosen_files = {path};
        fake_ui_click(w, ID_SEND_FILE);
        EXPECT_EQ(rows(w), (Lines{"a", "ok", "b", "(no reply: port lost)", "(port lost: COM3)"}));
        EXPECT_EQ(notes(w).back(), "command file ended at line 2 of 4: port lost");
        EXPECT_LT(fake_serial().now_ms - before, 100u);
        EXPECT_EQ(session.connected, 0);
        EXPECT_EQ(w->title, "ZORVTalk");
        EXPECT_EQ(fake_control(w, ID_CONNECT).text, "Connect");
        EXPECT_TRUE(fake_control(w, ID_PORT).enabled);
        EXPECT_FALSE(fake_control(w, ID_SEND_FILE).enabled);
    });
}

TEST_F(ScriptTest, DisconnectDuringARunNotesWhereItEnded) {
    std::string path = write_file("many", "a\rb\rc\rd\r");
    run([&](UiWindow* w) {
        connect(w);
        hold_replies = true;
        fake_ui().on_dispatch = [&] {
            if (lines.size() == 3 && session.connected)  // b is running
                fake_ui_click(w, ID_CONNECT);
            else if (fake_serial().input.empty())
                fake_push("ok\r");
        };
        fake_ui().chosen_files = {path};
        fake_ui_click(w, ID_SEND_FILE);
        fake_ui().on_dispatch = nullptr;
        EXPECT_EQ(notes(w).back(), "command file ended at line 2 of 4: disconnected");
    });
}

TEST_F(ScriptTest, ExitDuringARunEndsIt) {
    std::string path = write_file("long", "x1\rx2\rx3\r");
    run([&](UiWindow* w) {
        connect(w);
        hold_replies = true;
        fake_ui().on_dispatch = [&] {
            fake_ui().on_dispatch = nullptr;
            fake_ui_click(w, UI_IDCANCEL);
        };
        fake_ui().chosen_files = {path};
        fake_ui_click(w, ID_SEND_FILE);
        EXPECT_FALSE(ui_dialog_alive(w));
        EXPECT_EQ(rows(w), Lines{"x1"});
    });
    EXPECT_EQ(lines, (Lines{"A", "x1"}));
    EXPECT_EQ(session.file_running, 0);
    EXPECT_EQ(session.link, nullptr);
}

}  // namespace
