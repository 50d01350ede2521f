// Measures the real main window (app_main, Qt offscreen) against zorv-sim: start-up
// time, log rows per second and their memory beside the list alone (rows from a
// source that keeps nothing), the CPU of the window waiting on a 10 s command and of
// the pin panel's polling, and command-file lines per second beside
// the bare link's exchange rate in the same run, and beside the same file with the log
// journal turned off. The waits and the rates run in five alternating rounds and
// their medians are printed. The status monitor is measured the same way: command-file
// turns with it open at 5 readings/s beside turns with it closed, and the window's CPU
// while the controller idles with it open beside closed. Every phase runs from a timer
// inside app_main.
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/ui_start.h"
#include "console/app.h"
#include "console/command_console.h"
#include "console/journal.h"
#include "console/log_view.h"
#include "console/main_dialog.h"
#include "console/script_runner.h"
#include "console/session.h"
#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/qt/ui_qt.h"
#include "platform/ui.h"
#include "settings/settings.h"
#include "tests/integration/sim_process.h"
#include "tools/pin_panel.h"

#ifndef ZORV_RUN_DIALOG_SYMBOL
#error ZORV_RUN_DIALOG_SYMBOL must name ui_run_dialog as the linker sees it
#endif

// The linker routes the program's calls of ui_run_dialog here (--wrap), and the
// original stays reachable as the __real_ symbol.
int bench_real_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context) __asm__(
    "__real_" ZORV_RUN_DIALOG_SYMBOL);
int bench_wrap_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context) __asm__(
    "__wrap_" ZORV_RUN_DIALOG_SYMBOL);

namespace {

using Clock = std::chrono::steady_clock;

constexpr int SIM_PORT = 231;
constexpr int LOG_PAIRS = 500000;
constexpr int LOG_DISPATCH_EVERY = 1000;
constexpr int ROUNDS = 5;
constexpr int START_ROUNDS = 9;
constexpr int IDLE_WAIT_MS = 10000;
constexpr int LINK_EXCHANGES = 20000;  // per round
constexpr int FILE_LINES = 20000;      // per round
constexpr int CHUNKS = 10;             // turns per round of each side
constexpr int PIN_POLL_WINDOW_MS = 5000;
constexpr int MONITOR_TURNS = 6;      // turns of each side, open and closed
constexpr int MONITOR_FILE_RUNS = 5;  // runs of the command file per turn: some readings in each
constexpr int MONITOR_IDLE_MS = 5000;
constexpr unsigned WATCHDOG_S = 300;

long rss_bytes() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    int got = std::fscanf(f, "%ld %ld", &pages, &resident);
    std::fclose(f);
    return got == 2 ? resident * sysconf(_SC_PAGESIZE) : -1;
}

// What the wrapped ui_run_dialog saw of the program's dialogs.
struct Windows {
    UiDialogProc main_proc = nullptr;
    UiDialogProc panel_proc = nullptr;
    UiWindow* main = nullptr;
    UiWindow* panel = nullptr;
    int panel_ticks = 0;
    bool panel_opened = false;
};
Windows g_win;
// The window's session, read by the phases.
Session session;

void spy_main(UiWindow* w, const UiMessage* m) {
    if (m->kind == UI_INIT) g_win.main = w;
    g_win.main_proc(w, m);
}

void spy_panel(UiWindow* w, const UiMessage* m) {
    if (m->kind == UI_INIT) {
        g_win.panel = w;
        g_win.panel_opened = true;
    }
    if (m->kind == UI_TIMER && m->id == PIN_POLL_TIMER) ++g_win.panel_ticks;
    g_win.panel_proc(w, m);
}

struct Results {
    double startup_ms = -1, startup_app_ms = -1;
    double log_seconds = -1, log_bytes_per_row = -1;
    double list_seconds = -1, list_bytes_per_row = -1;  // the same rows into the list alone
    std::vector<double> idle_cpu, idle_wall;
    std::vector<double> link_rate, file_rate, file_link_ratio;
    std::vector<double> bare_file_rate, journal_ratio;  // the file without the journal
    std::vector<double> chunk_on, chunk_off;             // lines/s of each chunk, paired in order
    double pin_cpu = -1;
    std::vector<double> monitor_open_rate, monitor_closed_rate;  // lines/s of each turn, paired in order
    double monitor_idle_cpu[2] = {-1, -1};                       // closed, open
    int pin_ticks = 0;
    double pin_wall = 0;
};
Results g_res;

