// The status monitor: a window beside the main one that shows the controller's report
// values live, as numbers, a strip chart and an X-Y path, while commands go on.
#pragma once

#include <vector>

#include "common/plot.h"
#include "platform/ui.h"
#include "tools/tool_host.h"

constexpr int MONITOR_TIMER = 1;

// Opens the monitor over owner, or brings up the one already open (*host.monitor). The
// host is kept for the window's life; *host.monitor holds the window until it closes.
// Its size and place and the sampling period come from the settings ([Monitor]).
void status_monitor_open(UiWindow* owner, const ToolHost& host);
// The link went away (Disconnect, a lost port): the monitor shows "not connected" at
// once. Nothing for a null monitor.
void status_monitor_link_closed(UiWindow* monitor);
// The monitor window's procedure; its context is the monitor's own record.
void status_monitor_proc(UiWindow* window, const UiMessage* message);

// A plot picture as canvas items. points receives every item's points, and the items
// point into it and into picture's texts: both must outlive the items' use.
void monitor_draw_items(const PlotPicture& picture, std::vector<UiDrawItem>* items,
                        std::vector<UiDrawPoint>* points);
