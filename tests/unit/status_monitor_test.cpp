// The status monitor on the fake ui and an in-memory controller that answers reports.
#include "tests/unit/console_fixture.h"
#include "platform/frame_fit.h"
#include "tools/status_monitor.h"
#include "tools/status_monitor_sampler.h"

namespace {

class MonitorTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        fake_serial().on_write = [this](const std::vector<uint8_t>& w) {
            for (uint8_t b : w) {
                if (b != 0x12) {
                    controller({b});
                } else if (++requests, answer_reports) {
                    // Q = 0x0102, X = 1000, Y = -5, Z = 0, W = requests.
                    fake_push({0x12, 0x02, 0x01, 0xE8, 0x03, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
                               static_cast<uint8_t>(requests), 0, 0, 0});
                }
            }
        };
    }
    // Runs the main window, connected, with the monitor open; drive gets both.
    void with_monitor(std::function<void(UiWindow*, UiWindow*)> drive) {
        run([&](UiWindow* w) {
            connect(w);
            fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_MONITOR, 0, 0, 0});
            ASSERT_EQ(fake_ui().windows.size(), 1u);
            drive(w, fake_ui().windows[0]);
            ui_end_dialog(w, 0);
        });
    }
    void tick(UiWindow* m, uint64_t after_ms = 20) {
        fake_serial().now_ms += after_ms;
        fake_ui_send(m, UiMessage{UI_TIMER, MONITOR_TIMER, 0, 0, 0});
    }
    static std::string shown(UiWindow* m) {
        std::string all;
        for (const std::string& t : fake_control(m, ID_MONITOR_READINGS).drawn_texts) all += t + "|";
        return all;
    }
    int requests = 0;
    bool answer_reports = true;
};

TEST(MonitorPeriod, ClampedToItsBounds) {
    for (auto [configured, period] : std::vector<std::pair<int32_t, uint32_t>>{
             {0, 200}, {-7, 50}, {10, 50}, {50, 50}, {333, 333}, {5000, 5000}, {5001, 5000}, {INT32_MAX, 5000}})
        EXPECT_EQ(monitor_period(configured), period) << configured;
}

TEST_F(MonitorTest, AsksOnlyWhenNoneIsOutstandingAndTakesTheAnswerInWhileIdle) {
    with_monitor([&](UiWindow* w, UiWindow* m) {
        EXPECT_EQ(m->title, "ZORV Status Monitor");
        tick(m, 1);
        EXPECT_EQ(requests, 1);
        tick(m);  // the answer is at the head: taken in without a command
        EXPECT_EQ(shown(m), "Q  0x0102|258|X|1000|Y|-5|Z|0|W|1|0 s old|");
        answer_reports = false;
        for (int i = 0; i < 10; ++i) tick(m, 100);
        EXPECT_EQ(requests, 2);  // one request out, however often the monitor looked
        tick(m, 200);            // given up at the bound, and asked again
        EXPECT_EQ(requests, 3);
        EXPECT_NE(shown(m).find("|no report|"), std::string::npos);
        EXPECT_EQ(fake_control(m, ID_MONITOR_READINGS).drawn[1].rgb, 0x808080u);  // the last values greyed
        // Asked again from the menu: the same window comes up, no second one.
        fake_ui_send(w, UiMessage{UI_SYSCOMMAND, SYSCMD_MONITOR, 0, 0, 0});
        EXPECT_EQ(fake_ui().windows.size(), 1u);
    });
}

TEST_F(MonitorTest, AReportAskedDuringACommandIsTakenInByItsExchange) {
    hold_replies = true;
    with_monitor([&](UiWindow* w, UiWindow* m) {
        int looks = 0;
        fake_ui().on_dispatch = [&]() {
            // The command's wait: the monitor asks, the exchange takes the answer in.
            if (++looks == 2) tick(m, 1);
            if (looks == 4) tick(m);
            if (looks == 6) fake_push("done\r");
        };
        fake_ui_type(w, ID_COMMAND, "move x 5");
        fake_ui_click(w, UI_IDOK);
        fake_ui().on_dispatch = nullptr;
        EXPECT_EQ(requests, 1);
        EXPECT_EQ(rows(w), (std::vector<std::string>{"move x 5", "done"}));
        EXPECT_NE(shown(m).find("|1000|"), std::string::npos);
    });
}

