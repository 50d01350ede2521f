// Every resize is computed afresh from the snapshot, so no error builds up.
#include "console/layout.h"

#include <cstddef>
#include <new>
#include <vector>

Rect layout_place(Rect r, int w0, int h0, int w, int h) {
    int dw = w - w0;
    if (dw < 0) dw = 0;
    int half = h0 / 2;
    int dh = h - h0;
    if (dh < -half) dh = -half;
    if (r.y + r.height <= half) return Rect{r.x + dw / 2, r.y, r.width, r.height};
    if (r.y < half) return Rect{r.x, r.y, r.width + dw, r.height + dh};
    return Rect{r.x + dw / 2, r.y + dh, r.width, r.height};
}

ChildLayout* layout_snapshot(UiWindow* dialog) {
    if (!dialog) return nullptr;
    std::vector<ChildLayout> entries;
    int w0 = 0, h0 = 0;
    ui_client_size(dialog, &w0, &h0);
    entries.push_back(ChildLayout{0, 0, 0, w0, h0});
    int count = ui_child_count(dialog);
    for (int i = 0; i < count; ++i) {
        ChildLayout e{i + 1, 0, 0, 0, 0};
        if (ui_child_rect(dialog, i, &e.x, &e.y, &e.width, &e.height)) entries.push_back(e);
    }
    entries.push_back(ChildLayout{-1, 0, 0, 0, 0});
    ChildLayout* out = new (std::nothrow) ChildLayout[entries.size()];
    if (!out) return nullptr;
    for (std::size_t i = 0; i < entries.size(); ++i) out[i] = entries[i];
    return out;
}

void layout_free(ChildLayout* layout) { delete[] layout; }

void layout_apply(UiWindow* dialog, const ChildLayout* layout) {
    if (!dialog || !layout || layout[0].window != 0) return;
    int w = 0, h = 0;
    ui_client_size(dialog, &w, &h);
    for (const ChildLayout* e = layout + 1; e->window > 0; ++e) {
        Rect r = layout_place(Rect{e->x, e->y, e->width, e->height}, layout[0].width, layout[0].height, w, h);
        ui_move_child(dialog, e->window - 1, r.x, r.y, r.width, r.height);
    }
    ui_redraw(dialog);
}
