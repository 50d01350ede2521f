// Values are shown all from one report or not at all.
#include "tools/status_report.h"

#include <cstdio>
#include <cstring>

#include "console/main_dialog.h"
#include "link/link.h"

void format_status_report(char* buf, int size, int16_t q, int32_t x, int32_t y, int32_t z, int32_t w) {
    if (!buf || size <= 0) return;
    std::snprintf(buf, static_cast<size_t>(size), "Q=%d, X=%ld, Y=%ld, Z=%ld, W=%ld", static_cast<int>(q),
                  static_cast<long>(x), static_cast<long>(y), static_cast<long>(z), static_cast<long>(w));
}

void show_status_report(UiWindow* main_window) {
    char text[256] = "No Data";
    int16_t q = 0;
    int32_t x = 0, y = 0, z = 0, w = 0;
    // Bounded: a controller that sends something else, or nothing, must not hold the
    // window; a report that comes later is taken in by the next exchange.
    if (link_query_report_within(g_main.link, REPORT_WAIT_MS, &q, &x, &y, &z, &w))
        format_status_report(text, sizeof text, q, x, y, z, w);
    // The query waits with the window live; the operator may have exited meanwhile.
    if (!ui_dialog_alive(main_window)) return;
    show_message_box(main_window, text, "ZORV Report", UI_MB_OK, ICON_APP);
}