TEST_F(MonitorTest, DisconnectAndALostPortShowNotConnectedAtOnce) {
    with_monitor([&](UiWindow* w, UiWindow* m) {
        for (bool lose : {false, true}) {
            if (lose) connect(w);
            tick(m, 1);
            tick(m);
            fake_serial().lost = lose;
            if (lose) fake_ui_send(w, UiMessage{UI_TIMER, HEALTH_TIMER, 0, 0, 0});
            if (!lose) fake_ui_click(w, ID_CONNECT);
            std::string w_value = std::to_string(requests);
            EXPECT_EQ(shown(m), "Q  0x0102|258|X|1000|Y|-5|Z|0|W|" + w_value + "|not connected|") << lose;
            tick(m, 500);
            EXPECT_EQ(std::to_string(requests), w_value);
        }
    });
}

TEST_F(MonitorTest, FreezeKeepsSamplingClearEmptiesAndSaveWritesTheCsv) {
    with_monitor([&](UiWindow*, UiWindow* m) {
        tick(m, 1);
        tick(m);
        fake_ui_click(m, ID_MONITOR_FREEZE);
        int draws = fake_control(m, ID_MONITOR_CHART).draws;
        for (int i = 0; i < 4; ++i) tick(m, 200), tick(m);
        EXPECT_EQ(fake_control(m, ID_MONITOR_CHART).draws, draws);
        EXPECT_NE(shown(m).find("W|5|"), std::string::npos);  // the numbers go on
        std::string csv = dir_ + "/samples.csv";
        fake_ui().chosen_files.push_back(csv);
        fake_ui_click(m, ID_MONITOR_SAVE);
        std::string text = read_text(csv);  // the header and five readings
        EXPECT_EQ(text.substr(0, 15) + std::to_string(std::count(text.begin(), text.end(), '\n')), "time,q,x,y,z,w\n6");
        fake_ui_click(m, ID_MONITOR_CLEAR);
        fake_ui().chosen_files.push_back(csv);
        fake_ui_click(m, ID_MONITOR_SAVE);
        EXPECT_EQ(read_text(csv), "time,q,x,y,z,w\n");
    });
}

TEST_F(MonitorTest, SizePlaceAndPeriodComeBackFromTheSettings) {
    write_ini("[Monitor]\nPeriodMs=20\n");
    with_monitor([&](UiWindow* w, UiWindow* m) {
        WindowFrame main{}, first{};  // the first opening: right of the main window, level with it
        ui_window_rect(w, &main.x, &main.y, &main.width, &main.height);
        ui_window_rect(m, &first.x, &first.y, &first.width, &first.height);
        EXPECT_EQ(std::vector<int>({first.x, first.y}), std::vector<int>({main.x + main.width, main.y}));
        ui_set_window_rect(m, 100, 120, 900, 500);
        fake_ui_click(m, UI_IDCANCEL);
        fake_ui_pump();
        EXPECT_TRUE(fake_ui().windows.empty());
        EXPECT_EQ(session.monitor, nullptr);
    });
    for (auto kv : {std::pair<const char*, int>{"Left", 100}, {"Top", 120}, {"Width", 900}, {"Height", 500}, {"PeriodMs", 50}})
        EXPECT_EQ(settings_read_int("Monitor", kv.first), kv.second) << kv.first;  // the period clamped
    with_monitor([&](UiWindow*, UiWindow* m) {
        int x, y, width, height;
        ui_window_rect(m, &x, &y, &width, &height);
        EXPECT_EQ(std::vector<int>({x, y, width, height}), std::vector<int>({100, 120, 900, 500}));
        // The canvases took the growth; the buttons kept their size at the bottom.
        EXPECT_EQ(fake_control(m, ID_MONITOR_SAVE).y + fake_control(m, ID_MONITOR_SAVE).height, 470 - 8);
    });
}

