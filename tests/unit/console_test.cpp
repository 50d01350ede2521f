// The main window's logic through the fake ui: start-up, connecting, commands,
// Pause/Continue, Enter routing, exit, layout and the status report.
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>

#include "console/command_history.h"
#include "console/layout.h"
#include "console/log_view.h"
#include "console/port_list.h"
#include "platform/net/net_url.h"
#include "platform/ports.h"
#include "tests/unit/console_fixture.h"
#include "tools/status_report.h"

namespace {

TEST(ComNumberOfPath, WindowsDevicePathsNamingAPort) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"\\\\.\\COM5", 5}, {"\\\\?\\com12", 12}, {"//./COM255", 255}, {"\\\\.\\COM256", 0},
        {"\\\\.\\COM0", 0}, {"\\\\.\\COM05", 0}, {"\\\\.\\COM5x", 0}, {"\\\\.\\LPT1", 0},
        {"COM5", 0}, {"/dev/ttyS4", 0}, {"", 0}, {nullptr, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(com_number_of_path(c.text), c.value) << (c.text ? c.text : "(null)");
}

TEST(Layout, PlacesByHalves) {
    const int w0 = 800, h0 = 450;  // half = 225
    const struct {
        Rect designed;
        int w, h;
        Rect expected;
    } cases[] = {
        {{6, 6, 34, 24}, 900, 510, {56, 6, 34, 24}},        // top row: sideways by dw/2
        {{8, 38, 784, 374}, 900, 510, {8, 38, 884, 434}},   // log: grows
        {{8, 420, 490, 24}, 900, 510, {58, 480, 490, 24}},  // bottom row: sideways and down
        {{6, 6, 34, 24}, 901, 450, {56, 6, 34, 24}},        // odd widening: 50
        {{8, 420, 490, 24}, 500, 450, {8, 420, 490, 24}},   // narrower: nothing sideways
        {{8, 38, 784, 374}, 500, 100, {8, 38, 784, 149}},   // much shorter: clamped at -h0/2
        {{8, 420, 490, 24}, 800, 0, {8, 195, 490, 24}},
        {{0, 200, 10, 25}, 900, 550, {50, 200, 10, 25}},    // bottom edge on the half line: upper
        {{0, 225, 10, 25}, 900, 550, {50, 325, 10, 25}},    // top on the half line: lower
    };
    for (const auto& c : cases) {
        Rect r = layout_place(c.designed, w0, h0, c.w, c.h);
        EXPECT_EQ(r.x, c.expected.x);
        EXPECT_EQ(r.y, c.expected.y);
        EXPECT_EQ(r.width, c.expected.width);
        EXPECT_EQ(r.height, c.expected.height);
    }
}

// The smallest client: limited by the clamp (h0 - h0/2), by rows that would run into
// each other, by a stretching child that would vanish, and by the widest child.
TEST(Layout, MinimumSizeClipsNothing) {
    const struct {
        const char* what;
        std::vector<ChildLayout> children;  // on a 100 x 100 client, half = 50
        int width, height;
    } cases[] = {
        {"rows clear of each other: the clamp", {{1, 5, 5, 90, 10}, {2, 5, 20, 90, 70}, {3, 5, 92, 90, 3}}, 100, 50},
        {"a lower row meets an upper one", {{1, 5, 0, 50, 45}, {2, 5, 55, 50, 10}}, 60, 90},
        {"the stretching child keeps a pixel", {{1, 5, 45, 20, 10}}, 30, 91},
        {"overlapping as designed is allowed", {{1, 5, 5, 40, 30}, {2, 10, 10, 10, 10}, {3, 5, 60, 10, 10}}, 50, 75},
        {"a child past the edge asks no more", {{1, 60, 5, 50, 10}}, 100, 20},
    };
    for (const auto& c : cases) {
        std::vector<ChildLayout> layout{{0, 0, 0, 100, 100}};
        layout.insert(layout.end(), c.children.begin(), c.children.end());
        layout.push_back({-1, 0, 0, 0, 0});
        int w = -1, h = -1;
        layout_min_size(layout.data(), &w, &h);
        EXPECT_EQ(w, c.width) << c.what;
        EXPECT_EQ(h, c.height) << c.what;
    }
    int w = -1, h = -1;
    layout_min_size(nullptr, &w, &h);
    EXPECT_EQ(w + h, 0);
}

