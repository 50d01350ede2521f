// Unit tests of the simulated controller's state machine: bytes in, bytes out, with an
// injected clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller.h"

namespace {

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

void feed(SimController& c, const std::string& s, int64_t now) {
    sim_feed(c, reinterpret_cast<const uint8_t*>(s.data()), s.size(), now);
}

// Everything queued for sending, as the I/O layer would take it.
std::string drain(SimController& c) {
    std::string r;
    while (sim_output_pending(c)) {
        size_t len;
        const char* p = sim_output_front(c, &len);
        r.append(p, len);
        sim_output_consume(c, len);
    }
    return r;
}

std::string report(int16_t q, int32_t x, int32_t y, int32_t z, int32_t w) {
    std::string r(1, '\x12');
    auto put = [&r](uint32_t v, int n) {
        for (int i = 0; i < n; i++) r += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(static_cast<uint16_t>(q), 2);
    for (int32_t v : {x, y, z, w}) put(static_cast<uint32_t>(v), 4);
    return r;
}

struct Exchange {
    const char* name;
    std::string in;
    std::string out;
};

TEST(SimLines, EachLineGetsItsReply) {
    const std::vector<Exchange> cases = {
        {"greeting", "A\r", "\r"},
        {"greeting is exact", "a\r", "ERR unknown command: a\r"},
        {"echo keeps the text", "echo  two  spaces\r", " two  spaces\r"},
        {"bare echo", "echo\r", "\r"},
        {"ok", "ok\r", "ok\r"},
        {"words are case-insensitive", "OK\rEcHo X\r", "ok\rX\r"},
        {"empty line", "\r", "\r"},
        {"blank line", "  \t\r", "\r"},
        {"LF is ignored", "\nok\n\r\n", "ok\r"},
        {"LF inside a word", "o\nk\r", "ok\r"},
        {"unknown", "xyz 1\r", "ERR unknown command: xyz\r"},
        {"set and pos", "set q -2\rpos 1 -100000 -1 10000\rpos\r",
         "ok\rok\rq=-2 x=1 y=-100000 z=-1 w=10000\r"},
        {"q is 16-bit", "set q 32768\r", "ERR usage: set q|x|y|z|w N\r"},
        {"axis range", "set x 2147483648\r", "ERR usage: set q|x|y|z|w N\r"},
        {"pos needs four", "pos 1 2 3\r", "ERR usage: pos [X Y Z W]\r"},
        {"run needs a number", "run soon\rrun -1\rrun\r",
         "ERR usage: run MS\rERR usage: run MS\rERR usage: run MS\r"},
        {"run 0 is done at once", "run 0\r", "done\r"},
        {"move 0 jumps", "move x 5 y -7 0\rpos\r", "done\rq=0 x=5 y=-7 z=0 w=0\r"},
        {"move bad axis", "move v 5 10\r", "ERR bad axis: v\r"},
        {"move bad target", "move x 5x 10\r", "ERR bad number: 5x\r"},
        {"move even args", "move x 5 y 10\r", "ERR usage: move AXIS TARGET [AXIS TARGET...] MS\r"},
        {"len", "len 3\rlen 0\r", "aaa\r\r"},
        {"len limit", "len 1048577\r", "ERR usage: len N\r"},
        {"bytes", "bytes 1b 5B 07 7f\rbytes 41 0d\rbytes\r",
         "\x1b[\x07\x7f\rERR usage: bytes HH [HH...] (no 0D)\rERR usage: bytes HH [HH...] (no 0D)\r"},
        {"high bytes mid-line are text", "echo \x88\x8f\xff\r", "\x88\x8f\xff\r"},
        {"other control bytes are text", std::string("echo a\x00\x04" "b\r", 10),
         std::string("a\x00\x04" "b\r", 5)},
        {"control bytes are not text", "ec\x02ho \x03hi\r", "hi\r"},
    };
    for (const auto& t : cases) {
        SimController c;
        sim_init(c, SimOptions());
        feed(c, t.in, 0);
        EXPECT_EQ(drain(c), t.out) << t.name;
    }
}

TEST(SimLines, OverlongLineIsRefusedWhole) {
    SimController c;
    sim_init(c, SimOptions());
    feed(c, "echo " + std::string(SIM_MAX_LINE + 10, 'b') + "\rok\r", 0);
    EXPECT_EQ(drain(c), "ERR line too long\rok\r");
    // The kept maximum itself is still a line.
    feed(c, "echo " + std::string(SIM_MAX_LINE - 5, 'b') + "\r", 0);
    EXPECT_EQ(drain(c), std::string(SIM_MAX_LINE - 5, 'b') + "\r");
}

TEST(SimGreeting, ModesAndLineEnds) {
    struct Case {
        SimGreeting mode;
        bool crlf;
        std::string out;
    };
    const std::vector<Case> cases = {
        {SIM_GREET_CR, false, "\rok\r"},
        {SIM_GREET_OK, false, "OK\rok\r"},
        {SIM_GREET_NONE, false, "ok\r"},
        {SIM_GREET_CR, true, "\r\nok\r\n"},
        {SIM_GREET_OK, true, "OK\r\nok\r\n"},
    };
    for (const auto& t : cases) {
        SimOptions o;
        o.greeting = t.mode;
        o.crlf = t.crlf;
        SimController c;
        sim_init(c, o);
        feed(c, "A\rok\r", 0);
        EXPECT_EQ(drain(c), t.out) << t.mode << " " << t.crlf;
    }
}

TEST(SimGreeting, ResetsRunningCommandAndVoidsOutput) {
    SimController c;
    sim_init(c, SimOptions());
    feed(c, "move x 1000 1000\recho queued\r", 0);
    feed(c, "\x12", 500);  // unsent report: void after the reset
    feed(c, "A\r", 600);
    EXPECT_EQ(drain(c), "\r");  // no "stopped", no report, no queued echo
    EXPECT_EQ(sim_ms_until_next(c, 600), -1);
    feed(c, "pos\r", 2000);
    EXPECT_EQ(drain(c), "q=0 x=600 y=0 z=0 w=0\r");  // the position reached stays
}

TEST(SimReport, WireEncoding) {
    SimController c;
    sim_init(c, SimOptions());
    feed(c, "set q -2\rpos 1 -100000 -1 10000\r", 0);
    drain(c);
    feed(c, "\x12", 0);
    EXPECT_EQ(drain(c), bytes({0x12, 0xFE, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x60, 0x79, 0xFE, 0xFF,
                               0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x27, 0x00, 0x00}));
}

TEST(SimTimed, StopPauseContinue) {
    struct Step {
        int64_t at;
        std::string in;  // empty: just a tick
        std::string out;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"runs to the end", {{0, "run 500\r", ""}, {499, "", ""}, {500, "", "done\r"}}},
        {"stop ends at once", {{0, "run 500\r", ""}, {100, "\x01", "stopped\r"}, {600, "", ""}}},
        {"stop when idle says nothing", {{0, "\x01\x02\x03", ""}, {1, "ok\r", "ok\r"}}},
        {"pause holds time",
         {{0, "run 500\r", ""},
          {100, "\x02", ""},
          {5000, "", ""},
          {5000, "\x03", ""},
          {5399, "", ""},
          {5400, "", "done\r"}}},
        {"stop while paused", {{0, "run 500\r\x02", ""}, {900, "\x01", "stopped\r"}}},
        {"pause when idle does not stick",
         {{0, "\x02run 100\r", ""}, {100, "", "done\r"}}},
        {"lines wait for the running command",
         {{0, "run 300\recho one\rrun 0\r", ""},
          {100, "echo two\r", ""},
          {300, "", "done\rone\rdone\rtwo\r"}}},
        {"stream trickles without a CR until stopped",
         {{0, "stream 10\r", ""}, {9, "", ""}, {25, "", "xx"}, {30, "", "x"}, {31, "\x01", "stopped\r"}}},
        {"stream with a count ends done", {{0, "stream 10 2\r", ""}, {20, "", "xxdone\r"}}},
        {"report and pins go ahead of the reply",
         {{0, "run 300\r", ""},
          {100, "\x12\x8f", report(0, 0, 0, 0, 0) + bytes({0xF0, 0x00, 0x80, 0x00})},
          {300, "", "done\r"}}},
    };
    for (const auto& t : cases) {
        SimController c;
        sim_init(c, SimOptions());
        for (const auto& s : t.steps) {
            if (s.in.empty())
                sim_tick(c, s.at);
            else
                feed(c, s.in, s.at);
            EXPECT_EQ(drain(c), s.out) << t.name << " at " << s.at;
        }
    }
}

TEST(SimTimed, QueueOverflowKeepsOneReplyPerLine) {
    SimController c;
    sim_init(c, SimOptions());
    feed(c, "run 10\r", 0);
    for (size_t i = 0; i < SIM_MAX_PENDING + 2; i++) feed(c, "ok\r", 1);
    sim_tick(c, 10);
    std::string expect = "done\r";
    for (size_t i = 0; i < SIM_MAX_PENDING; i++) expect += "ok\r";
    expect += "ERR busy: line dropped\rERR busy: line dropped\r";
    EXPECT_EQ(drain(c), expect);
    feed(c, "ok\r", 11);
    EXPECT_EQ(drain(c), "ok\r");
}

TEST(SimTimed, NextDeadline) {
    SimController c;
    sim_init(c, SimOptions());
    EXPECT_EQ(sim_ms_until_next(c, 0), -1);
    feed(c, "run 500\r", 1000);
    EXPECT_EQ(sim_ms_until_next(c, 1000), 500);
    EXPECT_EQ(sim_ms_until_next(c, 1200), 300);
    feed(c, "\x02", 1200);
    EXPECT_EQ(sim_ms_until_next(c, 1300), -1);  // paused: nothing to wake for
    feed(c, "\x03", 2000);
    EXPECT_EQ(sim_ms_until_next(c, 2000), 300);
    EXPECT_EQ(sim_ms_until_next(c, 9000), 0);
}

TEST(SimTimed, MoveReportsInterpolate) {
    SimController c;
    sim_init(c, SimOptions());
    feed(c, "pos 0 100 0 -5\rmove x 1000 y -100 2000\r", 0);
    EXPECT_EQ(drain(c), "ok\r");
    struct Probe {
        int64_t at;
        std::string in;
        std::string out;
    };
    const std::vector<Probe> probes = {
        {500, "\x12", report(0, 250, 50, 0, -5)},
        {1000, "\x12\x02", report(0, 500, 0, 0, -5)},
        {1800, "\x12", report(0, 500, 0, 0, -5)},  // paused
        {1800, "\x03", ""},
        {2800, "\x12", "done\r" + report(0, 1000, -100, 0, -5)},
    };
    for (const auto& p : probes) {
        feed(c, p.in, p.at);
        EXPECT_EQ(drain(c), p.out) << "at " << p.at;
    }
    feed(c, "move w 10 1000\r", 3000);
    feed(c, "\x01", 3500);
    feed(c, "pos\r", 3500);
    EXPECT_EQ(drain(c), "stopped\rq=0 x=1000 y=-100 z=0 w=2\r");
}

// The demo's diagonal: every report of a two-axis move lies on the straight line from
// start to target, and the way advances with time.
TEST(SimTimed, TwoAxisMoveDrawsAStraightLine) {
    SimController c;
    sim_init(c, SimOptions());
    feed(c, "move x 10000 y 5000 3000\r", 0);
    EXPECT_EQ(drain(c), "");
    const struct {
        int64_t at;
        int32_t x, y;
        const char* before;
    } probes[] = {{0, 0, 0, ""}, {300, 1000, 500, ""}, {1234, 4113, 2056, ""}, {2999, 9996, 4998, ""},
                  {3000, 10000, 5000, "done\r"}, {4000, 10000, 5000, ""}};
    for (const auto& p : probes) {
        feed(c, "\x12", p.at);
        EXPECT_EQ(drain(c), p.before + report(0, p.x, p.y, 0, 0)) << "at " << p.at;
    }
}

TEST(SimPins, Transactions) {
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"read all at reset", bytes({0x8F}), bytes({0xF0, 0x00, 0x80, 0x00})},
        {"write data, read all", bytes({0x9F, 0xAA}), bytes({0xF0, 0xAA, 0xD0, 0x00})},
        {"loopback of all five bits", bytes({0x9A, 0x1F}), bytes({0xA0, 0x78})},
        {"data bits 5..7 do not loop", bytes({0x9A, 0xE0}), bytes({0xA0, 0x80})},
        {"write 1 and 3, read none", bytes({0xD8, 0x11, 0x33}) + bytes({0x8D}),
         bytes({0x80, 0xD0, 0x11, 0x03})},
        {"status writes are ignored", bytes({0xAA, 0x55}), bytes({0xA0, 0x80})},
        {"values are raw bytes", bytes({0xD8, 0x0D, 0x12, 0x8D}), bytes({0x80, 0xD0, 0x0D, 0x02})},
        {"control bytes as values", bytes({0x98, 0x01, 0x89}), bytes({0x80, 0x90, 0x01})},
        {"nothing asked", bytes({0x88}), bytes({0x80})},
        {"pin byte ends no line", "ec" + bytes({0x8F}) + "\r",
         "ERR unknown command: ec" + bytes({0x8F}) + "\r"},
        {"pin after control byte at line start", bytes({0x01, 0x89}), bytes({0x90, 0x00})},
        {"pin then line", bytes({0x89}) + "ok\r", bytes({0x90, 0x00}) + "ok\r"},
        {"pins text command", "pins data 3\rpins control ff\rpins\r",
         "ok\rok\rdata=03 status=98 control=0F\r"},
        {"pins status override and back", "pins status 0x5a\rpins\rpins loop\rpins\r",
         "ok\rdata=00 status=5A control=00\rok\rdata=00 status=80 control=00\r"},
        {"pins bad hex", "pins data 100\rpins status\rpins foo 1\r",
         "ERR usage: pins [loop | data|status|control HEX]\r"
         "ERR usage: pins [loop | data|status|control HEX]\r"
         "ERR usage: pins [loop | data|status|control HEX]\r"},
    };
    for (const auto& t : cases) {
        SimController c;
        sim_init(c, SimOptions());
        feed(c, t.in, 0);
        EXPECT_EQ(drain(c), t.out) << t.name;
    }
}