Clock::time_point g_start, g_app_start;
bool g_shown = false;
bool g_failed = false;
size_t g_failed_step = 0;
std::string g_file_path;

// The phases run one after another from single-shot timers, so they run inside
// whatever loop is turning at the moment: app_main's, a link wait's, the panel's.
// A step returns DONE, FAIL, or the milliseconds after which to call it again.
constexpr int DONE = 0, FAIL = -1;
struct Step {
    const char* name;
    double limit_s;  // from the step's first call
    std::function<int()> run;
};
std::vector<Step> g_steps;
size_t g_step = 0;
bool g_step_started = false;
Clock::time_point g_step_start;

void schedule(int ms);

// A message box nobody asked for means a phase went wrong (no connection, a link error).
bool unexpected_box() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return false;
    std::fprintf(stderr, "ui_bench: unexpected message box: %s\n", box->text().toUtf8().constData());
    return true;
}

// Gives up: leaves every dialog so app_main returns and main reports the failure.
void abort_run(const char* why) {
    std::fprintf(stderr, "ui_bench: step '%s' %s\n", g_step < g_steps.size() ? g_steps[g_step].name : "?", why);
    g_failed = true;
    g_failed_step = g_step;
    g_step = g_steps.size();
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->done(0);
    if (g_win.panel && ui_dialog_alive(g_win.panel)) ui_end_dialog(g_win.panel, 2);
    if (g_win.main && ui_dialog_alive(g_win.main)) {
        if (session.connected) disconnect_target(g_win.main);
        ui_end_dialog(g_win.main, 1);
    }
}

void run_step() {
    if (g_step >= g_steps.size()) return;
    Step& step = g_steps[g_step];
    if (!g_step_started) {
        g_step_started = true;
        g_step_start = Clock::now();
    } else if (seconds_since(g_step_start) > step.limit_s) {
        abort_run("timed out");
        return;
    }
    if (unexpected_box()) {
        abort_run("failed");
        return;
    }
    int r = step.run();
    if (r == FAIL) {
        abort_run("failed");
        return;
    }
    if (r == DONE) {
        ++g_step;
        g_step_started = false;
        schedule(0);
        return;
    }
    schedule(r);
}

void schedule(int ms) { QTimer::singleShot(ms, qApp, run_step); }

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool main_alive() { return g_win.main && ui_dialog_alive(g_win.main); }

std::string row_text(int row) { return log_row_text(g_win.main, row); }

// The console's own log call, as run_command makes it for each row: kind and time
// recorded.
void add_log_row(UiWindow* w, const char* text, LogRowKind kind) {
    log_put_row(w, log_row_count(w), text, kind);
}

int step_log_rows() {
    if (!main_alive()) return FAIL;
    UiWindow* w = g_win.main;
    int before_rows = log_row_count(w);
    dispatch_pending_messages();
    long before = rss_bytes();
    char command[48], reply[16];
    auto t = Clock::now();
    for (int i = 0; i < LOG_PAIRS; ++i) {
        std::snprintf(reply, sizeof reply, "%d", 100000 + i % 900000);
        std::snprintf(command, sizeof command, "echo %s", reply);
        add_log_row(w, command, LOG_COMMAND);
        add_log_row(w, reply, LOG_REPLY);
        if ((2 * (i + 1)) % LOG_DISPATCH_EVERY == 0) dispatch_pending_messages();
        if (!main_alive()) return FAIL;
    }
    dispatch_pending_messages();
    g_res.log_seconds = seconds_since(t);
    long after = rss_bytes();
    int rows = log_row_count(w) - before_rows;
    std::string last = std::to_string(100000 + (LOG_PAIRS - 1) % 900000);
    if (rows != 2 * LOG_PAIRS || row_text(before_rows + 2 * LOG_PAIRS - 2) != "echo " + last ||
        row_text(before_rows + 2 * LOG_PAIRS - 1) != last) {
        std::fprintf(stderr, "ui_bench: log holds %d new rows, last \"%s\"\n", rows,
                     row_text(log_row_count(w) - 1).c_str());
        return FAIL;
    }
    if (before >= 0 && after >= 0) g_res.log_bytes_per_row = static_cast<double>(after - before) / (2.0 * LOG_PAIRS);
    return DONE;
}

