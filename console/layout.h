// Proportional layout: a snapshot of the designed geometry, and the rule that
// moves and stretches the children for a new client size.
#pragma once

#include "platform/ui.h"

// Entry 0: the dialog (width, height = designed client size); entries 1..n: the
// children by template index; closed by an entry with window -1.
struct ChildLayout {
    int window;  // 0 for the dialog, child index + 1 for a child, -1 at the end
    int x, y, width, height;
};

struct Rect {
    int x, y, width, height;
};

// A new snapshot (free with layout_free), or nullptr for no dialog.
ChildLayout* layout_snapshot(UiWindow* dialog);
void layout_free(ChildLayout* layout);
// Moves every child for the dialog's current client size.
void layout_apply(UiWindow* dialog, const ChildLayout* layout);
// The rule itself: where a child designed at r in a w0 x h0 client goes in a w x h one.
Rect layout_place(Rect r, int w0, int h0, int w, int h);
// The smallest client size at which the rule clips nothing: every child stays inside
// with the designed margins, keeps a size, and overlaps no child it did not overlap
// as designed. 0 x 0 for no snapshot.
void layout_min_size(const ChildLayout* layout, int* width, int* height);