TEST_F(ConsoleTest, StartsDisconnectedWithListsAndMenu) {
    write_ini("[Ports]\nCOM7=/tmp/zorv-none-7\n[Connection]\nStartup=/tmp/x.cmd\n");
    run([&](UiWindow* w) {
        EXPECT_EQ(w->title, "ZORVTalk");
        EXPECT_EQ(fake_control(w, ID_BAUD).items.size(), 16u);
        EXPECT_EQ(fake_control(w, ID_BAUD).items.front(), "300");
        EXPECT_EQ(fake_control(w, ID_BAUD).text, "921600");
        auto& ports = fake_control(w, ID_PORT).items;
        EXPECT_NE(std::find(ports.begin(), ports.end(), "COM7 (/tmp/zorv-none-7)"), ports.end());
        EXPECT_EQ(fake_control(w, ID_STARTUP).text, "/tmp/x.cmd");
        EXPECT_EQ(w->focus, ID_CONNECT);
        EXPECT_FALSE(fake_control(w, ID_COMMAND).enabled);
        EXPECT_FALSE(fake_control(w, ID_SEND_FILE).enabled);
        EXPECT_FALSE(fake_control(w, ID_PAUSE).enabled);
        EXPECT_EQ(w->system_menu, (std::vector<std::pair<int, std::string>>{{0, "-"},
                                                                            {SYSCMD_REPORT, "ZORV &Report"},
                                                                            {0, "-"},
                                                                            {SYSCMD_PIN_PANEL, "ZORV as &LPT"},
                                                                            {0, "-"},
                                                                            {SYSCMD_ABOUT, "&About ZORVTalk"},
                                                                            {0, "-"},
                                                                            {SYSCMD_STOP_FILE, "Stop Command &File"},
                                                                            {0, "-"},
                                                                            {SYSCMD_MONITOR, "ZORV Status M&onitor"}}));
        EXPECT_EQ(w->menu_disabled, std::set<int>{SYSCMD_STOP_FILE});
        EXPECT_EQ(w->list_rows->colour(w, 0), 0x000000u);
        EXPECT_EQ(w->list_rows->colour(w, 1), 0x0000FFu);
        EXPECT_EQ(w->list_rows->colour(w, 2), 0x000000u);
        EXPECT_EQ(w->list_background, 0xFFFFFFu);
        // The designed width less a margin; the bottom row up by half the height.
        EXPECT_EQ(w->min_width, 798);
        EXPECT_EQ(w->min_height, 225);
    });
}

TEST_F(ConsoleTest, RestoresStoredPortAndBaud) {
    write_ini("[Connection]\nPort=-3\nBaud=115200\n");
    run([&](UiWindow* w) {
        EXPECT_EQ(fake_control(w, ID_PORT).text, "COM-3");
        EXPECT_EQ(fake_control(w, ID_BAUD).text, "115200");
    });
}

TEST_F(ConsoleTest, ConnectChecksTheTexts) {
    const struct {
        const char* port;
        const char* baud;
        const char* message;
    } cases[] = {
        {"", "9600", "Must choose Port and Baud."},
        {"COM3", "", "Must choose Port and Baud."},
        {"COM", "9600", "Must choose right Port and Baud."},
        {"COM0", "9600", "Must choose right Port and Baud."},
        {"COM3", "abc", "Must choose right Port and Baud."},
        {"COM99999999999", "9600", "Must choose right Port and Baud."},
    };
    for (const auto& c : cases) {
        fake_ui().boxes.clear();
        run([&](UiWindow* w) {
            connect(w, c.port, c.baud);
            ASSERT_EQ(fake_ui().boxes.size(), 1u) << c.port << "/" << c.baud;
            EXPECT_EQ(fake_ui().boxes[0].text, c.message);
            EXPECT_EQ(fake_ui().boxes[0].caption, "Connection error");
            EXPECT_EQ(fake_ui().boxes[0].style, UI_MB_OK | UI_MB_ICONERROR);
            EXPECT_EQ(session.connected, 0);
            EXPECT_EQ(w->title, "ZORVTalk");
        });
    }
    EXPECT_EQ(fake_serial().open_count, 0);
}

TEST_F(ConsoleTest, ConnectDisconnectTitlesSettingsAndStates) {
    run([&](UiWindow* w) {
        connect(w, "COM12 (\\Device\\Serial11)", "9600");
        EXPECT_EQ(session.connected, 1);
        EXPECT_EQ(fake_serial().opened_port, 12);
        EXPECT_EQ(fake_serial().configured_baud, 9600);
        EXPECT_EQ(w->title, "ZORVTalk - COM12: 9600");
        EXPECT_EQ(fake_control(w, ID_CONNECT).text, "Disconnect");
        for (int id : {ID_PORT, ID_BAUD, ID_STARTUP, ID_CHOOSE_STARTUP}) EXPECT_FALSE(fake_control(w, id).enabled);
        EXPECT_TRUE(fake_control(w, ID_COMMAND).enabled);
        EXPECT_TRUE(fake_control(w, ID_SEND_FILE).enabled);
        EXPECT_EQ(settings_read_int("Connection", "Port"), 12);
        EXPECT_EQ(settings_read_int("Connection", "Baud"), 9600);
        EXPECT_NE(read_ini().find("Startup="), std::string::npos);
        fake_ui_click(w, ID_CONNECT);
        EXPECT_EQ(session.connected, 0);
        EXPECT_EQ(session.link, nullptr);
        EXPECT_EQ(w->title, "ZORVTalk");
        EXPECT_TRUE(fake_control(w, ID_PORT).enabled);
        EXPECT_FALSE(fake_control(w, ID_COMMAND).enabled);
    });
}

TEST_F(ConsoleTest, FailedConnectSavesNothing) {
    fake_serial().on_write = nullptr;  // silent controller
    run([&](UiWindow* w) {
        connect(w);
        ASSERT_EQ(fake_ui().boxes.size(), 1u);
        EXPECT_EQ(fake_ui().boxes[0].text, "No connection.\r\nthe controller did not answer the greeting");
        EXPECT_EQ(session.connected, 0);
    });
    EXPECT_EQ(read_ini(), "");
}

