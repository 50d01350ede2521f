// The simulated controller's protocol state machine: line assembly, control bytes, pin
// transactions, the command language and the reply-level fault switches.
#include "controller.h"
#include "words.h"

#include <cstdio>
#include <vector>

const char* const SIM_COMMAND_HELP =
    "commands: echo TEXT | ok | run MS | move AXIS TARGET [AXIS TARGET...] MS | "
    "set q|x|y|z|w N | pos [X Y Z W] | pins [loop | data|status|control HEX] | "
    "len N | stream MS [COUNT] | bytes HH... | help";

namespace {

// splitmix64: small, seedable, and the same sequence everywhere.
uint64_t next_random(SimController& c) {
    uint64_t z = (c.rng += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::string hex_bytes(const std::string& s) {
    std::string r;
    char buf[4];
    for (unsigned char b : s) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        if (!r.empty()) r += ' ';
        r += buf;
    }
    return r;
}

// Hex for exactness, then the printable rendering for people reading the trace.
std::string describe(const std::string& s) {
    std::string r = hex_bytes(s);
    if (!r.empty()) r += ' ';
    r += '|';
    for (unsigned char b : s) r += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    r += '|';
    return r;
}

void trace(SimController& c, const std::string& s) {
    if (c.opt.log) c.log.push_back(s);
}

void queue_unit(SimController& c, std::string unit) {
    if (c.muted) {
        trace(c, "drop " + describe(unit));
        return;
    }
    trace(c, "send " + describe(unit));
    if (!unit.empty()) c.out.push_back(std::move(unit));
}

std::string line_end(const SimController& c) { return c.opt.crlf ? "\r\n" : "\r"; }

// Every command line ends here exactly once; the fault switches act on this count.
void reply(SimController& c, const std::string& text) {
    c.replies++;
    std::string unit;
    if (c.opt.garbage &&
        static_cast<int>(next_random(c) % 100) < c.opt.garbage_percent) {
        int n = 1 + static_cast<int>(next_random(c) % 4);
        for (int i = 0; i < n; i++) {
            uint8_t b = static_cast<uint8_t>(next_random(c));
            // A CR would end a line: garbage must never look like a complete reply.
            if (b == SIM_CR) b = 0x0E;
            unit += static_cast<char>(b);
        }
    }
    if (c.replies == c.opt.stall_after) {
        unit += text.substr(0, (text.size() + 1) / 2);
        queue_unit(c, std::move(unit));
        trace(c, "stall");
        c.muted = true;
    } else {
        // In the same unit: the stray bytes are already there when the next command
        // goes (a chatty controller's flood, too: it starts right behind the reply).
        std::string flood;
        for (long i = 1; i <= c.opt.flood; i++) {
            char line[40];
            std::snprintf(line, sizeof line, "unasked line %04ld", i % 10000);
            flood += line + line_end(c);
        }
        queue_unit(c, unit + text + line_end(c) + c.opt.stray + flood);
    }
    if (c.replies == c.opt.hangup_after) {
        trace(c, "hangup");
        c.muted = true;
        c.hangup = true;
    }
}

void interpolate(const SimController& c, int32_t out[4]) {
    for (int i = 0; i < 4; i++) {
        if (c.running && c.is_move && c.duration_ms > 0) {
            int64_t span = static_cast<int64_t>(c.move_to[i]) - c.move_from[i];
            out[i] = static_cast<int32_t>(c.move_from[i] + span * c.elapsed_ms / c.duration_ms);
        } else {
            out[i] = c.pos[i];
        }
    }
}

void advance(SimController& c, int64_t now_ms) {
    if (c.running && !c.paused && now_ms > c.last_ms) {
        c.elapsed_ms += now_ms - c.last_ms;
        if (c.elapsed_ms > c.duration_ms) c.elapsed_ms = c.duration_ms;
    }
    if (now_ms > c.last_ms) c.last_ms = now_ms;
}

// Ends the timed command where it stands (a move keeps the position reached).
void end_timed(SimController& c) {
    int32_t now_pos[4];
    interpolate(c, now_pos);
    for (int i = 0; i < 4; i++) c.pos[i] = now_pos[i];
    c.running = false;
    c.paused = false;
    c.is_move = false;
    c.stream_every_ms = 0;
}

// A streaming command's bytes due by now, each its own unit as it would trickle out.
void stream_bytes(SimController& c) {
    if (!c.running || c.stream_every_ms <= 0) return;
    while ((c.stream_sent + 1) * c.stream_every_ms <= c.elapsed_ms) {
        c.stream_sent++;
        if (!c.muted) c.out.push_back("x");
    }
}

void start_timed(SimController& c, bool is_move, int64_t ms) {
    if (ms == 0) {
        if (is_move)
            for (int i = 0; i < 4; i++) c.pos[i] = c.move_to[i];
        reply(c, "done");
        return;
    }
    c.running = true;
    c.paused = false;
    c.is_move = is_move;
    c.duration_ms = ms;
    c.elapsed_ms = 0;
}

std::string pins_text(const SimController& c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "data=%02X status=%02X control=%02X", sim_port_value(c, 1),
                  sim_port_value(c, 2), sim_port_value(c, 3));
    return buf;
}

void cmd_pins(SimController& c, const std::vector<std::string>& w) {
    if (w.size() == 1) {
        reply(c, pins_text(c));
        return;
    }
    std::string sub = lower(w[1]);
    if (sub == "loop" && w.size() == 2) {
        c.status_override = -1;
        reply(c, "ok");
        return;
    }
    uint8_t v;
    if (w.size() == 3 && parse_hex_byte(w[2], &v)) {
        if (sub == "data") {
            c.data_latch = v;
            reply(c, "ok");
            return;
        }
        if (sub == "status") {
            c.status_override = v;
            reply(c, "ok");
            return;
        }
        if (sub == "control") {
            c.control_latch = v & 0x0F;
            reply(c, "ok");
            return;
        }
    }
    reply(c, "ERR usage: pins [loop | data|status|control HEX]");
}

void cmd_move(SimController& c, const std::vector<std::string>& w) {
    size_t args = w.size() - 1;
    if (args < 3 || args % 2 == 0) {
        reply(c, "ERR usage: move AXIS TARGET [AXIS TARGET...] MS");
        return;
    }
    int32_t to[4];
    for (int i = 0; i < 4; i++) to[i] = c.pos[i];
    for (size_t i = 1; i + 1 < w.size(); i += 2) {
        int axis = axis_index(w[i]);
        int64_t v;
        if (axis < 0 || axis > 3) {
            reply(c, "ERR bad axis: " + w[i].substr(0, 32));
            return;
        }
        if (!parse_int(w[i + 1], INT32_MIN, INT32_MAX, &v)) {
            reply(c, "ERR bad number: " + w[i + 1].substr(0, 32));
            return;
        }
        to[axis] = static_cast<int32_t>(v);
    }
    int64_t ms;
    if (!parse_int(w.back(), 0, SIM_MAX_RUN_MS, &ms)) {
        reply(c, "ERR bad time: " + w.back().substr(0, 32));
        return;
    }
    for (int i = 0; i < 4; i++) {
        c.move_from[i] = c.pos[i];
        c.move_to[i] = to[i];
    }
    start_timed(c, true, ms);
}

void execute(SimController& c, const std::string& text, bool too_long) {
    if (too_long) {
        reply(c, "ERR line too long");
        return;
    }
    std::vector<std::string> w = split_words(text);
    if (w.empty()) {
        reply(c, "");
        return;
    }
    std::string cmd = lower(w[0]);
    int64_t v;
    if (cmd == "echo") {
        // The text after the word and one separator, byte for byte.
        size_t at = text.find_first_not_of(" \t");
        at += w[0].size();
        if (at < text.size()) at++;
        reply(c, text.substr(at));
    } else if (cmd == "ok" && w.size() == 1) {
        reply(c, "ok");
    } else if (cmd == "help") {
        reply(c, SIM_COMMAND_HELP);
    } else if (cmd == "run") {
        if (w.size() == 2 && parse_int(w[1], 0, SIM_MAX_RUN_MS, &v))
            start_timed(c, false, v);
        else
            reply(c, "ERR usage: run MS");
    } else if (cmd == "stream") {
        // 'x' every MS ms and no CR, for ever or COUNT times; stop ends the line.
        int64_t count = 0;
        if ((w.size() == 2 || w.size() == 3) && parse_int(w[1], 1, SIM_MAX_STREAM_EVERY_MS, &v) &&
            (w.size() == 2 || parse_int(w[2], 0, SIM_MAX_RUN_MS, &count))) {
            start_timed(c, false, count > 0 ? v * count : SIM_MAX_RUN_MS);
            if (c.running) {
                c.stream_every_ms = v;
                c.stream_sent = 0;
            }
        } else {
            reply(c, "ERR usage: stream MS [COUNT]");
        }
    } else if (cmd == "move") {
        cmd_move(c, w);
    } else if (cmd == "set") {
        int axis = w.size() == 3 ? axis_index(w[1]) : -1;
        if (axis == 4 && parse_int(w[2], INT16_MIN, INT16_MAX, &v)) {
            c.q = static_cast<int16_t>(v);
            reply(c, "ok");
        } else if (axis >= 0 && axis < 4 && parse_int(w[2], INT32_MIN, INT32_MAX, &v)) {
            c.pos[axis] = static_cast<int32_t>(v);
            reply(c, "ok");
        } else {
            reply(c, "ERR usage: set q|x|y|z|w N");
        }
    } else if (cmd == "pos") {
        if (w.size() == 1) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "q=%d x=%d y=%d z=%d w=%d", c.q, c.pos[0], c.pos[1],
                          c.pos[2], c.pos[3]);
            reply(c, buf);
            return;
        }
        int64_t p[4];
        bool good = w.size() == 5;
        for (int i = 0; good && i < 4; i++) good = parse_int(w[1 + i], INT32_MIN, INT32_MAX, &p[i]);
        if (!good) {
            reply(c, "ERR usage: pos [X Y Z W]");
            return;
        }
        for (int i = 0; i < 4; i++) c.pos[i] = static_cast<int32_t>(p[i]);
        reply(c, "ok");
    } else if (cmd == "pins") {
        cmd_pins(c, w);
    } else if (cmd == "len") {
        if (w.size() == 2 && parse_int(w[1], 0, SIM_MAX_LEN_REPLY, &v))
            reply(c, std::string(static_cast<size_t>(v), 'a'));
        else
            reply(c, "ERR usage: len N");
    } else if (cmd == "bytes") {
        // Bytes a command line cannot carry (control bytes), for tests of what a
        // front end does with them. CR would end the reply early, so it is refused.
        std::string out;
        uint8_t b = 0;
        bool ok = w.size() >= 2;
        for (size_t i = 1; ok && i < w.size(); i++) {
            ok = parse_hex_byte(w[i], &b) && b != '\r';
            out += static_cast<char>(b);
        }
        reply(c, ok ? out : "ERR usage: bytes HH [HH...] (no 0D)");
    } else {
        reply(c, "ERR unknown command: " + w[0].substr(0, 32));
    }
}

