// The window logic on the fake ui, over the real link and zorv-sim on a pty:
// command files and the pin panel as they meet a controller.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "console/app.h"
#include "console/log_view.h"
#include "console/main_dialog.h"
#include "console/script_runner.h"
#include "console/session.h"
#include "link/link.h"
#include "platform/dispatch.h"
#include "settings/settings.h"
#include "tests/integration/sim_process.h"
#include "tests/unit/fake_ui.h"
#include "tools/pin_panel.h"

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;
constexpr int PORT = 61;

// The sim's trace, reduced to the command lines it received and the replies it sent.
Lines trace_events(const std::string& log) {
    Lines out;
    size_t at = 0;
    while (at < log.size()) {
        size_t end = log.find('\n', at);
        std::string line = log.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? log.size() : end + 1;
        if (line.rfind("line ", 0) == 0 || line.rfind("send ", 0) == 0) out.push_back(line.substr(0, 4));
    }
    return out;
}

class ConsoleSim : public ::testing::Test {
protected:
    void SetUp() override {
        watchdog_arm(240);
        fake_ui_reset();
        session = Session{};
        session.pins = PinPanelState{};
        dir_ = test_temp_dir() + "/console-XXXXXX";
        ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
        settings_use_path((dir_ + "/zorvtalk.ini").c_str());
    }
    void TearDown() override {
        link_close(&session.link);
        settings_use_path(nullptr);
        sim_stop(&sim);
        // With the history and the log journal the window keeps beside its settings.
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    void start(const std::vector<std::string>& args = {}) { ASSERT_TRUE(sim_start(&sim, PORT, args)); }
    std::string file(const std::string& bytes) {
        std::string path = dir_ + "/commands";
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // Runs the main window, connects, and hands it to drive.
    void run(std::function<void(UiWindow*)> drive) {
        fake_ui().drivers[DIALOG_MAIN] = [&](UiWindow* w) {
            fake_ui_type(w, ID_PORT, "COM" + std::to_string(PORT));
            fake_ui_type(w, ID_BAUD, "115200");
            fake_ui_click(w, ID_CONNECT);
            ASSERT_EQ(session.connected, 1);
            drive(w);
            fake_ui().on_dispatch = nullptr;
        };
        app_main(&session);
    }
    void send_file(UiWindow* w, const std::string& path) {
        fake_ui().chosen_files = {path};
        fake_ui_click(w, ID_SEND_FILE);
    }
    // The exchanges' rows, without the session's notes (connected, ...).
    Lines rows(UiWindow* w) {
        Lines out;
        for (int i = 0; i < log_row_count(w); ++i)
            if (log_row_kind(w, i) != LOG_NOTE) out.push_back(log_row_text(w, i));
        return out;
    }
    std::string exchange(const char* command) {
        char reply[256];
        link_exchange(session.link, command, reply);
        return reply;
    }

    Session session;
    SimProcess sim;
    std::string dir_;
};

TEST_F(ConsoleSim, FileLinesGoOutOneAfterAnotherReply) {
    start();
    run([&](UiWindow* w) {
        send_file(w, file("echo a\nrun 200\r\necho b\r\n\r\necho c"));
        EXPECT_EQ(rows(w), (Lines{"echo a", "a", "run 200", "done", "echo b", "b", "", "", "echo c", "c"}));
        EXPECT_TRUE(fake_control(w, ID_SEND_FILE).enabled);
    });
    // The greeting, then each line strictly after the previous reply.
    Lines events = trace_events(sim_log(&sim));
    EXPECT_EQ(events, (Lines{"line", "send", "line", "send", "line", "send", "line", "send", "line", "send", "line",
                             "send"}));
}

TEST_F(ConsoleSim, StopDuringALongLineAndTheFileGoesOn) {
    start();
    run([&](UiWindow* w) {
        auto t = Clock::now();
        fake_ui().on_dispatch = [&] {
            if (seconds_since(t) > 0.3 && fake_control(w, ID_STOP).enabled && rows(w).size() == 1) {
                fake_ui().on_dispatch = nullptr;
                fake_ui_click(w, ID_STOP);
            }
        };
        send_file(w, file("run 60000\necho after\n"));
        EXPECT_EQ(rows(w), (Lines{"run 60000", "stopped", "echo after", "after"}));
        EXPECT_LT(seconds_since(t), 5.0);
    });
}

TEST_F(ConsoleSim, LostPortEndsTheFileAndDisconnects) {
    start({"--hangup-after", "2"});
    run([&](UiWindow* w) {
        auto t = Clock::now();
        send_file(w, file("ok\nok\nok\nok\nok\n"));
        EXPECT_EQ(rows(w), (Lines{"ok", "ok", "ok", "ok", "ok", "(no reply: port lost)", "(port lost: COM61)"}));
        EXPECT_LT(seconds_since(t), 2.0);
        EXPECT_EQ(session.link, nullptr);
        EXPECT_EQ(w->title, "ZORVTalk");
    });
}

TEST_F(ConsoleSim, ExitDuringARunSendsNothingMore) {
    start();
    run([&](UiWindow* w) {
        auto t = Clock::now();
        fake_ui().on_dispatch = [&] {
            if (seconds_since(t) > 0.2 && rows(w).size() == 3) {
                fake_ui().on_dispatch = nullptr;
                fake_ui_click(w, UI_IDCANCEL);  // answered Yes
            }
        };
        send_file(w, file("echo one\nrun 60000\necho never\n"));
        EXPECT_FALSE(ui_dialog_alive(w));
        EXPECT_EQ(rows(w), (Lines{"echo one", "one", "run 60000"}));
    });
    EXPECT_EQ(session.link, nullptr);
    // The simulator traces the stop byte when it has read it: give it a moment.
    std::string log = sim_log(&sim);
    for (auto t = Clock::now(); log.find("ctrl 01") == std::string::npos && seconds_since(t) < 2.0;) {
        usleep(10000);
        log = sim_log(&sim);
    }
    EXPECT_NE(log.find("ctrl 01"), std::string::npos) << log;
    EXPECT_EQ(log.find("never"), std::string::npos);
}

// Every pin of the table against the simulator's ports: the level is the port byte
// with the inverted lines flipped.
TEST_F(ConsoleSim, PinPanelShowsEveryPin) {
    start();
    run([&](UiWindow* w) {
        fake_ui().drivers[DIALOG_PIN_PANEL] = [&](UiWindow* p) {
            for (int row = 1; row <= 17; ++row) {
                const PinRow& r = PIN_TABLE[row];
                uint8_t bytes[3] = {PORT_INVERT[0], PORT_INVERT[1], PORT_INVERT[2]};  // every level 0
                bytes[r.port] ^= r.bit;
                char cmd[64];
                std::snprintf(cmd, sizeof cmd, "pins data %02x", bytes[0]);
                ASSERT_EQ(exchange(cmd), "ok");
                std::snprintf(cmd, sizeof cmd, "pins status %02x", bytes[1]);
                ASSERT_EQ(exchange(cmd), "ok");
                std::snprintf(cmd, sizeof cmd, "pins control %02x", bytes[2]);
                ASSERT_EQ(exchange(cmd), "ok");
                fake_ui_send(p, UiMessage{UI_TIMER, PIN_POLL_TIMER, 0, 0, 0});
                for (int other = 1; other <= 17; ++other)
                    EXPECT_EQ(fake_control(p, PIN_TABLE[other].box_id).checked, other == row ? 1 : 0)
                        << "pin " << row << " shown on pin " << other;
            }
            EXPECT_TRUE(fake_ui().boxes.empty());
        };
        fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_PIN_PANEL, 0, 0, 0});
    });
}

