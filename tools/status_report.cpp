// Values are shown all from one report or not at all.
#include "tools/status_report.h"

#include <string>

#include "common/stray_input.h"
#include "common/texts.h"
#include "link/link.h"

void show_status_report(UiWindow* main_window, const ToolHost& host) {
    std::string text = REPORT_NO_DATA;
    int16_t q = 0;
    int32_t x = 0, y = 0, z = 0, w = 0;
    // Bounded: a controller that sends something else, or nothing, must not hold the
    // window; a report that comes later is taken in by the next exchange.
    TargetLink* link = *host.link;
    // With nothing waiting for input, the request first drops what answered nothing;
    // the log says so, as it does before a command.
    bool drops = link && !link_busy(link) && !link_report_outstanding(link);
    if (link_query_report_within(link, REPORT_WAIT_MS, &q, &x, &y, &z, &w)) text = report_text(q, x, y, z, w);
    // The query waits with the window live; the operator may have exited meanwhile.
    if (!ui_dialog_alive(main_window)) return;
    char stray[96];
    uint32_t dropped = drops && *host.link == link ? link_dropped_input(link, stray, sizeof stray) : 0;
    if (dropped && host.note) host.note(host.owner, stray_input_text(dropped, stray, link_dropped_rest(link)).c_str());
    if (host.dialogs_shown) ++*host.dialogs_shown;
    ui_message_box(main_window, text.c_str(), "ZORV Report", UI_MB_OK, ICON_APP);
}