TEST(SimPins, ValuesMaySplitAcrossReads) {
    SimController c;
    sim_init(c, SimOptions());
    feed(c, bytes({0xDF, 0x42}), 0);
    EXPECT_EQ(drain(c), "");
    feed(c, bytes({0x07}), 1);
    EXPECT_EQ(drain(c), bytes({0xF0, 0x42, 0x90, 0x07}));
}

TEST(SimPins, StatusOptionOverridesLoopback) {
    SimOptions o;
    o.status_override = 0x38;
    SimController c;
    sim_init(c, o);
    feed(c, bytes({0x9A, 0xFF}), 0);
    EXPECT_EQ(drain(c), bytes({0xA0, 0x38}));
}

TEST(SimFaults, StallCutsReplyAndSilencesEverything) {
    SimOptions o;
    o.stall_after = 3;
    SimController c;
    sim_init(c, o);
    feed(c, "A\rok\r\recho hello\r", 0);  // greeting not counted; the empty reply is
    EXPECT_EQ(drain(c), "\rok\r\rhel");
    feed(c, "\x12" + bytes({0x8F}) + "ok\rA\r", 1);
    EXPECT_EQ(drain(c), "");
}

TEST(SimFaults, StallOnEmptyReplySendsNothing) {
    SimOptions o;
    o.stall_after = 1;
    SimController c;
    sim_init(c, o);
    feed(c, "\rok\r", 0);
    EXPECT_EQ(drain(c), "");
}