TEST(FrameBeside, ClearOfTheOwnerWhereTheAreaAllows) {
    const WindowFrame screen{0, 0, 1280, 800}, left_screen{-1280, 0, 1280, 1024};
    struct Case { WindowFrame owner, area; int width, found, x, y; } cases[] = {
        {{100, 100, 500, 400}, screen, 578, 1, 600, 100},           // right
        {{700, 100, 500, 400}, screen, 578, 1, 122, 100},           // left
        {{300, 0, 700, 300}, screen, 578, 1, 300, 300},             // below
        {{300, 500, 700, 300}, screen, 578, 1, 300, 160},           // above
        {{100, 700, 500, 100}, screen, 578, 1, 600, 460},           // slid up onto the area
        {{-1000, 100, 500, 400}, left_screen, 578, 1, -1000, 500},  // a screen left of the main one
        {{289, 216, 700, 366}, screen, 578, 1, 702, 216},           // none clear: over the right edge
        {{291, 216, 700, 366}, screen, 578, 1, 0, 216},             // more room on the left
        {{1 << 30, 1 << 30, 10, 10}, screen, 578, 1, 0, 460},       // far off: no overflow
        {{100, 100, 500, 400}, screen, 1281, 0, 0, 0},              // larger than the screen
    };
    for (const Case& c : cases) {
        WindowFrame p{0, 0, 0, 0};
        int found = frame_beside(c.owner, c.width, 340, c.area, &p);
        EXPECT_EQ(std::vector<int>({found, p.x, p.y}), std::vector<int>({c.found, c.x, c.y})) << c.owner.x;
    }
}

// Every kind of plot item reaches the canvas with its ink, points, box and text.
TEST(MonitorDrawItems, EachPlotItemBecomesOneCanvasItem) {
    PlotPicture picture;
    auto add = [&](PlotItemKind kind, PlotInk ink, std::vector<PlotPoint> points, const char* text) {
        picture.items.push_back(PlotItem{kind, ink, std::move(points), PlotRect{1, 2, 3, 4}, text, PLOT_ALIGN_END});
    };
    add(PLOT_FILLED_BOX, PLOT_INK_BACKGROUND, {}, "");
    add(PLOT_LINE, PLOT_INK_X, {{0, 1}, {2, 3}}, "");
    add(PLOT_POLYLINE, PLOT_INK_PATH, {{4, 5}, {6, 7}, {8, 9}}, "");
    add(PLOT_TEXT, PLOT_INK_TEXT, {{10, 11}}, "-60 s");
    add(PLOT_BOX, PLOT_INK_FRAME, {}, "");
    std::vector<UiDrawItem> items;
    std::vector<UiDrawPoint> points;
    monitor_draw_items(picture, &items, &points);
    ASSERT_EQ(items.size(), 5u);
    const UiDrawKind kinds[] = {UI_DRAW_FILLED_BOX, UI_DRAW_LINE, UI_DRAW_POLYLINE, UI_DRAW_TEXT, UI_DRAW_BOX};
    for (size_t i = 0; i < items.size(); ++i) {
        const PlotItem& p = picture.items[i];
        EXPECT_EQ(items[i].kind, kinds[i]);
        EXPECT_EQ(items[i].rgb, static_cast<uint32_t>(PLOT_INKS[p.ink].r << 16 | PLOT_INKS[p.ink].g << 8 | PLOT_INKS[p.ink].b));
        ASSERT_EQ(items[i].count, static_cast<int>(p.points.size()));
        for (int k = 0; k < items[i].count; ++k)
            EXPECT_EQ(std::make_pair(items[i].points[k].x, items[i].points[k].y), std::make_pair(p.points[k].x, p.points[k].y));
        EXPECT_EQ(std::vector<int>({items[i].left, items[i].top, items[i].right, items[i].bottom}), std::vector<int>({1, 2, 3, 4}));
    }
    EXPECT_STREQ(items[3].text, "-60 s");
    EXPECT_EQ(items[3].halign, PLOT_ALIGN_END);
    EXPECT_EQ(items[1].text, nullptr);
}

}  // namespace
