// The status report box: one fresh report from the controller, shown as text.
#pragma once

#include <cstdint>

#include "platform/ui.h"
#include "tools/tool_host.h"

// How long the box waits for a report to begin.
constexpr uint32_t REPORT_WAIT_MS = 1000;

// Queries the host's link and shows the values or "No Data" in a box over main_window.
void show_status_report(UiWindow* main_window, const ToolHost& host);
