// The Port and Baud boxes: the system's serial ports, the sixteen rates, and the
// port and rate remembered from the last connect.
#pragma once

#include "platform/ui.h"

// The rates, as one run of NUL-ended texts closed by an empty text.
extern const char BAUD_RATES[];

// Fills both boxes and restores the stored Port and Baud.
void fill_port_list(UiWindow* dialog);
// Lists the ports afresh (the Port box is about to open). The box's text stays; an
// entry equal to it becomes the selection.
void refresh_port_list(UiWindow* dialog);