// The same number of rows shown by the log's list from a source that makes each text
// from its index and keeps nothing: what the backend alone costs of the log's rate and
// memory. The log's own rows are bound again after it.
struct BareRows {
    int count = 0;
    char text[48];
};
BareRows g_bare;
int bare_count(UiWindow*) { return g_bare.count; }
const char* bare_text(UiWindow*, int row, int* length) {
    *length = std::snprintf(g_bare.text, sizeof g_bare.text, row % 2 ? "OK %d" : "G0 X%d Y20 Z30 F1000", row);
    return g_bare.text;
}
uint32_t bare_colour(UiWindow*, int) { return 0; }
const char* bare_tip(UiWindow*, int, int, int, int* length) {
    *length = 0;
    return "";
}
const UiRowSource BARE_ROWS = {bare_count, bare_text, bare_colour, bare_tip};

int step_list_rows() {
    if (!main_alive()) return FAIL;
    UiWindow* w = g_win.main;
    ui_list_bind(w, ID_LOG, &BARE_ROWS, 0xFFFFFF);
    dispatch_pending_messages();
    long before = rss_bytes();
    auto t = Clock::now();
    for (int i = 0; i < 2 * LOG_PAIRS; ++i) {
        ++g_bare.count;
        ui_list_inserted(w, ID_LOG, i);
        ui_list_ensure_visible(w, ID_LOG, i);
        if ((i + 1) % LOG_DISPATCH_EVERY == 0) dispatch_pending_messages();
        if (!main_alive()) return FAIL;
    }
    ui_list_select_all(w, ID_LOG);  // every row has reached the view
    int rows = 0;
    for (int r = ui_list_next_selected(w, ID_LOG, -1); r >= 0; r = ui_list_next_selected(w, ID_LOG, r)) {
        ++rows;
        if (r + 1 == 2 * LOG_PAIRS) break;
    }
    dispatch_pending_messages();
    g_res.list_seconds = seconds_since(t);
    long after = rss_bytes();
    ui_list_bind(w, ID_LOG, &LOG_ROWS, session.log.colours.background);
    if (rows != 2 * LOG_PAIRS) {
        std::fprintf(stderr, "ui_bench: the list shows %d rows\n", rows);
        return FAIL;
    }
    if (before >= 0 && after >= 0) g_res.list_bytes_per_row = static_cast<double>(after - before) / (2.0 * LOG_PAIRS);
    return DONE;
}

// Connect and disconnect go through the button's command, as a click would.
int step_connect() {
    static bool posted = false;
    if (!main_alive()) return FAIL;
    if (!posted) {
        posted = true;
        ui_post_command(g_win.main, ID_CONNECT);
        return 10;
    }
    // Connected, and the handler has finished: the command line is enabled last.
    if (session.connected && ui_is_enabled(g_win.main, ID_COMMAND) && !session.file_running) return DONE;
    return 10;
}

int step_idle_wait() {
    if (!main_alive() || !session.connected) return FAIL;
    char command[32];
    std::snprintf(command, sizeof command, "run %d", IDLE_WAIT_MS);
    double cpu = cpu_seconds();
    auto t = Clock::now();
    if (!run_command(g_win.main, command)) return FAIL;
    double wall = seconds_since(t);
    g_res.idle_wall.push_back(wall);
    g_res.idle_cpu.push_back((cpu_seconds() - cpu) / wall);
    std::string reply = row_text(log_row_count(g_win.main) - 1);
    if (reply != "done") {
        std::fprintf(stderr, "ui_bench: \"%s\" answered \"%s\"\n", command, reply.c_str());
        return FAIL;
    }
    return DONE;
}

// The bare link in the same process and event loop, for the file runner to be
// measured against. The two take turns in short chunks, so that a machine whose load
// drifts during a round tilts neither side.
struct Tally {
    double link_count = 0, link_seconds = 0, file_lines = 0, file_seconds = 0;
    double bare_lines = 0, bare_seconds = 0;
};
Tally g_tally;

int step_link_chunk() {
    if (!main_alive() || !session.link) return FAIL;
    char reply[256];
    auto t = Clock::now();
    for (int i = 0; i < LINK_EXCHANGES / CHUNKS; ++i) {
        if (!link_exchange(session.link, "ok", reply) || std::strcmp(reply, "ok") != 0) {
            std::fprintf(stderr, "ui_bench: link exchange %d failed (\"%s\")\n", i, reply);
            return FAIL;
        }
    }
    g_tally.link_seconds += seconds_since(t);
    g_tally.link_count += LINK_EXCHANGES / CHUNKS;
    return DONE;
}

