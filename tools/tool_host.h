// What a tool (the pin panel, the status report, the status monitor) needs of the window that opens it,
// and nothing more: the tools never reach into the window's own code.
#pragma once

#include <cstdint>

struct TargetLink;
struct UiWindow;

// Per-port state of the pin panel for the whole run, not for one opening.
struct PinPanelState {
    uint8_t port_levels[3];
    uint8_t input_mask[3];
    uint8_t pending_toggles[3];
    int32_t port_dirty[3];
    int32_t have_reading;
    int32_t poll_busy;
};

struct ToolHost {
    // The window's link; it may be closed (null) while a tool waits.
    TargetLink* const* link = nullptr;
    // Counted up for every box a tool shows: the window puts the focus back after one.
    int* dialogs_shown = nullptr;
    PinPanelState* pins = nullptr;
    // One line for the log (input a poll dropped); null for nobody.
    void (*note)(void* owner, const char* text) = nullptr;
    void* owner = nullptr;
    // Command exchanges waiting on the link (the monitor asks for reports inside them).
    const int* exchanges = nullptr;
    // The window's one status monitor, null while none is open; the monitor clears it
    // as it closes.
    UiWindow** monitor = nullptr;
};