// Lines that arrived while a command ran are executed in order once it is over.
void run_pending(SimController& c) {
    while (!c.running) {
        if (!c.pending.empty()) {
            SimPendingLine l = std::move(c.pending.front());
            c.pending.pop_front();
            execute(c, l.text, l.too_long);
        } else if (c.pending_refused > 0) {
            c.pending_refused--;
            reply(c, "ERR busy: line dropped");
        } else {
            break;
        }
    }
}

void finish(SimController& c, const char* text) {
    end_timed(c);
    reply(c, text);
    run_pending(c);
}

// The terminal resets and purges before greeting, so everything in flight is void.
void greet(SimController& c) {
    trace(c, "greet");
    if (c.running) end_timed(c);
    c.pending.clear();
    c.pending_refused = 0;
    sim_output_discard(c);
    switch (c.opt.greeting) {
        case SIM_GREET_CR: queue_unit(c, line_end(c)); break;
        case SIM_GREET_OK: queue_unit(c, "OK" + line_end(c)); break;
        case SIM_GREET_NONE: break;
    }
}

void end_line(SimController& c) {
    std::string text;
    text.swap(c.line);
    bool too_long = c.line_too_long;
    c.line_too_long = false;
    trace(c, "line " + describe(text) + (too_long ? " (too long)" : ""));
    if (!too_long && text == "A") {
        greet(c);
        return;
    }
    if (c.running || !c.pending.empty() || c.pending_refused > 0) {
        if (c.pending_refused == 0 && c.pending.size() < SIM_MAX_PENDING)
            c.pending.push_back(SimPendingLine{std::move(text), too_long});
        else
            c.pending_refused++;
        return;
    }
    execute(c, text, too_long);
}

