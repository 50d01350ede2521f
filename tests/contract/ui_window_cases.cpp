// The cases of windows that do not block (ui_open_window) and of drawing areas,
// shared by every host of platform/ui.h like those of ui_cases.cpp.
#include "tests/contract/ui_cases.h"

#include <climits>
#include <cstdlib>

#include "platform/dispatch.h"

using namespace ui_contract;

namespace {

constexpr int ID_TEST_CANVAS = 1500, ID_TEST_BUTTON = 1501;
const DialogControl CANVAS_TEST_CONTROLS[] = {
    {ID_TEST_CANVAS, UI_CANVAS, "", 4, 4, 160, 90, 0},
    {ID_TEST_BUTTON, UI_BUTTON, "Close", 4, 98, 50, 14, STYLE_TABSTOP},
};
const DialogTemplate CANVAS_TEST_DIALOG = {150, "Canvas", 170, 116, "Tahoma", 8,
    WS_POPUP_ | WS_CAPTION_ | WS_SYSMENU_ | WS_THICKFRAME_ | DS_SETFONT_, CANVAS_TEST_CONTROLS, 2};

// What one window of ui_open_window got, found by ui_context.
struct WindowScript {
    std::vector<UiMessage> log;
    std::function<void(UiWindow*, const UiMessage&)> on_message;
};

void window_proc(UiWindow* w, const UiMessage* m) {
    auto* s = static_cast<WindowScript*>(ui_context(w));
    s->log.push_back(*m);
    if (s->on_message) s->on_message(w, *m);
}

void expect_closed_once(const WindowScript& s) {
    ASSERT_FALSE(s.log.empty());
    EXPECT_EQ(s.log.front().kind, UI_INIT);
    EXPECT_EQ(s.log.back().kind, UI_DESTROY);
    EXPECT_EQ(count_of(s.log, UI_DESTROY, 0), 1);
}

TEST(UiContract, AWindowRunsBesideItsOwnerAndEndsOnce) {
    WindowScript win;
    win.on_message = [](UiWindow* w, const UiMessage& m) {
        if (m.kind == UI_INIT) ui_set_timer(w, 6, 10);
        if (m.kind == UI_COMMAND && m.id == ID_TEST_BUTTON) {
            ui_end_dialog(w, 0);
            EXPECT_EQ(ui_dialog_alive(w), 0);
            ui_set_text(w, ID_TEST_BUTTON, "closing");  // usable until the handler returns
        }
    };
    UiWindow* opened = nullptr;
    int owner_ticks = 0;
    bool closing = false;
    Script s;
    s.end_after_body = false;
    s.body = [&](UiWindow* w) {
        opened = ui_open_window(&CANVAS_TEST_DIALOG, w, window_proc, &win);
        ASSERT_NE(opened, nullptr);  // back at once: the window does not block
        EXPECT_EQ(count_of(win.log, UI_INIT, 0), 1);
        EXPECT_EQ(ui_dialog_alive(opened), 1);
        EXPECT_EQ(ui_dialog_id(opened), CANVAS_TEST_DIALOG.id);
        ui_set_timer(w, 5, 10);
    };
    s.on_message = [&](UiWindow* w, const UiMessage& m) {
        if (m.kind != UI_TIMER || m.id != 5) return;
        ++owner_ticks;
        if (count_of(win.log, UI_DESTROY, 0) > 0 || owner_ticks > 500) {
            ui_end_dialog(w, 1);
            return;
        }
        if (count_of(win.log, UI_TIMER, 6) == 0 || closing) return;
        closing = true;  // the owner's next ticks come inside the wait below
        // The window's messages flow while a handler of its owner waits.
        ui_post_command(opened, 77);
        for (int i = 0; count_of(win.log, UI_COMMAND, 77) == 0 && i < 5000; ++i) {
            dispatch_pending_messages();
            platform_idle_wait(1);
        }
        EXPECT_EQ(count_of(win.log, UI_COMMAND, 77), 1);
        ui_post_command(opened, ID_TEST_BUTTON);
    };
    EXPECT_EQ(run(MAIN_DIALOG, s), 1);
    expect_closed_once(win);
    EXPECT_GE(owner_ticks, 2);
    EXPECT_EQ(count_of(win.log, UI_COMMAND, ID_TEST_BUTTON), 1);
    // Nothing but the close after the end.
    ASSERT_GE(win.log.size(), 2u);
    EXPECT_EQ(win.log[win.log.size() - 2].kind, UI_COMMAND);
}

TEST(UiContract, WindowsCloseWithTheirOwner) {
    WindowScript of_main, of_panel, of_window;
    Script s;
    s.end_after_body = false;
    s.body = [&](UiWindow* w) {
        EXPECT_NE(ui_open_window(&CANVAS_TEST_DIALOG, w, window_proc, &of_main), nullptr);
        ui_post_syscommand(w, SYSCMD_PIN_PANEL);
    };
    s.on_message = [&](UiWindow* w, const UiMessage& m) {
        if (ui_dialog_id(w) == PIN_PANEL_DIALOG.id) {
            if (m.kind == UI_INIT) {
                UiWindow* window = ui_open_window(&CANVAS_TEST_DIALOG, w, window_proc, &of_panel);
                EXPECT_NE(ui_open_window(&CANVAS_TEST_DIALOG, window, window_proc, &of_window), nullptr);
                ui_post_command(w, UI_IDCANCEL);
            }
            if (m.kind == UI_COMMAND && m.id == UI_IDCANCEL) ui_end_dialog(w, 2);
            return;
        }
        if (m.kind == UI_SYSCOMMAND && m.id == SYSCMD_PIN_PANEL) {
            EXPECT_EQ(host_run_dialog(&PIN_PANEL_DIALOG, w, script_proc), 2);
            expect_closed_once(of_panel);
            expect_closed_once(of_window);  // a window's window goes with it
            EXPECT_EQ(count_of(of_main.log, UI_DESTROY, 0), 0);
            ui_end_dialog(w, 7);
        }
    };
    EXPECT_EQ(run(MAIN_DIALOG, s), 7);
    expect_closed_once(of_main);
    // Nothing to make it from.
    EXPECT_EQ(ui_open_window(nullptr, nullptr, window_proc, &of_main), nullptr);
    EXPECT_EQ(ui_open_window(&CANVAS_TEST_DIALOG, nullptr, nullptr, &of_main), nullptr);
}

TEST(UiContract, WindowFrameStaysReachable) {
    constexpr int TOLERANCE = 40;  // what a window manager may make of a frame
    WindowScript win;
    Script s;
    s.body = [&](UiWindow* w) {
        UiWindow* x = ui_open_window(&CANVAS_TEST_DIALOG, w, window_proc, &win);
        ASSERT_NE(x, nullptr);
        int fx = 0, fy = 0, fw = 0, fh = 0;
        ui_set_window_rect(x, 60, 50, 420, 320);
        ASSERT_EQ(ui_window_rect(x, &fx, &fy, &fw, &fh), 1);
        EXPECT_TRUE(std::abs(fx - 60) + std::abs(fy - 50) + std::abs(fw - 420) + std::abs(fh - 320) < TOLERANCE)
            << fx << "," << fy << " " << fw << "x" << fh;
        for (int far : {-5000, 9000, INT_MIN, INT_MAX}) {  // off every screen: brought back
            ui_set_window_rect(x, far, far, 300, 200);
            ui_window_rect(x, &fx, &fy, &fw, &fh);
            EXPECT_TRUE(fx > -TOLERANCE && fx < 1920 && fy > -TOLERANCE && fy < 1080) << far << ": " << fx << "," << fy;
        }
        int ax = 0, ay = 0, aw = 0, ah = 0;  // the work area holds a frame put onto it
        ASSERT_TRUE(ui_work_area(x, &ax, &ay, &aw, &ah) && aw > 300 && ah > 200) << aw << "x" << ah;
        ui_set_window_rect(x, ax + aw - 300, ay + ah - 200, 300, 200);
        ui_window_rect(x, &fx, &fy, &fw, &fh);
        EXPECT_TRUE(fx >= ax && fy >= ay && fx + fw <= ax + aw && fy + fh <= ay + ah) << fx << "," << fy << " " << fw << "x" << fh;
        ui_set_min_client_size(x, 200, 150);
        ui_set_window_rect(x, 60, 50, 20, 10);  // below the minimum: raised to it
        ui_window_rect(x, &fx, &fy, &fw, &fh);
        EXPECT_GE(fw, 200);
        EXPECT_GE(fh, 150);
        ui_end_dialog(x, 0);
        fx = 5;
        EXPECT_EQ(ui_window_rect(nullptr, &fx, &fy, &fw, &fh), 0);
        EXPECT_EQ(fx + fy + fw + fh, 0);
        EXPECT_EQ(ui_work_area(nullptr, &fx, &fy, &fw, &fh) + fx + fy + fw + fh, 0);
        ui_set_window_rect(nullptr, 1, 2, 3, 4);
    };
    run(MAIN_DIALOG, s);
    expect_closed_once(win);
}

TEST(UiContract, CanvasDrawsEveryKind) {
    const UiDrawPoint line[] = {{2, 60}, {60, 60}}, path[] = {{70, 50}, {90, 70}, {110, 50}, {130, 70}},
                      anchor[] = {{120, 100}}, far[] = {{INT_MIN, 5}, {INT_MAX, 9}};
    const UiDrawItem nothing[] = {
        {UI_DRAW_POLYLINE, 0, nullptr, 5, 0, 0, 0, 0, nullptr, 0, 0, 0},
        {UI_DRAW_POLYLINE, 0, path, 1, 0, 0, 0, 0, nullptr, 0, 0, 0},
        {UI_DRAW_LINE, 0, line, -3, 0, 0, 0, 0, nullptr, 0, 0, 0},
        {UI_DRAW_TEXT, 0, nullptr, 1, 0, 0, 0, 0, "t", 0, 0, 0},
        {UI_DRAW_TEXT, 0, anchor, 1, 0, 0, 0, 0, nullptr, 0, 0, 0},
        {UI_DRAW_BOX, 0, nullptr, 0, 50, 50, 40, 40, nullptr, 0, 0, 0},
        {UI_DRAW_FILLED_BOX, 0, nullptr, 0, 50, 50, 50, 90, nullptr, 0, 0, 0},
        {UI_DRAW_LINE, 0, far, 2, 0, 0, 0, 0, nullptr, 0, 0, 0},
    };
    const UiDrawItem picture[] = {
        {UI_DRAW_FILLED_BOX, 0x00C000, nullptr, 0, 10, 10, 50, 40, nullptr, 0, 0, 0},
        {UI_DRAW_BOX, 0x0000FF, nullptr, 0, 60, 10, 100, 40, nullptr, 0, 0, 0},
        {UI_DRAW_LINE, 0xFF0000, line, 2, 0, 0, 0, 0, nullptr, 0, 0, 0},
        {UI_DRAW_POLYLINE, 0x000000, path, 4, 0, 0, 0, 0, nullptr, 0, 0, 0},
        {UI_DRAW_TEXT, 0x000000, anchor, 1, 0, 0, 0, 0, "X -12.5 \xC2\xB5m", 1, 1, 1},
        {UI_DRAW_TEXT, 0x800080, anchor, 1, 0, 0, 0, 0, "right", 2, 2, 0},
    };
    WindowScript win;
    UiWindow* x = nullptr;
    Script s;
    s.end_after_body = false;
    s.body = [&](UiWindow* w) {
        x = ui_open_window(&CANVAS_TEST_DIALOG, w, window_proc, &win);
        ASSERT_NE(x, nullptr);
        int cw = 0, ch = 0, nw = 0, nh = 0, lw = 0, lh = 0;
        ASSERT_EQ(ui_canvas_size(x, ID_TEST_CANVAS, &cw, &ch), 1);
        EXPECT_TRUE(cw > 140 && ch > 120) << cw << "x" << ch;
        ASSERT_EQ(ui_canvas_font_cell(x, ID_TEST_CANVAS, 0, &nw, &nh), 1);
        ASSERT_EQ(ui_canvas_font_cell(x, ID_TEST_CANVAS, 1, &lw, &lh), 1);
        EXPECT_TRUE(nw > 0 && nh > 0 && lw > nw && lh > nh) << nw << "x" << nh << ", large " << lw << "x" << lh;
        for (int id : {ID_TEST_BUTTON, 4242}) {  // no canvas: nothing, and all 0
            cw = ch = nw = nh = 5;
            EXPECT_EQ(ui_canvas_size(x, id, &cw, &ch) + ui_canvas_font_cell(x, id, 0, &nw, &nh), 0);
            EXPECT_EQ(cw + ch + nw + nh, 0);
            ui_canvas_draw(x, id, picture, 6);
        }
        EXPECT_EQ(ui_canvas_size(nullptr, ID_TEST_CANVAS, &cw, &ch), 0);
        ui_canvas_draw(nullptr, ID_TEST_CANVAS, picture, 6);
        ui_canvas_draw(x, ID_TEST_CANVAS, nothing, 8);
        ui_canvas_draw(x, ID_TEST_CANVAS, nullptr, 4);
        ui_canvas_draw(x, ID_TEST_CANVAS, picture, -1);
        ui_canvas_draw(x, ID_TEST_CANVAS, picture, 6);
        ui_post_command(w, 88);  // looked at once the paint had its turn
    };
    s.on_message = [&](UiWindow* w, const UiMessage& m) {
        if (m.kind != UI_COMMAND || m.id != 88) return;
        const struct {
            int x, y;
            long rgb;  // -1: anything but the box's colours
        } pixels[] = {
            {10, 10, 0x00C000}, {49, 39, 0x00C000}, {50, 25, -1}, {30, 40, -1},  // filled: right, bottom excluded
            {60, 25, 0x0000FF}, {99, 25, 0x0000FF}, {80, 10, 0x0000FF}, {80, 39, 0x0000FF},
            {80, 25, -1},       {100, 25, -1},      {20, 60, 0xFF0000},
        };
        for (const auto& p : pixels) {
            long got = host_canvas_pixel(x, ID_TEST_CANVAS, p.x, p.y);
            if (got == -1 && p.rgb != -1) break;  // the host cannot look
            if (p.rgb == -1)
                EXPECT_TRUE(got != 0x00C000 && got != 0x0000FF) << p.x << "," << p.y << " " << std::hex << got;
            else
                EXPECT_EQ(got, p.rgb) << p.x << "," << p.y;
        }
        ui_end_dialog(w, 0);
    };
    run(MAIN_DIALOG, s);
    expect_closed_once(win);
}

}  // namespace