TEST_F(ConsoleTest, TypedCommandsFillRowPairs) {
    // A reply with a leading space, then stray bytes behind it; a reply of 300 characters.
    answer = [](const std::string& line) {
        if (line == "fail") return std::string(" bad\rstray");
        return line == "long" ? std::string(300, 'L') : "re:" + line;
    };
    run([&](UiWindow* w) {
        connect(w);
        w->focus = ID_COMMAND;
        fake_ui_type(w, ID_COMMAND, "");
        fake_ui_click(w, UI_IDOK);
        EXPECT_TRUE(rows(w).empty());
        for (const char* c : {"abc", "   ", "fail", "x", "long"}) {
            fake_ui_type(w, ID_COMMAND, c);
            fake_ui_send(w, UiMessage{UI_COMMAND, UI_IDOK, 0, 0, 0});
            EXPECT_EQ(fake_control(w, ID_COMMAND).text, "");
            EXPECT_EQ(w->focus, ID_COMMAND);
        }
        // The bad line fails alone and says why; the stray bytes behind it are
        // dropped before the next command with a note, which then gets its own reply.
        // Row 0 is the connect note.
        EXPECT_EQ(rows(w), (std::vector<std::string>{"abc", "re:abc", "   ", "re:   ", "fail",
                                                     "(no reply: reply began with byte 0x20: \" bad\")",
                                                     "x", "re:x", "long", std::string(300, 'L')}));
        EXPECT_EQ(log_row_text(w, 7), "dropped 6 bytes of input that answered nothing: \"stray\\x0d\"");
        EXPECT_EQ(log_row_colour(w, 6), session.log.colours.failed);
        EXPECT_EQ(log_row_kind(w, 7), LOG_NOTE);
        EXPECT_EQ(log_row_colour(w, 4), session.log.colours.reply);
        EXPECT_EQ(fake_control(w, ID_LOG).last_visible, 11);
        EXPECT_EQ(fake_control(w, ID_LOG).rows_known, 12);  // the list was told of every row
        EXPECT_TRUE(fake_control(w, ID_CONNECT).enabled);
        EXPECT_FALSE(fake_control(w, ID_PAUSE).enabled);
        EXPECT_FALSE(fake_control(w, ID_STOP).enabled);
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"A", "abc", "   ", "fail", "x", "long"}));
}

TEST_F(ConsoleTest, PauseContinueStopDuringACommand) {
    hold_replies = true;
    run([&](UiWindow* w) {
        connect(w);
        int step = 0;
        fake_ui().on_dispatch = [&] {
            ++step;
            if (step == 1) {
                // The command row stands while it runs; controls are in their run states.
                EXPECT_EQ(rows(w), std::vector<std::string>{"run"});
                EXPECT_FALSE(fake_control(w, ID_COMMAND).enabled);
                EXPECT_EQ(fake_control(w, ID_COMMAND).text, "run");
                EXPECT_TRUE(fake_control(w, ID_PAUSE).enabled);
                fake_ui_click(w, ID_PAUSE);
                EXPECT_EQ(fake_control(w, ID_PAUSE).text, "Continue");
                EXPECT_EQ(session.paused, 1);
            } else if (step == 2) {
                fake_ui_click(w, ID_PAUSE);
                EXPECT_EQ(fake_control(w, ID_PAUSE).text, "Pause");
                EXPECT_EQ(session.paused, 0);
                fake_ui_click(w, ID_PAUSE);
            } else if (step == 3) {
                fake_ui_click(w, ID_STOP);
                fake_push("stopped\r");
            }
        };
        w->focus = ID_COMMAND;
        fake_ui_type(w, ID_COMMAND, "run");
        fake_ui_click(w, UI_IDOK);
        fake_ui().on_dispatch = nullptr;
        EXPECT_EQ(rows(w), (std::vector<std::string>{"run", "stopped"}));
        EXPECT_EQ(fake_control(w, ID_PAUSE).text, "Pause");
        EXPECT_FALSE(fake_control(w, ID_PAUSE).enabled);
    });
    EXPECT_EQ(controls, (std::vector<uint8_t>{CTRL_PAUSE, CTRL_CONTINUE, CTRL_PAUSE, CTRL_STOP}));
}

TEST_F(ConsoleTest, PauseThatCannotBeSentReadsPause) {
    hold_replies = true;
    run([&](UiWindow* w) {
        connect(w);
        fake_ui().on_dispatch = [&] {
            fake_ui().on_dispatch = nullptr;
            fake_serial().pending_errors = 1;  // the pause meets a line error
            fake_ui_click(w, ID_PAUSE);
            EXPECT_EQ(fake_control(w, ID_PAUSE).text, "Pause");
            EXPECT_EQ(session.paused, 0);
            fake_push("done\r");
        };
        w->focus = ID_COMMAND;
        fake_ui_type(w, ID_COMMAND, "run");
        fake_ui_click(w, UI_IDOK);
    });
    EXPECT_TRUE(controls.empty());
}