void control(SimController& c, uint8_t b) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "ctrl %02x", b);
    trace(c, buf);
    if (b == SIM_STOP) {
        if (c.running) finish(c, "stopped");
    } else if (b == SIM_PAUSE) {
        if (c.running) c.paused = true;
    } else if (b == SIM_CONTINUE) {
        c.paused = false;
    } else if (b == SIM_REPORT && c.opt.drop_reports > 0) {
        --c.opt.drop_reports;
        trace(c, "report dropped");
    } else if (b == SIM_REPORT) {
        int32_t p[4];
        interpolate(c, p);
        std::string unit(1, static_cast<char>(SIM_REPORT));
        auto put = [&unit](uint32_t v, int bytes) {
            for (int i = 0; i < bytes; i++) unit += static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        put(static_cast<uint16_t>(c.q), 2);
        for (int i = 0; i < 4; i++) put(static_cast<uint32_t>(p[i]), 4);
        if (c.opt.report_cut >= 0) unit.resize(1 + static_cast<size_t>(c.opt.report_cut));
        queue_unit(c, std::move(unit));
    }
}

int pin_value_count(uint8_t cmd) {
    return ((cmd >> 4) & 1) + ((cmd >> 5) & 1) + ((cmd >> 6) & 1);
}

void pin_transaction(SimController& c) {
    uint8_t cmd = static_cast<uint8_t>(c.pin_cmd);
    trace(c, "pin " + hex_bytes(std::string(1, static_cast<char>(cmd)) + c.pin_values));
    size_t k = 0;
    if (cmd & 0x10) c.data_latch = static_cast<uint8_t>(c.pin_values[k++]);
    if (cmd & 0x20) k++;  // the status port is an input: writes are ignored
    if (cmd & 0x40) c.control_latch = static_cast<uint8_t>(c.pin_values[k++]) & 0x0F;
    std::string unit(1, static_cast<char>(c.opt.bad_pins ? 0x08 : 0x80 | ((cmd & 0x07) << 4)));
    for (int port = 1; port <= 3; port++)
        if (cmd & (1 << (port - 1))) unit += static_cast<char>(sim_port_value(c, port));
    c.pin_cmd = -1;
    c.pin_values.clear();
    queue_unit(c, std::move(unit));
}

}  // namespace

