// The panel writes only ports the operator changed and always reads all three; a
// write is computed from the last level read, never from the boxes' marks.
#include "tools/pin_panel.h"

#include "common/stray_input.h"
#include "link/link.h"
#include "platform/dispatch.h"

const uint8_t PORT_MASK[3] = {0xFF, 0xF8, 0x0F};
const uint8_t PORT_INVERT[3] = {0x00, 0x80, 0x0B};

const PinRow PIN_TABLE[18] = {
    {0, 0x00, 0, 0},
    {PORT_CONTROL, 0x01, 1010, 1035},
    {PORT_DATA, 0x01, 1011, 0},
    {PORT_DATA, 0x02, 1012, 0},
    {PORT_DATA, 0x04, 1013, 0},
    {PORT_DATA, 0x08, 1014, 0},
    {PORT_DATA, 0x10, 1015, 0},
    {PORT_DATA, 0x20, 1016, 0},
    {PORT_DATA, 0x40, 1017, 0},
    {PORT_DATA, 0x80, 1018, 0},
    {PORT_STATUS, 0x40, 1019, 0},
    {PORT_STATUS, 0x80, 1020, 0},
    {PORT_STATUS, 0x20, 1021, 0},
    {PORT_STATUS, 0x10, 1022, 0},
    {PORT_CONTROL, 0x02, 1023, 1036},
    {PORT_STATUS, 0x08, 1024, 0},
    {PORT_CONTROL, 0x04, 1025, 1037},
    {PORT_CONTROL, 0x08, 1026, 1038},
};

namespace {

ToolHost& host_of(UiWindow* panel) { return *static_cast<ToolHost*>(ui_context(panel)); }

int row_of_box(int id) {
    for (int row = 1; row <= 17; ++row)
        if (PIN_TABLE[row].box_id == id) return row;
    return 0;
}

int row_of_input_box(int id) {
    for (int row = 1; row <= 17; ++row)
        if (PIN_TABLE[row].input_box_id == id) return row;
    return 0;
}

bool is_output_row(int row) { return (row >= 1 && row <= 9) || row == 14 || row == 16 || row == 17; }

void open_panel(UiWindow* panel) {
    PinPanelState& pins = *host_of(panel).pins;
    pins.have_reading = 0;
    for (int port = 0; port < 3; ++port) pins.port_dirty[port] = 0;
    // The input mask outlives the panel; show it as it is.
    for (int row = 1; row <= 17; ++row) {
        const PinRow& r = PIN_TABLE[row];
        if (!r.input_box_id) continue;
        bool input = (pins.input_mask[r.port] & r.bit) != 0;
        ui_set_check(panel, r.input_box_id, input ? 1 : 0);
        ui_enable(panel, r.box_id, input ? 0 : 1);
    }
    ui_set_timer(panel, PIN_POLL_TIMER, PIN_POLL_MS);
}

void close_panel(UiWindow* panel) {
    PinPanelState& pins = *host_of(panel).pins;
    ui_kill_timer(panel, PIN_POLL_TIMER);
    // Clicks that never went out must not ride along with some later change.
    for (int port = 0; port < 3; ++port) pins.pending_toggles[port] = 0;
    platform_sleep_ms(PIN_POLL_MS);
    ui_end_dialog(panel, 2);
}

}  // namespace

uint8_t pin_panel_write_value(const PinPanelState& pins, int port) {
    return static_cast<uint8_t>(((pins.input_mask[port] | pins.port_levels[port]) ^ PORT_INVERT[port] ^
                                 pins.pending_toggles[port]) &
                                PORT_MASK[port]);
}

