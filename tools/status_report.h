// The status report box: one fresh report from the controller, shown as text.
#pragma once

#include <cstdint>

#include "platform/ui.h"

// How long the box waits for a report to begin.
constexpr uint32_t REPORT_WAIT_MS = 1000;

// "Q=<q>, X=<x>, Y=<y>, Z=<z>, W=<w>" into buf (at least 256 bytes).
void format_status_report(char* buf, int size, int16_t q, int32_t x, int32_t y, int32_t z, int32_t w);
// Queries the link of the main window and shows the values or "No Data".
void show_status_report(UiWindow* main_window);