TEST_F(ConsoleTest, EnterRouting) {
    run([&](UiWindow* w) {
        fake_ui_type(w, ID_PORT, "COM3");
        w->focus = ID_BAUD;
        fake_ui_click(w, UI_IDOK);
        EXPECT_EQ(w->focus, ID_CONNECT);
        EXPECT_EQ(session.connected, 0);  // posted, not yet run
        fake_ui_pump();
        EXPECT_EQ(session.connected, 1);
        w->focus = ID_LOG;
        fake_ui_click(w, UI_IDOK);
        fake_ui_pump();
        ASSERT_EQ(fake_ui().boxes.size(), 1u);
        EXPECT_EQ(fake_ui().boxes[0].caption, "About ZORVTalk");
        EXPECT_EQ(fake_ui().boxes[0].text.rfind("ZORVTalk - ZORV Controller Terminal (v.1.8)\r\n", 0), 0u);
        EXPECT_EQ(fake_ui().boxes[0].icon, ICON_APP);
    });
}

// After any box, chooser or panel the keys go where typing belongs, whatever the box
// left focused: a stray Space or Enter on Disconnect would reset the controller.
TEST_F(ConsoleTest, FocusGoesHomeAfterEveryDialog) {
    auto syscommand = [](UiWindow* w, int id) { fake_ui_send(w, UiMessage{UI_SYSCOMMAND, id, 0, 0, 0}); };
    auto command = [](UiWindow* w, int id) { fake_ui_send(w, UiMessage{UI_COMMAND, id, UI_CLICKED, 0, 0}); };
    struct Case {
        const char* name;
        bool connected;
        std::function<void(UiWindow*)> open;
    };
    std::string bad_path = dir_ + "/no/such/folder/x.log";
    const Case cases[] = {
        {"Save Log cancelled", true, [&](UiWindow* w) { fake_ui().chosen_files = {""}; command(w, ID_LOG_SAVE); }},
        {"Save Log failed", true,
         [&](UiWindow* w) { fake_ui().chosen_files = {bad_path}; command(w, ID_LOG_SAVE); }},
        {"About", true, [&](UiWindow* w) { syscommand(w, SYSCMD_ABOUT); }},
        {"ZORV Report", true, [&](UiWindow* w) { syscommand(w, SYSCMD_REPORT); }},
        {"pin panel", true, [&](UiWindow* w) { syscommand(w, SYSCMD_PIN_PANEL); }},
        {"exit answered No", true,
         [](UiWindow* w) { fake_ui().answers = {UI_ANSWER_NO}; fake_ui_click(w, UI_IDCANCEL); }},
        {"Send File cancelled", true, [](UiWindow* w) { fake_ui().chosen_files = {""}; fake_ui_click(w, ID_SEND_FILE); }},
        {"Startup chooser", false,
         [](UiWindow* w) { fake_ui().chosen_files = {""}; fake_ui_click(w, ID_CHOOSE_STARTUP); }},
        {"About, disconnected", false, [&](UiWindow* w) { syscommand(w, SYSCMD_ABOUT); }},
    };
    run([&](UiWindow* w) {
        for (const Case& c : cases) {
            if (c.connected && !session.connected) connect(w);
            if (!c.connected && session.connected) fake_ui_click(w, ID_CONNECT);
            fake_ui().on_box = [w](const FakeMessageBox&) { w->focus = ID_CONNECT; };
            w->focus = c.connected ? ID_CONNECT : ID_LOG;
            c.open(w);
            EXPECT_EQ(w->focus, c.connected ? ID_COMMAND : ID_CONNECT) << c.name;
        }
        EXPECT_GE(fake_ui().boxes.size(), 4u);
    });
}

TEST_F(ConsoleTest, ExitQuestion) {
    // Disconnected: no question.
    run([&](UiWindow* w) { fake_ui_click(w, UI_IDCANCEL); });
    EXPECT_TRUE(fake_ui().boxes.empty());
    // Connected, No: everything stays.
    fake_ui().answers = {UI_ANSWER_NO};
    run([&](UiWindow* w) {
        connect(w);
        fake_ui_click(w, UI_IDCANCEL);
        EXPECT_TRUE(ui_dialog_alive(w));
        EXPECT_EQ(session.connected, 1);
        EXPECT_EQ(w->title, "ZORVTalk - COM3: 115200");
        ASSERT_EQ(fake_ui().boxes.size(), 1u);
        EXPECT_EQ(fake_ui().boxes[0].text, "Target is still connected\r\n\r\nDisconnect and exit ZORVTalk?");
        EXPECT_EQ(fake_ui().boxes[0].caption, "Exit");
        EXPECT_EQ(fake_ui().boxes[0].style, UI_MB_YESNO);
        fake_ui().answers = {UI_ANSWER_YES};
        fake_ui_click(w, UI_IDCANCEL);
        EXPECT_FALSE(ui_dialog_alive(w));
    });
    EXPECT_EQ(session.link, nullptr);
    EXPECT_EQ(fake_serial().close_count, 1);
}