void pin_panel_poll(UiWindow* panel) {
    ToolHost& host = host_of(panel);
    PinPanelState& pins = *host.pins;
    if (pins.poll_busy) return;
    // A command exchange is waiting on the same line: its reply must not meet our
    // bytes. The tick is skipped like a busy one; polling resumes after the reply.
    if (link_busy(*host.link)) return;
    pins.poll_busy = 1;

    uint8_t values[3] = {0, 0, 0};
    const uint8_t* writes[3] = {nullptr, nullptr, nullptr};
    uint8_t taken_toggles[3] = {0, 0, 0};
    int32_t taken_dirty[3] = {0, 0, 0};
    if (pins.have_reading) {
        for (int port = 0; port < 3; ++port) {
            if (!pins.port_dirty[port]) continue;
            values[port] = pin_panel_write_value(pins, port);
            writes[port] = &values[port];
            taken_toggles[port] = pins.pending_toggles[port];
            taken_dirty[port] = 1;
            pins.port_dirty[port] = 0;
            pins.pending_toggles[port] = 0;
        }
    }
    uint8_t reads[3] = {0, 0, 0};
    TargetLink* link = *host.link;
    int ok = link_pin_transaction(link, writes[0], writes[1], writes[2], &reads[0], &reads[1], &reads[2]);
    // A link closed inside the wait is freed: only the one still open is asked.
    char stray[96] = "";
    uint32_t dropped = link && *host.link == link ? link_dropped_input(link, stray, sizeof stray) : 0;
    if (dropped && host.note) host.note(host.owner, stray_input_text(dropped, stray).c_str());
    if (ok) {
        for (int port = 0; port < 3; ++port) pins.port_levels[port] = reads[port] ^ PORT_INVERT[port];
        pins.have_reading = 1;
        if (ui_dialog_alive(panel)) {
            for (int row = 1; row <= 17; ++row) {
                const PinRow& r = PIN_TABLE[row];
                ui_set_check(panel, r.box_id, (pins.port_levels[r.port] & r.bit) ? 1 : 0);
            }
        }
    } else {
        // The operator's clicks go out at the next good poll instead of being lost
        // (unless the panel was closed meanwhile: then they are dropped).
        for (int port = 0; port < 3 && ui_dialog_alive(panel); ++port) {
            pins.pending_toggles[port] |= taken_toggles[port];
            if (taken_dirty[port]) pins.port_dirty[port] = 1;
        }
        if (link && ui_dialog_alive(panel))
            ui_message_box(panel, "No valid data", "LPT error", UI_MB_OK | UI_MB_ICONERROR, 0);
    }
    pins.poll_busy = 0;
}

void pin_panel_toggle(PinPanelState* pins, int row) {
    if (row < 1 || row > 17) return;
    const PinRow& r = PIN_TABLE[row];
    pins->port_dirty[r.port] = 1;
    pins->pending_toggles[r.port] |= r.bit;
}

void pin_panel_set_input(UiWindow* panel, int row) {
    if (row < 1 || row > 17 || !PIN_TABLE[row].input_box_id) return;
    const PinRow& r = PIN_TABLE[row];
    PinPanelState& pins = *host_of(panel).pins;
    if (ui_is_checked(panel, r.input_box_id) == 1) {
        ui_enable(panel, r.box_id, 0);
        pins.port_dirty[r.port] = 1;
        pins.input_mask[r.port] |= r.bit;
    } else {
        ui_enable(panel, r.box_id, 1);
        pins.input_mask[r.port] &= static_cast<uint8_t>(~r.bit);
    }
}

void pin_panel_proc(UiWindow* panel, const UiMessage* message) {
    switch (message->kind) {
        case UI_INIT: open_panel(panel); break;
        case UI_TIMER: pin_panel_poll(panel); break;
        case UI_COMMAND: {
            int id = message->id;
            if (id == UI_IDCANCEL) {
                close_panel(panel);
            } else if (int row = row_of_box(id); row && is_output_row(row)) {
                pin_panel_toggle(host_of(panel).pins, row);
            } else if (int input_row = row_of_input_box(id); input_row) {
                pin_panel_set_input(panel, input_row);
            }
            break;
        }
        default: break;
    }
}
