// The pin panel through the fake ui and an in-memory controller with three ports.
#include "tests/unit/console_fixture.h"
#include "tools/pin_panel.h"

namespace {

class PinTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        session.pins = PinPanelState{};
        fake_serial().on_write = [this](const std::vector<uint8_t>& w) { pins_controller(w); };
    }
    // Pin commands are answered from `ports`; everything else goes to the line controller.
    void pins_controller(const std::vector<uint8_t>& w) {
        for (uint8_t b : w) {
            if (values_left_ > 0) {
                int port = next_port_();
                ports[port] = b;
                written.push_back({port, b});
                if (--values_left_ == 0) reply_();
                continue;
            }
            if ((b & 0x88) == 0x88 && !in_line_) {
                command_ = b;
                ++transactions;
                values_left_ = ((b & 0x10) ? 1 : 0) + ((b & 0x20) ? 1 : 0) + ((b & 0x40) ? 1 : 0);
                write_slot_ = 0;
                if (values_left_ == 0) reply_();
                continue;
            }
            in_line_ = b != 0x0D;
            controller(std::vector<uint8_t>{b});
        }
    }
    // Opens the panel from the window menu and runs drive inside it.
    void with_panel(std::function<void(UiWindow*)> drive) {
        fake_ui().drivers[DIALOG_PIN_PANEL] = drive;
        run([&](UiWindow* w) {
            if (connect_first) connect(w);
            fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_PIN_PANEL, 0, 0, 0});
        });
    }
    void tick(UiWindow* panel) { fake_ui_send(panel, UiMessage{UI_TIMER, PIN_POLL_TIMER, 0, 0, 0}); }

    uint8_t ports[3] = {0, 0, 0};
    bool fail_replies = false;
    bool connect_first = true;
    bool hold_pins = false;  // keep the pin reply in `held` until the test sends it
    std::vector<uint8_t> held;
    int transactions = 0;
    std::vector<std::pair<int, uint8_t>> written;

private:
    int next_port_() {
        const uint8_t flags[3] = {0x10, 0x20, 0x40};
        while (!(command_ & flags[write_slot_])) ++write_slot_;
        return write_slot_++;
    }
    void reply_() {
        std::vector<uint8_t> r{static_cast<uint8_t>(0x80 | ((command_ & 7) << 4))};
        for (int p = 0; p < 3; ++p)
            if (command_ & (1 << p)) r.push_back(ports[p]);
        if (fail_replies) r = {0x81};
        if (hold_pins)
            held = r;
        else
            fake_push(r);
    }
    uint8_t command_ = 0;
    int values_left_ = 0, write_slot_ = 0;
    bool in_line_ = false;
};

TEST_F(PinTest, EveryPinShowsItsLevelWithInversion) {
    with_panel([&](UiWindow* p) {
        EXPECT_EQ(p->title, "ZORV as LPT");
        EXPECT_EQ(p->timers[PIN_POLL_TIMER], 200);
        // The connector's pins as the parallel port wires them; pin n's box is 1009 + n.
        const struct {
            int port;
            uint8_t bit;
        } pins[18] = {
            {},
            {PORT_CONTROL, 0x01},  // 1 /Strobe
            {PORT_DATA, 0x01}, {PORT_DATA, 0x02}, {PORT_DATA, 0x04}, {PORT_DATA, 0x08},  // 2-5
            {PORT_DATA, 0x10}, {PORT_DATA, 0x20}, {PORT_DATA, 0x40}, {PORT_DATA, 0x80},  // 6-9
            {PORT_STATUS, 0x40},   // 10 /Ack
            {PORT_STATUS, 0x80},   // 11 Busy
            {PORT_STATUS, 0x20},   // 12 Paper out
            {PORT_STATUS, 0x10},   // 13 Select
            {PORT_CONTROL, 0x02},  // 14 /Auto feed
            {PORT_STATUS, 0x08},   // 15 /Error
            {PORT_CONTROL, 0x04},  // 16 /Init
            {PORT_CONTROL, 0x08},  // 17 /Select in
        };
        // Every pin at level 0: Busy, /Strobe, /Auto feed and /Select in are inverted.
        const uint8_t level_zero[3] = {0x00, 0x80, 0x0B};
        for (int pin = 1; pin <= 17; ++pin) {
            for (int port = 0; port < 3; ++port) ports[port] = level_zero[port];
            ports[pins[pin].port] ^= pins[pin].bit;
            tick(p);
            for (int other = 1; other <= 17; ++other)
                EXPECT_EQ(fake_control(p, 1009 + other).checked, other == pin ? 1 : 0)
                    << "pin " << pin << " shows on pin " << other;
        }
        for (int id = 1027; id <= 1035; ++id) EXPECT_EQ(fake_control(p, id).checked, 0);
    });
}