TEST_F(ConsoleTest, ExitWhileACommandWaits) {
    hold_replies = true;
    run([&](UiWindow* w) {
        connect(w);
        fake_ui().on_dispatch = [&] {
            fake_ui().on_dispatch = nullptr;
            fake_ui_click(w, UI_IDCANCEL);  // answered Yes by default
        };
        w->focus = ID_COMMAND;
        fake_ui_type(w, ID_COMMAND, "run 60000");
        fake_ui_click(w, UI_IDOK);
        EXPECT_FALSE(ui_dialog_alive(w));
        // Nothing touched the ended dialog after the wait: the reply row never came.
        EXPECT_EQ(rows(w), std::vector<std::string>{"run 60000"});
    });
    EXPECT_EQ(session.link, nullptr);
    EXPECT_EQ(controls, std::vector<uint8_t>{CTRL_STOP});
}

TEST_F(ConsoleTest, StatusReport) {
    run([&](UiWindow* w) {
        fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_REPORT, 0, 0, 0});
        ASSERT_EQ(fake_ui().boxes.size(), 1u);
        EXPECT_EQ(fake_ui().boxes[0].text, "No Data");
        EXPECT_EQ(fake_ui().boxes[0].caption, "ZORV Report");
        EXPECT_EQ(fake_ui().boxes[0].icon, ICON_APP);
        connect(w);
        fake_serial().on_write = [this](const std::vector<uint8_t>& bytes) {
            if (bytes.size() == 1 && bytes[0] == CTRL_REPORT)
                fake_push(std::vector<uint8_t>{0x12, 0xFF, 0xFF, 0, 0, 0, 0, 0xE8, 0x03, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF,
                                               0xFF, 0xFF, 0xFF, 0x7F});
            else
                controller(bytes);
        };
        // A late echo waiting before the request is dropped and said, never read as the report.
        fake_push(std::vector<uint8_t>{'l', 'a', 't', 'e', '\r'});
        fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_REPORT, 0, 0, 0});
        ASSERT_EQ(fake_ui().boxes.size(), 2u);
        EXPECT_EQ(fake_ui().boxes[1].text, "Q=-1, X=0, Y=1000, Z=-5, W=2147483647");
        EXPECT_EQ(all_rows(w).back(), "dropped 5 bytes of input that answered nothing: \"late\\x0d\"");
    });
}

// A second Connect, or Escape, while the controller is being reset and greeted.
TEST_P(ConsoleFlagTest, DuringAConnect) {
    const bool escape = GetParam();
    write_ini("[Connection]\nStartup=" + dir_ + "/start.cmd\n");
    std::ofstream(dir_ + "/start.cmd") << "hello\r";
    bool greeted = false;
    fake_serial().on_write = [&](const std::vector<uint8_t>& w) {
        if (w == std::vector<uint8_t>{'A', 0x0D})
            greeted = true;  // answered from the dispatch below, mid-wait
        else
            controller(w);
    };
    run([&](UiWindow* w) {
        fake_ui().on_dispatch = [&] {
            if (!greeted) return;
            fake_ui().on_dispatch = nullptr;
            EXPECT_FALSE(fake_control(w, ID_CONNECT).enabled);
            if (escape) {
                fake_ui_click(w, UI_IDCANCEL);
            } else {
                fake_ui_send(w, UiMessage{UI_COMMAND, ID_CONNECT, UI_CLICKED, 0, 0});  // a double click
                w->focus = ID_PORT;
                fake_ui_click(w, UI_IDOK);
                w->focus = 0;  // the disabled button lost it: Enter must not open About
                fake_ui_click(w, UI_IDOK);
                fake_ui_pump();
            }
            fake_push("\r");
        };
        fake_ui_type(w, ID_PORT, "COM3");
        fake_ui_type(w, ID_BAUD, "9600");
        fake_ui_click(w, ID_CONNECT);
        if (escape) {
            EXPECT_FALSE(ui_dialog_alive(w));
            return;
        }
        EXPECT_EQ(session.connected, 1);
        EXPECT_TRUE(fake_control(w, ID_CONNECT).enabled);
        EXPECT_EQ(fake_control(w, ID_CONNECT).text, "Disconnect");
    });
    EXPECT_EQ(fake_serial().open_count, 1) << escape;
    // No "No connection."; Escape asked nothing (the exit question ends the other run).
    EXPECT_EQ(fake_ui().boxes.size(), escape ? 0u : 1u) << escape;
    // Closed while connecting: the startup file's line never went out.
    EXPECT_EQ(lines, escape ? std::vector<std::string>{} : std::vector<std::string>{"hello"}) << escape;
    EXPECT_EQ(session.link, nullptr);
}