// The Startup box route, as after a connect: the runner reads the box itself. The
// seconds the file took, or -1 when its rows are not what it should give.
double run_file() {
    UiWindow* w = g_win.main;
    ui_set_text(w, ID_STARTUP, g_file_path.c_str());
    int before = log_row_count(w);
    auto t = Clock::now();
    run_command_file(w, 1);
    double seconds = seconds_since(t);
    if (!main_alive()) return -1;
    ui_set_text(w, ID_STARTUP, "");
    int rows = log_row_count(w) - before;
    std::string last = row_text(log_row_count(w) - 1);
    if (rows != 2 * FILE_LINES / CHUNKS || last != "ok") {
        std::fprintf(stderr, "ui_bench: command file gave %d rows, last \"%s\"\n", rows, last.c_str());
        return -1;
    }
    return seconds;
}

// With the journal on, as an operator has it, or off, to see what the journal costs.
int file_chunk(bool journal) {
    if (!main_alive() || !session.connected) return FAIL;
    if (journal_is_on(&session.log.journal) != (journal ? 1 : 0)) journal_set_on(&session.log.journal, journal);
    double seconds = run_file();
    if (seconds < 0) return FAIL;
    (journal ? g_res.chunk_on : g_res.chunk_off).push_back((FILE_LINES / CHUNKS) / seconds);
    (journal ? g_tally.file_seconds : g_tally.bare_seconds) += seconds;
    (journal ? g_tally.file_lines : g_tally.bare_lines) += FILE_LINES / CHUNKS;
    return DONE;
}
int step_file_chunk() { return file_chunk(true); }
int step_bare_file_chunk() { return file_chunk(false); }

int step_round_end() {
    double link = g_tally.link_count / g_tally.link_seconds, file = g_tally.file_lines / g_tally.file_seconds;
    g_res.link_rate.push_back(link);
    g_res.file_rate.push_back(file);
    g_res.file_link_ratio.push_back(file / link);
    double bare = g_tally.bare_lines / g_tally.bare_seconds;
    g_res.bare_file_rate.push_back(bare);
    g_res.journal_ratio.push_back(file / bare);
    g_tally = Tally{};
    return DONE;
}

int step_open_panel() {
    static bool posted = false;
    if (!main_alive()) return FAIL;
    if (!posted) {
        posted = true;
        ui_post_syscommand(g_win.main, SYSCMD_PIN_PANEL);
        return 10;
    }
    return g_win.panel && ui_dialog_alive(g_win.panel) ? DONE : 10;
}

// One timer for the whole window, so the bench adds no wake-ups of its own.
int step_pin_poll() {
    static double cpu = 0;
    static Clock::time_point t;
    static int ticks = 0;
    static bool measuring = false;
    if (!g_win.panel || !ui_dialog_alive(g_win.panel)) return FAIL;
    if (!measuring) {
        measuring = true;
        ticks = g_win.panel_ticks;
        cpu = cpu_seconds();
        t = Clock::now();
        return PIN_POLL_WINDOW_MS;
    }
    double wall = seconds_since(t);
    g_res.pin_wall = wall;
    g_res.pin_cpu = (cpu_seconds() - cpu) / wall;
    g_res.pin_ticks = g_win.panel_ticks - ticks;
    if (!session.pins.have_reading || g_res.pin_ticks < PIN_POLL_WINDOW_MS / PIN_POLL_MS / 2) {
        std::fprintf(stderr, "ui_bench: pin panel polled %d times, reading %d\n", g_res.pin_ticks,
                     static_cast<int>(session.pins.have_reading));
        return FAIL;
    }
    ui_post_command(g_win.panel, UI_IDCANCEL);
    return DONE;
}

int step_close_panel() { return g_win.panel ? 10 : DONE; }

// The monitor through the window menu and its close box, as the operator opens and
// closes it; it samples from its own timer, as configured ([Monitor] PeriodMs=200).
Step open_monitor_step() {
    auto posted = std::make_shared<bool>(false);
    return {"open monitor", 10, [posted]() {
                if (!main_alive()) return FAIL;
                if (!*posted) {
                    *posted = true;
                    ui_post_syscommand(g_win.main, SYSCMD_MONITOR);
                    return 10;
                }
                return session.monitor ? DONE : 10;
            }};
}

