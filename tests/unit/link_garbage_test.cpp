// The link against the simulated controller's protocol engine (no pty), with random
// bytes ahead of its replies: 50 seeds of 300 lines each run in well under a second.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link.h"
#include "sim/controller.h"
#include "tests/unit/fake_serial.h"

namespace {

SimController g_sim;

void deliver() {
    while (sim_output_pending(g_sim)) {
        size_t n = 0;
        const char* p = sim_output_front(g_sim, &n);
        fake_push(std::vector<uint8_t>(p, p + n));
        sim_output_consume(g_sim, n);
    }
}

// Every failure costs only its own reply: a reply is its own line's text (behind at
// most four garbage bytes), or it failed for its bad first byte. Nothing hangs.
TEST(GarbageController, EachFailureCostsOnlyItsOwnReply) {
    int failed = 0;
    for (uint64_t seed = 1; seed <= 50; ++seed) {
        fake_serial_reset();
        SimOptions opt;
        opt.garbage = true;
        opt.seed = seed;
        sim_init(g_sim, opt);
        fake_serial().on_write = [](const std::vector<uint8_t>& w) {
            sim_feed(g_sim, w.data(), w.size(), static_cast<int64_t>(fake_serial().now_ms));
            deliver();
        };
        TargetLink* link = link_open_port(1, 115200);
        ASSERT_NE(link, nullptr);
        for (int i = 1; i <= 300; ++i) {
            std::string text = "line " + std::to_string(i);
            char reply[256];
            int ok = link_exchange(link, ("echo " + text).c_str(), reply);
            failed += !ok;
            // Garbage may hold a NUL: look for the text and its end in the buffer.
            size_t at = ok ? std::string(reply, sizeof reply).find(text + '\0') : 0;
            EXPECT_LE(at, 4u) << seed << " " << i;
            ASSERT_TRUE(ok || link_last_error(nullptr, 0) == LINK_ERROR_BAD_START) << seed << " " << i;
        }
        link_close(&link);
    }
    EXPECT_GT(failed, 0);
}

}  // namespace