TEST(SimFaults, HangupAfterLastReplyIsTaken) {
    SimOptions o;
    o.hangup_after = 2;
    SimController c;
    sim_init(c, o);
    feed(c, "A\rok\rrun 100\r", 0);
    EXPECT_FALSE(sim_hangup_due(c));
    feed(c, "\x12ok\r", 50);  // report is not a command reply
    EXPECT_FALSE(sim_hangup_due(c));
    sim_tick(c, 100);
    EXPECT_FALSE(sim_hangup_due(c));  // "done" not yet taken
    EXPECT_EQ(drain(c), "\rok\r" + report(0, 0, 0, 0, 0) + "done\r");
    EXPECT_TRUE(sim_hangup_due(c));
    sim_tick(c, 200);  // the queued "ok" is never answered
    EXPECT_EQ(drain(c), "");
}

TEST(SimFaults, GarbageIsSeededAndNeverCR) {
    auto run = [](uint64_t seed) {
        SimOptions o;
        o.garbage = true;
        o.garbage_percent = 100;
        o.seed = seed;
        SimController c;
        sim_init(c, o);
        feed(c, "A\r", 0);
        std::string greeting = drain(c);
        EXPECT_EQ(greeting, "\r");  // the greeting stays clean
        std::vector<std::string> out;
        for (int i = 0; i < 200; i++) {
            feed(c, "ok\r", 0);
            out.push_back(drain(c));
        }
        return out;
    };
    std::vector<std::string> a = run(5), b = run(5), other = run(6);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, other);
    for (const auto& r : a) {
        ASSERT_GE(r.size(), 4u);
        ASSERT_LE(r.size(), 7u);
        EXPECT_EQ(r.substr(r.size() - 3), "ok\r");
        EXPECT_EQ(r.find('\r'), r.size() - 1);
    }
}

