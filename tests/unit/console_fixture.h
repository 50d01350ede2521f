// A main window on the fake ui, linked to an in-memory controller.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "console/app.h"
#include "console/log_view.h"
#include "console/main_dialog.h"
#include "console/session.h"
#include "link/link.h"
#include "platform/dispatch.h"
#include "settings/settings.h"
#include "tests/unit/fake_serial.h"
#include "tests/unit/fake_ui.h"

// The controller's answer to one command line (without its CR); default "ok".
using LineAnswer = std::function<std::string(const std::string& line)>;

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake_serial_reset();
        fake_ui_reset();
        session = Session{};
        dir_ = fresh_directory();
        ASSERT_FALSE(dir_.empty());
        ini_ = dir_ + "/zorvtalk.ini";
        settings_use_path(ini_.c_str());
        answer = [](const std::string&) { return std::string("ok"); };
        fake_serial().on_write = [this](const std::vector<uint8_t>& w) { controller(w); };
    }
    void TearDown() override {
        link_close(&session.link);
        settings_use_path(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    // A new empty directory under the system's temporary folder (also on Windows).
    static std::string fresh_directory() {
        static int counter = 0;
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) return std::string();
        for (int attempt = 0; attempt < 1000; ++attempt) {
            std::filesystem::path dir =
                base / ("zorv-console-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++));
            if (std::filesystem::create_directory(dir, ec)) return dir.generic_string();
        }
        return std::string();
    }
    // The in-memory controller: greets, answers lines, and logs them in `lines`.
    void controller(const std::vector<uint8_t>& w) {
        for (uint8_t b : w) {
            if (b == 0x0D) {
                lines.push_back(pending_);
                bool greeting = pending_ == "A";
                std::string reply = greeting ? "" : answer(pending_);
                pending_.clear();
                reply += '\r';
                if (greeting || !hold_replies) fake_push(std::vector<uint8_t>(reply.begin(), reply.end()));
            } else if (b < 0x20) {
                controls.push_back(b);
            } else {
                pending_ += static_cast<char>(b);
            }
        }
    }
    void write_ini(const std::string& text) { std::ofstream(ini_) << text; }
    std::string read_ini() {
        std::ifstream f(ini_);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    // Runs the main window; drive() runs inside it.
    void run(std::function<void(UiWindow*)> drive) {
        fake_ui().drivers[DIALOG_MAIN] = [drive](UiWindow* w) { drive(w); };
        app_main(&session);
    }
    void connect(UiWindow* w, const char* port = "COM3", const char* baud = "115200") {
        fake_ui_type(w, ID_PORT, port);
        fake_ui_type(w, ID_BAUD, baud);
        fake_ui_click(w, ID_CONNECT);
    }
    static std::string read_text(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    // The exchanges' rows; notes(w) holds the rows that tell the session's story.
    std::vector<std::string> rows(UiWindow* w) { return rows_of(w, false); }
    std::vector<std::string> notes(UiWindow* w) { return rows_of(w, true); }
    std::vector<std::string> all_rows(UiWindow*) { return session.log.rows.texts; }
    std::vector<std::string> rows_of(UiWindow*, bool notes) {
        std::vector<std::string> out;
        const LogModel& log = session.log.rows;
        for (int i = 0; i < log_model_count(log); ++i)
            if ((log_model_kind(log, i) == LOG_NOTE) == notes) out.push_back(log_model_text(log, i));
        return out;
    }

    Session session;  // the window's, kept for checks after it ends
    LineAnswer answer;
    bool hold_replies = false;
    std::vector<std::string> lines;
    std::vector<uint8_t> controls;
    std::string dir_, ini_;

private:
    std::string pending_;
};

// A case run twice, once with its flag false and once true, each on a fresh fixture.
template <class Fixture>
class WithFlag : public Fixture, public ::testing::WithParamInterface<bool> {};
using ConsoleFlagTest = WithFlag<ConsoleTest>;