Step close_monitor_step() {
    auto posted = std::make_shared<bool>(false);
    return {"close monitor", 10, [posted]() {
                if (!main_alive()) return FAIL;
                if (!*posted) {
                    *posted = true;
                    if (!session.monitor) return FAIL;
                    ui_post_command(session.monitor, UI_IDCANCEL);
                    return 10;
                }
                return session.monitor ? 10 : DONE;
            }};
}

Step monitor_turn_step(bool open) {
    return {"command file turn beside the monitor", 120, [open]() {
                if (!main_alive() || !session.connected || (session.monitor != nullptr) != open) return FAIL;
                journal_set_on(&session.log.journal, 1);
                double seconds = 0;
                for (int i = 0; i < MONITOR_FILE_RUNS; ++i) {
                    double one = run_file();
                    if (one < 0) return FAIL;
                    seconds += one;
                }
                (open ? g_res.monitor_open_rate : g_res.monitor_closed_rate)
                    .push_back(MONITOR_FILE_RUNS * (FILE_LINES / CHUNKS) / seconds);
                return DONE;
            }};
}

// The window idles, connected, with the controller quiet: what is left is the monitor's.
Step monitor_idle_step(bool open) {
    auto state = std::make_shared<std::pair<double, Clock::time_point>>();
    auto measuring = std::make_shared<bool>(false);
    return {"idle beside the monitor", MONITOR_IDLE_MS / 1000.0 + 10, [=]() {
                if (!main_alive() || !session.connected || (session.monitor != nullptr) != open) return FAIL;
                if (!*measuring) {
                    *measuring = true;
                    *state = {cpu_seconds(), Clock::now()};
                    return MONITOR_IDLE_MS;
                }
                g_res.monitor_idle_cpu[open ? 1 : 0] = (cpu_seconds() - state->first) / seconds_since(state->second);
                return DONE;
            }};
}

int step_disconnect() {
    static bool posted = false;
    if (!main_alive()) return FAIL;
    if (!posted) {
        posted = true;
        ui_post_command(g_win.main, ID_CONNECT);
        return 10;
    }
    return session.connected ? 10 : DONE;
}

// Not connected, so the close box ends the window without the exit question.
int step_exit() {
    if (!main_alive()) return FAIL;
    ui_post_command(g_win.main, UI_IDCANCEL);
    return DONE;
}

// The first top-level dialog shown is the main window.
class ShowWatch : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!g_shown && event->type() == QEvent::Show) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog && dialog->isWindow()) {
                g_shown = true;
                g_res.startup_ms = seconds_since(g_start) * 1000;
                g_res.startup_app_ms = seconds_since(g_app_start) * 1000;
                schedule(0);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

bool write_command_file(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    for (int i = 0; i < FILE_LINES / CHUNKS; ++i) std::fputs("ok\n", f);
    return std::fclose(f) == 0;
}

bool write_settings(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "[Connection]\nPort=%d\nBaud=115200\nStartup=\n[Monitor]\nPeriodMs=200\n", SIM_PORT);
    return std::fclose(f) == 0;
}

void print_monitor(const Results& r) {
    std::vector<double> beside;
    for (size_t i = 0; i < r.monitor_open_rate.size() && i < r.monitor_closed_rate.size(); ++i)
        beside.push_back(r.monitor_open_rate[i] / r.monitor_closed_rate[i]);
    std::printf("monitor: file lines per s open at 5 readings/s %.0f, closed %.0f; open/closed ratio, median of %zu "
                "paired turns: %.3f (goal >= 0.9)\n",
                median(r.monitor_open_rate), median(r.monitor_closed_rate), beside.size(), median(beside));
    std::printf("monitor: idle cpu open %.3f%%, closed %.3f%%; the monitor's own %.3f%% of a core (goal < 1%%)\n",
                r.monitor_idle_cpu[1] * 100, r.monitor_idle_cpu[0] * 100,
                (r.monitor_idle_cpu[1] - r.monitor_idle_cpu[0]) * 100);
}

}  // namespace