TEST(SimFaults, GarbageRateZeroIsClean) {
    SimOptions o;
    o.garbage = true;
    o.garbage_percent = 0;
    SimController c;
    sim_init(c, o);
    for (int i = 0; i < 50; i++) feed(c, "ok\r", 0);
    std::string expect;
    for (int i = 0; i < 50; i++) expect += "ok\r";
    EXPECT_EQ(drain(c), expect);
}

TEST(SimOutput, UnitsStayWholeAndInOrder) {
    SimController c;
    sim_init(c, SimOptions());
    feed(c, "len 10\r", 0);
    size_t len;
    sim_output_front(c, &len);
    sim_output_consume(c, 4);  // the line is half out when a report is asked for
    feed(c, "\x12", 0);
    EXPECT_EQ(drain(c), "aaaaaa\r" + report(0, 0, 0, 0, 0));
    feed(c, "len 5\r\x12", 0);
    sim_output_discard(c);
    EXPECT_FALSE(sim_output_pending(c));
    feed(c, "ok\r", 0);
    EXPECT_EQ(drain(c), "ok\r");
}

TEST(SimRobust, ArbitraryBytesNeverBreakIt) {
    SimController c;
    sim_init(c, SimOptions());
    uint64_t x = 88172645463325252ULL;
    std::string chunk;
    for (int round = 0; round < 2000; round++) {
        chunk.clear();
        for (int i = 0; i < 64; i++) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            // Lean towards the interesting bytes so lines and pin bytes are common.
            static const uint8_t SPECIAL[] = {0x0D, 0x0A, 0x01, 0x02, 0x03, 0x12, 0x8F, 0xFF, 'r'};
            chunk += static_cast<char>((x & 0x100) ? SPECIAL[(x >> 9) % 9] : (x & 0xFF));
        }
        feed(c, chunk, round * 7);
        drain(c);
    }
    // Whatever came before, a greeting brings it back to a clean exchange.
    while (c.pin_cmd >= 0) feed(c, bytes({0x00}), 20000);
    feed(c, "\r", 20000);
    drain(c);
    feed(c, "A\rok\r", 20000);
    EXPECT_EQ(drain(c), "\rok\r");
}

}  // namespace
