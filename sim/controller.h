// The simulated controller's protocol state machine, free of any I/O: bytes go in with
// the current time, whole output units (reply lines, reports, pin replies) come out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

enum SimGreeting { SIM_GREET_CR, SIM_GREET_OK, SIM_GREET_NONE };

// Protocol bytes as seen from the controller's side.
constexpr uint8_t SIM_CR = 0x0D;
constexpr uint8_t SIM_LF = 0x0A;
constexpr uint8_t SIM_STOP = 0x01;
constexpr uint8_t SIM_PAUSE = 0x02;
constexpr uint8_t SIM_CONTINUE = 0x03;
constexpr uint8_t SIM_REPORT = 0x12;

// Longest command line kept; longer lines are consumed to their CR and refused.
constexpr size_t SIM_MAX_LINE = 4096;
// Lines that arrive while a command runs wait here; beyond this they are refused in turn.
constexpr size_t SIM_MAX_PENDING = 256;
constexpr long SIM_MAX_LEN_REPLY = 1048576;
constexpr long SIM_MAX_RUN_MS = 86400000;
constexpr long SIM_MAX_STREAM_EVERY_MS = 60000;

struct SimOptions {
    bool crlf = false;                 // end every reply line with CR LF
    SimGreeting greeting = SIM_GREET_CR;
    long stall_after = 0;              // command reply number that is cut in half; 0: never
    long hangup_after = 0;             // hang up once this many command replies went out; 0: never
    bool garbage = false;              // random non-CR bytes ahead of some command replies
    int garbage_percent = 50;          // chance per command reply, 0..100
    uint64_t seed = 1;
    int status_override = -1;          // fixed status port value, -1: loopback from data
    bool log = false;                  // collect trace lines in SimController::log
    std::string stray;                 // unsolicited bytes sent right behind every command reply
    bool bad_pins = false;             // pin replies begin with 0x08, which is no pin reply
    long flood = 0;                    // unasked lines sent behind every command reply
    int report_cut = -1;               // reports carry only this many body bytes; -1: all 18
    long drop_reports = 0;             // report requests left unanswered, the first ones
};

struct SimPendingLine {
    std::string text;
    bool too_long = false;
};

struct SimController {
    SimOptions opt;
    uint64_t rng = 0;

    // Input side.
    std::string line;                  // text of the line being collected
    bool line_too_long = false;
    int pin_cmd = -1;                  // pin command byte whose values are still arriving
    std::string pin_values;            // values of pin_cmd received so far

    // Execution: at most one timed command runs; later lines queue behind it.
    bool running = false;
    bool paused = false;
    bool is_move = false;
    int64_t stream_every_ms = 0;       // `stream`: one 'x' per this many ms, no CR until it ends
    int64_t stream_sent = 0;
    int64_t duration_ms = 0;
    int64_t elapsed_ms = 0;
    int64_t last_ms = 0;               // time up to which elapsed_ms is accounted
    int32_t move_from[4] = {0, 0, 0, 0};
    int32_t move_to[4] = {0, 0, 0, 0};
    std::deque<SimPendingLine> pending;
    long pending_refused = 0;          // lines beyond SIM_MAX_PENDING, refused in turn

    // Machine state visible through reports and pins.
    int16_t q = 0;
    int32_t pos[4] = {0, 0, 0, 0};     // X, Y, Z, W
    uint8_t data_latch = 0;
    uint8_t control_latch = 0;         // low 4 bits only
    int status_override = -1;

    // Output side: whole units, sent in order; out_sent bytes of the front unit are gone.
    std::deque<std::string> out;
    size_t out_sent = 0;
    long replies = 0;                  // command replies produced since start
    bool muted = false;                // stalled or hanging up: nothing more is queued
    bool hangup = false;               // hang up once the queued output is gone

    std::deque<std::string> log;       // trace lines, when opt.log is set
};

void sim_init(SimController& c, const SimOptions& opt);

// Process received bytes at time now_ms (monotonic milliseconds).
void sim_feed(SimController& c, const uint8_t* data, size_t n, int64_t now_ms);

// Let time pass: finishes a timed command whose time has come and runs queued lines.
void sim_tick(SimController& c, int64_t now_ms);

// Milliseconds until sim_tick has work to do, or -1 when nothing is scheduled.
int64_t sim_ms_until_next(const SimController& c, int64_t now_ms);

// Current positions (a move in progress is interpolated as of the last feed or tick).
void sim_positions(const SimController& c, int32_t out[4]);

// Current value of pin port 1..3 as a pin transaction would read it.
uint8_t sim_port_value(const SimController& c, int port);

// Output access for the I/O layer: the unsent rest of the front unit, and its consumption.
bool sim_output_pending(const SimController& c);
const char* sim_output_front(const SimController& c, size_t* len);
void sim_output_consume(SimController& c, size_t n);

// Drop every unsent byte (nobody is listening any more).
void sim_output_discard(SimController& c);

// True once a hang-up was asked for and all output before it has been taken.
bool sim_hangup_due(const SimController& c);

// One-line summary of the command language, also used by --help.
extern const char* const SIM_COMMAND_HELP;