// Input during the reset's start-up quiet: a close cancels the connect before a byte
// is written; a second click or Enter is turned away, and typing then goes to the
// command line, not to the Disconnect button.
TEST_P(ConsoleFlagTest, InputDuringTheResetActsOnNothingElse) {
    const bool close = GetParam();
    run([&](UiWindow* w) {
        fake_ui().on_dispatch = [&] {
            if (fake_serial().escapes.empty()) return;  // not yet in the reset
            fake_ui().on_dispatch = nullptr;
            EXPECT_TRUE(fake_serial().output.empty());
            if (close) {
                fake_ui_click(w, UI_IDCANCEL);
            } else {
                fake_ui_send(w, UiMessage{UI_COMMAND, ID_CONNECT, UI_CLICKED, 0, 0});
                fake_ui_send(w, UiMessage{UI_COMMAND, UI_IDOK, 0, 0, 0});
                fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_PIN_PANEL, 0, 0, 0});  // Ctrl+L
            }
        };
        connect(w);
        if (close) return;
        EXPECT_EQ(session.connected, 1);
        EXPECT_EQ(w->focus, ID_COMMAND);
    });
    const std::vector<uint8_t> greeting{'A', 0x0D};
    EXPECT_EQ(fake_serial().output, close ? std::vector<uint8_t>() : greeting) << close;
    EXPECT_EQ(fake_serial().open_count, 1) << close;
    EXPECT_EQ(fake_serial().close_count, 1) << close;
    EXPECT_TRUE(fake_ui().boxes.size() == (close ? 0u : 1u)) << close;  // the exit question only
}

// The log tells the session's story in note rows; the focus follows the outcome.
TEST_F(ConsoleTest, ConnectsAndDisconnectsLeaveNotes) {
    char device[300] = "";
    ports_device_path(3, device, sizeof device);
    const std::string com3 = std::string("COM3 (") + device + ")";
    run([&](UiWindow* w) {
        fake_serial().open_fails = true;
        w->focus = ID_BAUD;
        connect(w);
        EXPECT_EQ(w->focus, ID_CONNECT);
        fake_serial().open_fails = false;
        connect(w);
        EXPECT_EQ(w->focus, ID_COMMAND);
        fake_ui_click(w, ID_CONNECT);
        EXPECT_EQ(notes(w), (std::vector<std::string>{"no connection to " + com3 + " at 115200 baud: no such device",
                                                      "connected to " + com3 + " at 115200 baud",
                                                      "disconnected from COM3"}));
    });
}

// A Port text that is a device path opens that device, whatever digits it holds, and
// comes back as typed at the next start; one naming COMn (Windows) is stored as n,
// as readers of the settings file expect.
TEST_F(ConsoleTest, PortTextThatIsADevicePathOpensIt) {
    char device[300] = "";
    ports_device_path(1, device, sizeof device);  // what "COM1" names
    std::string typed = std::string(device).substr(0, std::string(device).size() - 1) + "77";
    run([&](UiWindow* w) {
        connect(w, typed.c_str());
        ASSERT_EQ(session.connected, 1);
        char opened[300] = "";
        ports_device_path(fake_serial().opened_port, opened, sizeof opened);
        EXPECT_EQ(std::string(opened), typed);
        EXPECT_EQ(w->title, "ZORVTalk - " + typed + ": 115200");
        fake_ui_click(w, ID_CONNECT);
    });
    int named = com_number_of_path(typed.c_str());
    EXPECT_EQ(settings_read_string("Connection", "Port"), named ? std::to_string(named) : typed);
    run([&](UiWindow* w) {
        EXPECT_EQ(fake_control(w, ID_PORT).text, named ? "COM" + std::to_string(named) : typed);
        ui_end_dialog(w, 0);
    });
}

// A network address is opened as typed; raw TCP says it could not reset the
// controller; the Port box offers the addresses used before, latest first.
TEST_F(ConsoleTest, NetworkAddressesAreKeptAsTyped) {
    const char* raw = "tcp://10.0.0.7:4001";
    const char* rfc = "rfc2217://pi-lab:2000";
    for (const char* typed : {raw, rfc}) {
        run([&](UiWindow* w) {
            connect(w, typed);
            ASSERT_EQ(session.connected, 1) << typed;
            std::vector<std::string> expected{std::string("connected to ") + typed + " at 115200 baud"};
            if (typed == raw) expected.push_back(net_url_note(raw));
            EXPECT_EQ(notes(w), expected);
            fake_ui_click(w, ID_CONNECT);
        });
    }
    run([&](UiWindow* w) {
        EXPECT_EQ(fake_control(w, ID_PORT).text, rfc);
        const auto& items = fake_control(w, ID_PORT).items;
        auto at = [&](const char* item) { return std::find(items.begin(), items.end(), item) - items.begin(); };
        EXPECT_LT(at(rfc), at(raw));
        EXPECT_LT(at(raw), static_cast<long>(items.size()));
        ui_end_dialog(w, 0);
    });
}