int bench_wrap_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context) {
    if (tmpl == &MAIN_DIALOG && !g_win.main_proc) {
        g_win.main_proc = proc;
        int result = bench_real_run_dialog(tmpl, owner, spy_main, context);
        g_win.main = nullptr;
        return result;
    }
    if (tmpl == &PIN_PANEL_DIALOG && !g_win.panel) {
        g_win.panel_proc = proc;
        int result = bench_real_run_dialog(tmpl, owner, spy_panel, context);
        g_win.panel = nullptr;
        return result;
    }
    return bench_real_run_dialog(tmpl, owner, proc, context);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 5 && std::strcmp(argv[1], "--start-child") == 0) return ui_start_child(argv[2], std::atoi(argv[3]), argv[4]);
    test_runtime_dir();
    watchdog_arm(WATCHDOG_S);

    SimProcess sim;
    if (!sim_start(&sim, SIM_PORT)) {
        std::fprintf(stderr, "ui_bench: cannot start zorv-sim\n");
        return 1;
    }
    // One folder for the settings, the command file and the journal, removed with the
    // test folder at exit.
    std::string base = test_temp_dir() + "/ui-bench";
    std::error_code made;
    std::filesystem::create_directories(base, made);
    std::string settings_file = base + "/zorvtalk.ini";
    g_file_path = base + "/bench.cmd";
    if (!write_settings(settings_file) || !write_command_file(g_file_path)) {
        std::fprintf(stderr, "ui_bench: cannot write in %s\n", base.c_str());
        sim_stop(&sim);
        return 1;
    }
    // Before anything else runs in this process: each start is a process of its own,
    // from a settings file without a port, as a first start is.
    std::string start_settings = base + "/start.ini";
    std::FILE* start_ini = std::fopen(start_settings.c_str(), "wb");
    if (start_ini) std::fclose(start_ini);
    double start_window_ms = 0, start_bare_ms = 0;
    // The status monitor's side-by-side runs alone, quickly.
    const bool monitor_only = argc == 2 && std::strcmp(argv[1], "--monitor-only") == 0;
    bool started = !monitor_only && ui_start_compare("/proc/self/exe", start_settings.c_str(), START_ROUNDS, &start_window_ms,
                                    &start_bare_ms);
    if (argc == 2 && std::strcmp(argv[1], "--start-only") == 0) {  // the start alone, quickly
        sim_stop(&sim);
        std::error_code ignored;
        std::filesystem::remove_all(base, ignored);
        if (!started) return 1;
        std::printf("start, exec to shown (median of %d): window %.0f ms, bare Qt dialog %.0f ms, window/bare %.2f\n",
                    START_ROUNDS, start_window_ms, start_bare_ms, start_window_ms / start_bare_ms);
        return 0;
    }
    settings_use_path(settings_file.c_str());

    g_steps = {
        {"log rows", 120, step_log_rows},
        {"list rows", 120, step_list_rows},
        {"connect", 15, step_connect},
    };
    if (monitor_only) g_steps = {{"connect", 15, step_connect}};
    for (int round = 0; round < (monitor_only ? 0 : ROUNDS); ++round) {
        g_steps.push_back({"idle wait", IDLE_WAIT_MS / 1000.0 + 10, step_idle_wait});
        for (int chunk = 0; chunk < CHUNKS; ++chunk) {
            // The three take turns in every order in turn, so that none always
            // follows the same other.
            const Step sides[3] = {{"link chunk", 60, step_link_chunk},
                                   {"command file chunk", 60, step_file_chunk},
                                   {"command file chunk, no journal", 60, step_bare_file_chunk}};
            static const int ORDERS[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
            for (int k : ORDERS[(round * CHUNKS + chunk) % 6]) g_steps.push_back(sides[k]);
        }
        g_steps.push_back({"round end", 10, step_round_end});
    }
    g_steps.push_back(monitor_idle_step(false));
    g_steps.push_back(open_monitor_step());
    g_steps.push_back(monitor_idle_step(true));
    for (int turn = 0; turn < MONITOR_TURNS; ++turn) {
        // Each side goes first in every other turn.
        if (turn % 2) g_steps.push_back(monitor_turn_step(true));
        g_steps.push_back(close_monitor_step());
        g_steps.push_back(monitor_turn_step(false));
        g_steps.push_back(open_monitor_step());
        if (!(turn % 2)) g_steps.push_back(monitor_turn_step(true));
    }
    g_steps.push_back(close_monitor_step());
    std::vector<Step> tail = {
        {"open pin panel", 10, step_open_panel},
        {"pin poll", PIN_POLL_WINDOW_MS / 1000.0 + 10, step_pin_poll},
        {"close pin panel", 10, step_close_panel},
        {"disconnect", 10, step_disconnect},
        {"exit", 10, step_exit},
    };
    if (monitor_only) tail.erase(tail.begin(), tail.begin() + 3);
    g_steps.insert(g_steps.end(), tail.begin(), tail.end());

    // Start-up is timed from just before the application object exists, as a
    // launch would see it, to the main window's Show event; the part inside
    // app_main alone is printed beside it.
    g_start = Clock::now();
    int code = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("ZORVTalk"));
        QApplication::setWindowIcon(ui_qt_program_icon());
        ShowWatch watch;
        app.installEventFilter(&watch);
        ui_init();
        g_app_start = Clock::now();
        code = app_main(&session);
        app.removeEventFilter(&watch);
    }
    sim_stop(&sim);
    settings_use_path(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);

    if (!g_failed && (!g_shown || g_step < g_steps.size() || code != 0)) {
        g_failed = true;
        g_failed_step = g_step;
    }
    if (g_failed) {
        std::fprintf(stderr, "ui_bench: failed (%zu of %zu steps done)\n", g_failed_step, g_steps.size());
        return 1;
    }

    const Results& r = g_res;
    if (monitor_only) {
        print_monitor(r);
        return 0;
    }
    std::printf("startup: %.1f ms from QApplication creation to the shown main window, %.1f ms of it in app_main\n",
                r.startup_ms, r.startup_app_ms);
    std::printf("log: %d rows in %.2f s\n", 2 * LOG_PAIRS, r.log_seconds);
    for (int i = 0; i < ROUNDS; ++i)
        std::printf("round %d: run %d took %.2f s at %.3f%% cpu; link %.0f/s, file %.0f lines/s, file/link %.2f\n", i + 1,
                    IDLE_WAIT_MS, r.idle_wall[i], r.idle_cpu[i] * 100, r.link_rate[i], r.file_rate[i],
                    r.file_link_ratio[i]);
    for (int i = 0; i < ROUNDS; ++i)
        std::printf("round %d: file without journal %.0f lines/s, with/without %.3f\n", i + 1, r.bare_file_rate[i],
                    r.journal_ratio[i]);
    std::printf("pin panel: %d polls in %.2f s\n", r.pin_ticks, r.pin_wall);
    std::printf("startup ms: %.0f\n", r.startup_ms);
    if (started)
        std::printf("start, exec to shown (median of %d): window %.0f ms, bare Qt dialog %.0f ms, window/bare %.2f\n",
                    START_ROUNDS, start_window_ms, start_bare_ms, start_window_ms / start_bare_ms);
    else
        std::printf("start: the side-by-side runs failed\n");
    std::printf("log rows per s: %.0f\n", 2 * LOG_PAIRS / r.log_seconds);
    std::printf("log bytes per row: %.0f\n", r.log_bytes_per_row);
    std::printf("list alone: rows per s %.0f, bytes per row %.0f\n", 2 * LOG_PAIRS / r.list_seconds,
                r.list_bytes_per_row);
    std::printf("log/list alone ratio: rows per s %.2f\n", r.list_seconds / r.log_seconds);
    std::printf("idle wait cpu: %.3f%%\n", median(r.idle_cpu) * 100);
    std::printf("link exchanges per s: %.0f\n", median(r.link_rate));
    std::printf("file lines per s: %.0f\n", median(r.file_rate));
    std::printf("file/link ratio: %.2f\n", median(r.file_link_ratio));
    std::printf("file lines per s without journal: %.0f\n", median(r.bare_file_rate));
    std::printf("file with/without journal ratio: %.3f\n", median(r.journal_ratio));
    // Chunks of one turn ran side by side: their ratios shrug off a machine whose
    // load changes from round to round.
    std::vector<double> paired;
    for (size_t i = 0; i < r.chunk_on.size() && i < r.chunk_off.size(); ++i)
        paired.push_back(r.chunk_on[i] / r.chunk_off[i]);
    std::printf("file with/without journal ratio, median of %zu paired chunks: %.3f\n", paired.size(), median(paired));
    std::printf("pin poll cpu: %.2f%%\n", r.pin_cpu * 100);
    print_monitor(r);
    return 0;
}