TEST_F(PinTest, ClicksBecomeWritesAtTheNextTick) {
    with_panel([&](UiWindow* p) {
        fake_ui_click(p, 1011);  // before any reading: nothing is written yet
        tick(p);
        EXPECT_TRUE(written.empty());
        tick(p);  // the click made before the first reading goes out now
        EXPECT_EQ(written, (std::vector<std::pair<int, uint8_t>>{{0, 0x01}}));
        EXPECT_EQ(fake_control(p, 1011).checked, 1);
        written.clear();
        fake_ui_click(p, 1012);
        fake_ui_click(p, 1012);  // two clicks before the write still flip once
        EXPECT_EQ(fake_control(p, 1010).checked, 1);  // /Control0 inverted: raw 0 is level 1
        fake_ui_click(p, 1010);
        tick(p);
        EXPECT_EQ(written, (std::vector<std::pair<int, uint8_t>>{{0, 0x03}, {2, 0x01}}));
        EXPECT_EQ(ports[2], 0x01);
        EXPECT_EQ(fake_control(p, 1010).checked, 0);
        written.clear();
        tick(p);
        EXPECT_TRUE(written.empty());
        for (int id : {1019, 1020, 1021, 1022, 1024}) fake_ui_click(p, id);  // status pins: display only
        tick(p);
        EXPECT_TRUE(written.empty());
    });
}

TEST_F(PinTest, UseAsInputForcesThePinAndIsShownOnReopening) {
    ports[2] = 0x0B;  // every control pin at level 0
    with_panel([&](UiWindow* p) {
        tick(p);
        fake_ui_click(p, 1036);  // pin 14 (/Control1) as input
        EXPECT_FALSE(fake_control(p, 1023).enabled);
        tick(p);
        // Level 0 on every pin, pin 14 forced to 1: (0x02 ^ 0x0B) & 0x0F.
        EXPECT_EQ(written, (std::vector<std::pair<int, uint8_t>>{{2, 0x09}}));
    });
    written.clear();
    fake_ui().drivers[DIALOG_PIN_PANEL] = [&](UiWindow* p) {
        EXPECT_EQ(fake_control(p, 1036).checked, 1);
        EXPECT_FALSE(fake_control(p, 1023).enabled);
        EXPECT_EQ(fake_control(p, 1035).checked, 0);
        EXPECT_TRUE(fake_control(p, 1010).enabled);
        fake_ui_click(p, 1036);  // unchecked: pin box back, nothing written at once
        EXPECT_TRUE(fake_control(p, 1023).enabled);
        tick(p);
        tick(p);
        EXPECT_TRUE(written.empty());
        EXPECT_EQ(session.pins.input_mask[2], 0);
    };
    run([&](UiWindow* w) {
        connect(w);
        fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_PIN_PANEL, 0, 0, 0});
    });
}

TEST_F(PinTest, WritesOfAFailingPollAreKept) {
    with_panel([&](UiWindow* p) {
        tick(p);
        fake_ui_click(p, 1013);
        fail_replies = true;
        tick(p);
        ASSERT_EQ(fake_ui().boxes.size(), 1u);
        EXPECT_EQ(fake_ui().boxes[0].text, "No valid data");
        EXPECT_EQ(fake_ui().boxes[0].caption, "LPT error");
        EXPECT_EQ(fake_ui().boxes[0].style, UI_MB_OK | UI_MB_ICONERROR);
        fail_replies = false;
        written.clear();
        tick(p);
        EXPECT_EQ(written, (std::vector<std::pair<int, uint8_t>>{{0, 0x04}}));
    });
}