// A controller that goes silent, a port that goes away, and the pin panel during a
// command.
TEST_F(ConsoleTest, WalkingAwayAndLostPorts) {
    hold_replies = true;
    run([&](UiWindow* w) {
        connect(w);
        EXPECT_EQ(w->timers.count(HEALTH_TIMER), 1u);
        bool panel_opened = false;
        fake_ui().drivers[DIALOG_PIN_PANEL] = [&](UiWindow* panel) {
            panel_opened = true;
            fake_ui_click(panel, UI_IDCANCEL);
        };
        fake_ui().on_dispatch = [&] {
            fake_ui().on_dispatch = nullptr;
            EXPECT_EQ(w->menu_disabled, (std::set<int>{SYSCMD_PIN_PANEL, SYSCMD_STOP_FILE}));
            fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_PIN_PANEL, 0, 0, 0});
            fake_ui_fire_timers();  // the idle check leaves a waiting command alone
            fake_ui_click(w, ID_CONNECT);  // Disconnect from inside the wait
        };
        w->focus = ID_COMMAND;
        fake_ui_type(w, ID_COMMAND, "run 60000");
        fake_ui_click(w, UI_IDOK);
        EXPECT_FALSE(panel_opened);
        EXPECT_EQ(w->menu_disabled, std::set<int>{SYSCMD_STOP_FILE});
        EXPECT_EQ(rows(w), (std::vector<std::string>{"run 60000", "(no reply: disconnected)"}));
        EXPECT_EQ(session.connected, 0);
        EXPECT_FALSE(fake_control(w, ID_COMMAND).enabled);
        EXPECT_EQ(fake_control(w, ID_CONNECT).text, "Connect");
        EXPECT_EQ(w->timers.count(HEALTH_TIMER), 0u);

        // Idle: a healthy port is left alone; a lost one is shown within a tick.
        hold_replies = false;
        connect(w);
        fake_ui_fire_timers();
        EXPECT_EQ(session.connected, 1);
        fake_serial().lost = true;
        fake_ui_fire_timers();
        EXPECT_EQ(session.connected, 0);
        EXPECT_EQ(w->title, "ZORVTalk");
        EXPECT_EQ(rows(w).back(), "(port lost: COM3)");
        EXPECT_EQ(log_row_colour(w, static_cast<int>(rows(w).size()) - 1), session.log.colours.failed);
        EXPECT_TRUE(fake_control(w, ID_PORT).enabled);
        EXPECT_EQ(fake_control(w, ID_PORT).text, "COM3");  // one click reconnects
    });
    EXPECT_EQ(controls, std::vector<uint8_t>{CTRL_STOP});
}

// The report box comes back within its second whatever stands in the input.
TEST_F(ConsoleTest, StatusReportNeverHangs) {
    run([&](UiWindow* w) {
        connect(w);
        for (const char* head : {"\n", "ok\r", ""}) {
            fake_push(head);
            uint64_t before = fake_serial().now_ms;
            fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_REPORT, 0, 0, 0});
            EXPECT_EQ(fake_ui().boxes.back().text, "No Data") << head;
            EXPECT_LE(fake_serial().now_ms - before, 1010u) << head;
            fake_serial().input.clear();
        }
    });
}

TEST(CommandHistory, StepsNewestFirst) {
    const struct {
        std::vector<std::string> typed;
        std::string keys;  // U up, D down
        std::vector<std::string> shown;  // the command line after each key ("-": unchanged)
    } cases[] = {
        {{}, "UD", {"-", "-"}},
        {{"a", "b", "c"}, "UUUUDDD", {"c", "b", "a", "a", "b", "c", "draft"}},
        {{"a", "a", "b", "a"}, "UUUU", {"a", "b", "b", "b"}},  // a repeat moves to the newest place
        {{"x", "y"}, "DUDD", {"-", "y", "draft", "-"}},  // Down alone never clears the line
    };
    for (const auto& c : cases) {
        CommandHistory h;
        for (const auto& t : c.typed) history_add(&h, t.c_str());
        std::vector<std::string> shown;
        for (char k : c.keys) {
            const char* text = k == 'U' ? history_older(&h, "draft") : history_newer(&h);
            shown.push_back(text ? text : "-");
        }
        EXPECT_EQ(shown, c.shown) << c.keys;
    }
    CommandHistory big;
    for (int i = 0; i < 1200; ++i) history_add(&big, std::to_string(i).c_str());
    EXPECT_EQ(big.entries.size(), static_cast<size_t>(HISTORY_MAX));
    EXPECT_EQ(big.entries.front(), "700");
}

// Typed commands (not file lines) are kept, recalled with Up/Down, and survive a restart.
TEST_F(ConsoleTest, HistoryInTheWindowAndAcrossRuns) {
    session.history = CommandHistory();
    auto type = [&](UiWindow* w, const char* text) {
        w->focus = ID_COMMAND;
        fake_ui_type(w, ID_COMMAND, text);
        fake_ui_click(w, UI_IDOK);
    };
    auto key = [&](UiWindow* w, int k) {
        fake_ui_send(w, UiMessage{UI_KEY, ID_COMMAND, k, 0, 0});
        return fake_control(w, ID_COMMAND).text;
    };
    std::ofstream(dir_ + "/f.cmd") << "from-file\r";
    run([&](UiWindow* w) {
        connect(w);
        type(w, "first");
        type(w, "second");
        fake_ui().chosen_files = {dir_ + "/f.cmd"};
        fake_ui_click(w, ID_SEND_FILE);
        EXPECT_EQ(read_text(dir_ + "/zorvtalk.history"), "first\nsecond\n");  // a kill now loses none
        fake_ui_type(w, ID_COMMAND, "half typed");
        EXPECT_EQ(key(w, UI_KEY_UP), "second");
        EXPECT_EQ(key(w, UI_KEY_UP), "first");
        EXPECT_EQ(key(w, UI_KEY_DOWN), "second");
        EXPECT_EQ(key(w, UI_KEY_DOWN), "half typed");
        fake_ui_click(w, ID_CONNECT);
    });
    session.history = CommandHistory();
    run([&](UiWindow* w) {
        EXPECT_EQ(session.history.entries, (std::vector<std::string>{"first", "second"}));
        connect(w);
        EXPECT_EQ(key(w, UI_KEY_UP), "second");
        fake_ui_click(w, ID_CONNECT);
    });
    EXPECT_EQ(read_text(dir_ + "/zorvtalk.history"), "first\nsecond\n");
}