TEST_F(ConsoleSim, PinClicksAndInputsReachTheController) {
    start();
    run([&](UiWindow* w) {
        ASSERT_EQ(exchange("pins loop"), "ok");
        fake_ui().drivers[DIALOG_PIN_PANEL] = [&](UiWindow* p) {
            auto tick = [&] { fake_ui_send(p, UiMessage{UI_TIMER, PIN_POLL_TIMER, 0, 0, 0}); };
            tick();
            fake_ui_click(p, 1011);  // Data0
            fake_ui_click(p, 1015);  // Data4
            fake_ui_click(p, 1038);  // pin 17 (/Control3) as input: forced high, raw bit 3 clear
            tick();
            // Data 0x11 loops back as status 0x08: bit 3 from data 0, bit 7 from data 4
            // flipped by the loop to 0, which /Status7 (inverted) shows as level 1.
            EXPECT_EQ(fake_control(p, 1011).checked, 1);
            EXPECT_EQ(fake_control(p, 1015).checked, 1);
            EXPECT_EQ(fake_control(p, 1024).checked, 1);  // Status3
            EXPECT_EQ(fake_control(p, 1020).checked, 1);  // /Status7: raw 0
            EXPECT_EQ(fake_control(p, 1026).checked, 1);
            EXPECT_FALSE(fake_control(p, 1026).enabled);
            fake_ui_click(p, UI_IDCANCEL);
        };
        fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_PIN_PANEL, 0, 0, 0});
        // Raw control: /Control0 and /Control1 were level 1 (raw 0), /Control3 forced.
        EXPECT_EQ(exchange("pins"), "data=11 status=08 control=00");
    });
}

TEST_F(ConsoleSim, FailingControllerShowsTheMessageOncePerTick) {
    start({"--bad-pins"});
    run([&](UiWindow* w) {
        // Every pin reply begins with a byte that is no pin reply: every poll fails.
        exchange("ok");
        fake_ui().drivers[DIALOG_PIN_PANEL] = [&](UiWindow* p) {
            int nested = 0;
            fake_ui().on_box = [&](const FakeMessageBox&) {
                size_t before = fake_ui().boxes.size();
                fake_ui_send(p, UiMessage{UI_TIMER, PIN_POLL_TIMER, 0, 0, 0});  // busy: skipped
                nested += static_cast<int>(fake_ui().boxes.size() - before);
            };
            size_t shown = 0;
            for (int i = 0; i < 3; ++i) {
                fake_ui_send(p, UiMessage{UI_TIMER, PIN_POLL_TIMER, 0, 0, 0});
                if (fake_ui().boxes.size() > shown) ++shown;
            }
            fake_ui().on_box = nullptr;
            EXPECT_EQ(nested, 0);
            EXPECT_EQ(shown, 3u);
            for (const auto& b : fake_ui().boxes) {
                EXPECT_EQ(b.text, "No valid data");
                EXPECT_EQ(b.caption, "LPT error");
            }
        };
        fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_PIN_PANEL, 0, 0, 0});
    });
}

}  // namespace