TEST_F(PinTest, PendingTogglesAreDroppedOnClose) {
    connect_first = false;
    with_panel([&](UiWindow* p) {
        fake_ui_click(p, 1011);  // no link: never written
        tick(p);
        EXPECT_TRUE(fake_ui().boxes.empty());  // no message without a link
    });
    EXPECT_EQ(session.pins.pending_toggles[0], 0);
    connect_first = true;
    with_panel([&](UiWindow* p) {
        tick(p);
        fake_ui_click(p, 1012);
        tick(p);
        EXPECT_EQ(written, (std::vector<std::pair<int, uint8_t>>{{0, 0x02}}));  // not 0x03
    });
}

TEST_F(PinTest, FailingControllerShowsOneMessagePerDismissal) {
    fail_replies = true;
    with_panel([&](UiWindow* p) {
        int nested_boxes = 0;
        fake_ui().on_box = [&](const FakeMessageBox&) {
            size_t before = fake_ui().boxes.size();
            tick(p);  // ticks while the box stands find the poll busy
            tick(p);
            nested_boxes += static_cast<int>(fake_ui().boxes.size() - before);
        };
        tick(p);
        tick(p);
        EXPECT_EQ(fake_ui().boxes.size(), 2u);
        EXPECT_EQ(nested_boxes, 0);
        fake_ui().on_box = nullptr;
    });
}

// Line noise waiting before a poll is dropped, and the main window's log says so.
TEST_F(PinTest, InputDroppedBeforeAPollIsNoted) {
    fake_ui().drivers[DIALOG_PIN_PANEL] = [&](UiWindow* p) {
        fake_push({'z', 'z', 0x0D});
        tick(p);
        EXPECT_EQ(transactions, 1);
        ui_end_dialog(p, 0);
    };
    run([&](UiWindow* w) {
        connect(w);
        fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_PIN_PANEL, 0, 0, 0});
        ASSERT_FALSE(notes(w).empty());
        EXPECT_EQ(notes(w).back().rfind("dropped 3 bytes of input that answered nothing", 0), 0u) << notes(w).back();
    });
}

TEST_F(PinTest, TicksAreSkippedWhileACommandRuns) {
    with_panel([&](UiWindow*) {});
    int before = transactions;
    hold_replies = true;
    run([&](UiWindow* w) {
        connect(w);
        fake_ui().drivers[DIALOG_PIN_PANEL] = [&](UiWindow* p) {
            tick(p);
            tick(p);
            fake_ui_click(p, UI_IDCANCEL);
        };
        fake_ui().on_dispatch = [&] {
            fake_ui().on_dispatch = nullptr;
            fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_PIN_PANEL, 0, 0, 0});
            fake_push("done\r");
        };
        w->focus = ID_COMMAND;
        fake_ui_type(w, ID_COMMAND, "run");
        fake_ui_click(w, UI_IDOK);
        EXPECT_EQ(rows(w), (std::vector<std::string>{"run", "done"}));
    });
    EXPECT_EQ(transactions, before);
}

TEST_F(PinTest, ClosingDuringAPoll) {
    with_panel([&](UiWindow* p) {
        tick(p);
        fake_ui_click(p, 1011);
        fake_ui().on_dispatch = [&] {
            fake_ui().on_dispatch = nullptr;
            fake_ui_click(p, UI_IDCANCEL);
            EXPECT_TRUE(p->timers.empty());
            fake_push(held);
        };
        fail_replies = true;
        hold_pins = true;
        tick(p);  // fails after the close: no message, clicks dropped
        EXPECT_FALSE(ui_dialog_alive(p));
        EXPECT_TRUE(fake_ui().boxes.empty());
    });
    EXPECT_EQ(session.pins.pending_toggles[0], 0);
    EXPECT_EQ(session.pins.poll_busy, 0);
}

}  // namespace