// Windows sharing the file keep each other's commands; the file is compacted at start
// and when it passes twice the kept number.
TEST_F(ConsoleTest, HistoryFileKeepsEveryWindowsCommands) {
    const std::string path = dir_ + "/zorvtalk.history";
    CommandHistory a, b, c;
    history_record(&a, "one", path.c_str());
    history_record(&b, "two", path.c_str());
    history_record(&a, "one", path.c_str());
    ASSERT_EQ(history_open(&c, path.c_str()), 1);
    EXPECT_EQ(c.entries, (std::vector<std::string>{"two", "one"}));
    EXPECT_EQ(read_text(path), "two\none\n");
    for (int i = 0; i < 2 * HISTORY_MAX; ++i) history_record(&b, std::to_string(i % 700).c_str(), path.c_str());
    std::string text = read_text(path);
    EXPECT_LE(std::count(text.begin(), text.end(), '\n'), 2 * HISTORY_MAX);
    ASSERT_EQ(history_open(&c, path.c_str()), 1);
    EXPECT_EQ(c.entries.size(), static_cast<size_t>(HISTORY_MAX));
    EXPECT_EQ(c.entries.back(), "299");
}

// A Startup path the settings cannot hold is said so, not dropped silently.
TEST_F(ConsoleTest, RefusedStartupPathIsNoted) {
    run([&](UiWindow* w) {
        fake_ui_type(w, ID_STARTUP, "boot\n.cmd");
        connect(w);
        ASSERT_FALSE(notes(w).empty());
        EXPECT_EQ(notes(w)[0], "(Startup path not saved in the settings: it holds a line break)");
    });
}

// The history file is read as the settings file is: nothing but a regular file, its
// tail only, each entry at most a command line long.
TEST_F(ConsoleTest, HistoryFileIsReadGuarded) {
    const std::string path = dir_ + "/zorvtalk.history";
    std::ofstream(path) << std::string(3 << 20, 'z') << "\n" << std::string(400, 'y') << "\nlast\n";
    CommandHistory h;
    ASSERT_EQ(history_open(&h, path.c_str()), 1);
    EXPECT_EQ(h.entries, (std::vector<std::string>{std::string(HISTORY_ENTRY_MAX, 'y'), "last"}));
    EXPECT_EQ(read_text(path).size(), HISTORY_ENTRY_MAX + 6u);  // compacted
#ifndef _WIN32
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);  // would block an unguarded open for ever
    EXPECT_EQ(history_open(&h, path.c_str()), 0);
    EXPECT_EQ(history_record(&h, "x", path.c_str()), 0);
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_EQ(history_open(&h, path.c_str()), 0);
    EXPECT_TRUE(h.entries.empty());
#endif
}

TEST_F(ConsoleTest, ResizeMovesFromTheSnapshot) {
    run([&](UiWindow* w) {
        FakeControl before_log = fake_control(w, ID_LOG);
        FakeControl before_stop = fake_control(w, ID_STOP);
        w->client_width += 100;
        w->client_height += 60;
        fake_ui_send(w, UiMessage{UI_SIZE, 0, 0, w->client_width, w->client_height});
        EXPECT_EQ(fake_control(w, ID_LOG).width, before_log.width + 100);
        EXPECT_EQ(fake_control(w, ID_LOG).height, before_log.height + 60);
        EXPECT_EQ(fake_control(w, ID_STOP).x, before_stop.x + 50);
        EXPECT_EQ(fake_control(w, ID_STOP).y, before_stop.y + 60);
        EXPECT_EQ(w->labels[0].x, 6 + 50);
        w->client_width -= 100;
        w->client_height -= 60;
        fake_ui_send(w, UiMessage{UI_SIZE, 0, 0, w->client_width, w->client_height});
        EXPECT_EQ(fake_control(w, ID_STOP).x, before_stop.x);
        EXPECT_EQ(fake_control(w, ID_LOG).height, before_log.height);
    });
}

// A NUL inside a reply cuts nothing: the row, and so Copy, Save Log and the journal,
// show it as \x00 with the rest of the reply.
TEST_F(ConsoleTest, ReplyWithANulShowsWhole) {
    answer = [](const std::string&) { return std::string("A\0B\0", 4); };
    run([&](UiWindow* w) {
        connect(w);
        fake_ui_type(w, ID_COMMAND, "nul");
        fake_ui_click(w, UI_IDOK);
        EXPECT_EQ(rows(w), (std::vector<std::string>{"nul", "A\\x00B\\x00"}));
    });
}

INSTANTIATE_TEST_SUITE_P(Each, ConsoleFlagTest, ::testing::Bool());

}  // namespace