void sim_init(SimController& c, const SimOptions& opt) {
    c = SimController();
    c.opt = opt;
    c.rng = opt.seed;
    c.status_override = opt.status_override;
}

void sim_feed(SimController& c, const uint8_t* data, size_t n, int64_t now_ms) {
    sim_tick(c, now_ms);
    for (size_t i = 0; i < n; i++) {
        uint8_t b = data[i];
        if (c.pin_cmd >= 0) {
            // Pin values are raw: CR, control bytes and 0x12 are data here.
            c.pin_values += static_cast<char>(b);
            if (static_cast<int>(c.pin_values.size()) == pin_value_count(static_cast<uint8_t>(c.pin_cmd)))
                pin_transaction(c);
            continue;
        }
        if (b == SIM_STOP || b == SIM_PAUSE || b == SIM_CONTINUE || b == SIM_REPORT) {
            control(c, b);
        } else if (b == SIM_LF) {
            continue;
        } else if (b == SIM_CR) {
            end_line(c);
        } else if ((b & 0x88) == 0x88 && c.line.empty() && !c.line_too_long) {
            // Only at a line's start; elsewhere bytes >= 0x80 are ordinary text.
            c.pin_cmd = b;
            c.pin_values.clear();
            if (pin_value_count(b) == 0) pin_transaction(c);
        } else if (c.line.size() < SIM_MAX_LINE) {
            c.line += static_cast<char>(b);
        } else {
            c.line_too_long = true;
        }
    }
}

void sim_tick(SimController& c, int64_t now_ms) {
    advance(c, now_ms);
    stream_bytes(c);
    if (c.running && !c.paused && c.elapsed_ms >= c.duration_ms) finish(c, "done");
}

int64_t sim_ms_until_next(const SimController& c, int64_t now_ms) {
    if (!c.running || c.paused) return -1;
    int64_t due = c.duration_ms;
    if (c.stream_every_ms > 0 && (c.stream_sent + 1) * c.stream_every_ms < due) due = (c.stream_sent + 1) * c.stream_every_ms;
    int64_t left = due - c.elapsed_ms - (now_ms > c.last_ms ? now_ms - c.last_ms : 0);
    return left > 0 ? left : 0;
}

void sim_positions(const SimController& c, int32_t out[4]) { interpolate(c, out); }

uint8_t sim_port_value(const SimController& c, int port) {
    switch (port) {
        case 1: return c.data_latch;
        case 2:
            if (c.status_override >= 0) return static_cast<uint8_t>(c.status_override);
            // Loopback plug: data bits 0..4 drive status bits 3..7; bit 7 (BUSY) reads inverted.
            return static_cast<uint8_t>(((c.data_latch & 0x1F) << 3) ^ 0x80);
        case 3: return c.control_latch;
        default: return 0;
    }
}

bool sim_output_pending(const SimController& c) { return !c.out.empty(); }

const char* sim_output_front(const SimController& c, size_t* len) {
    if (c.out.empty()) {
        *len = 0;
        return nullptr;
    }
    *len = c.out.front().size() - c.out_sent;
    return c.out.front().data() + c.out_sent;
}

void sim_output_consume(SimController& c, size_t n) {
    while (n > 0 && !c.out.empty()) {
        size_t left = c.out.front().size() - c.out_sent;
        size_t take = n < left ? n : left;
        c.out_sent += take;
        n -= take;
        if (c.out_sent == c.out.front().size()) {
            c.out.pop_front();
            c.out_sent = 0;
        }
    }
}

void sim_output_discard(SimController& c) {
    c.out.clear();
    c.out_sent = 0;
}

bool sim_hangup_due(const SimController& c) { return c.hangup && c.out.empty(); }
