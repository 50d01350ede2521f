// The pin panel: the controller's three I/O ports shown and driven as the 25 pins
// of a parallel-port connector, refreshed every 200 ms.
#pragma once

#include <cstdint>

#include "platform/ui.h"
#include "tools/tool_host.h"

constexpr int PORT_DATA = 0, PORT_STATUS = 1, PORT_CONTROL = 2;
constexpr int PIN_POLL_TIMER = 1, PIN_POLL_MS = 200;

struct PinRow {
    int32_t port;
    uint8_t bit;
    int32_t box_id;
    int32_t input_box_id;
};

extern const uint8_t PORT_MASK[3];
extern const uint8_t PORT_INVERT[3];
extern const PinRow PIN_TABLE[18];

// The panel's dialog procedure; it runs with a ToolHost as its context (ui_context).
void pin_panel_proc(UiWindow* panel, const UiMessage* message);
void pin_panel_poll(UiWindow* panel);
void pin_panel_toggle(PinPanelState* pins, int row);
void pin_panel_set_input(UiWindow* panel, int row);
// The byte a poll writes to a port: the level read, inputs forced to 1, clicked
// pins flipped, in the port's own bit sense and cut to its bits.
uint8_t pin_panel_write_value(const PinPanelState& pins, int port);
