// The status report box: one fresh report from the controller, shown as text.
#pragma once

#include <cstdint>

#include "platform/ui.h"

// How long the box waits for a report to begin.
constexpr uint32_t REPORT_WAIT_MS = 1000;

// Queries the link of the main window and shows the values or "No Data".
void show_status_report(UiWindow* main_window);
