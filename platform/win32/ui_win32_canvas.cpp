// The drawing area of UI_CANVAS controls: a window class of our own that keeps the last
// picture handed to it and paints it with GDI through a memory bitmap, so a repaint
// never flickers; any number of pictures between two paints cost one.
#include "platform/ui.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/ui_win32_internal.h"

using namespace win32_backend;

namespace {

// Coordinates beyond this are no picture's; GDI's own limits are not far above.
constexpr int FARTHEST = 32767;

struct Item {
    UiDrawKind kind;
    COLORREF colour;
    std::vector<POINT> points;
    RECT box;
    std::wstring text;
    int halign, valign;
    bool large;
};

struct Canvas {
    std::vector<Item> items;
    HFONT font = nullptr;  // the dialog's, from WM_SETFONT
};

POINT fenced(int x, int y) { return POINT{std::max(-FARTHEST, std::min(x, FARTHEST)), std::max(-FARTHEST, std::min(y, FARTHEST))}; }

std::wstring wide(const char* s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

HFONT normal_font(const Canvas* c) {
    return c && c->font ? c->font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// The readings' font: the dialog's, twice its height and bold; made once for the font
// the dialogs use.
HFONT large_font(HFONT normal) {
    static HFONT source = nullptr, large = nullptr;
    if (large && source == normal) return large;
    LOGFONTA lf{};
    if (!GetObjectA(normal, sizeof lf, &lf)) return normal;
    lf.lfHeight = lf.lfHeight ? lf.lfHeight * 2 : -26;
    lf.lfWidth = 0;
    lf.lfWeight = FW_BOLD;
    HFONT made = CreateFontIndirectA(&lf);
    if (!made) return normal;
    if (large) DeleteObject(large);
    source = normal;
    large = made;
    return large;
}

int aligned(int anchor, int length, int align) { return anchor - (align == 1 ? length / 2 : align == 2 ? length : 0); }

void draw_items(HDC dc, const Canvas* c) {
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old_font = SelectObject(dc, normal_font(c));
    for (const Item& item : c->items) {
        switch (item.kind) {
        case UI_DRAW_LINE:
        case UI_DRAW_POLYLINE: {
            HPEN pen = CreatePen(PS_SOLID, 1, item.colour);
            HGDIOBJ old = SelectObject(dc, pen);
            Polyline(dc, item.points.data(), static_cast<int>(item.points.size()));
            // GDI leaves a line's last pixel out; the other backends draw it.
            SetPixelV(dc, item.points.back().x, item.points.back().y, item.colour);
            SelectObject(dc, old);
            DeleteObject(pen);
            break;
        }
        case UI_DRAW_BOX:
        case UI_DRAW_FILLED_BOX: {
            HBRUSH brush = CreateSolidBrush(item.colour);
            if (item.kind == UI_DRAW_BOX)
                FrameRect(dc, &item.box, brush);
            else
                FillRect(dc, &item.box, brush);
            DeleteObject(brush);
            break;
        }
        case UI_DRAW_TEXT: {
            SelectObject(dc, item.large ? large_font(normal_font(c)) : normal_font(c));
            SIZE size{0, 0};
            int n = static_cast<int>(item.text.size());
            GetTextExtentPoint32W(dc, item.text.c_str(), n, &size);
            SetTextColor(dc, item.colour);
            TextOutW(dc, aligned(item.points[0].x, size.cx, item.halign), aligned(item.points[0].y, size.cy, item.valign),
                     item.text.c_str(), n);
            break;
        }
        }
    }
    SelectObject(dc, old_font);
}

// The empty canvas (the dialog's background) and the picture, into a bitmap first.
void paint(HWND h, HDC dc, const Canvas* c) {
    RECT r;
    GetClientRect(h, &r);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = mem ? CreateCompatibleBitmap(dc, r.right, r.bottom) : nullptr;
    HDC target = bitmap ? mem : dc;  // out of GDI memory: straight onto the window
    HGDIOBJ old = bitmap ? SelectObject(mem, bitmap) : nullptr;
    FillRect(target, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (c) draw_items(target, c);
    if (bitmap) {
        BitBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteObject(bitmap);
    }
    if (mem) DeleteDC(mem);
}

LRESULT CALLBACK canvas_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<Canvas*>(GetWindowLongPtrA(h, GWLP_USERDATA));
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new Canvas));
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(h, GWLP_USERDATA, 0);
        delete c;
        break;
    case WM_SETFONT:  // the dialog manager hands its font to every control
        if (c) c->font = reinterpret_cast<HFONT>(wp);
        if (LOWORD(lp)) InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(c ? c->font : nullptr);
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        if (dc) paint(h, dc, c);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        paint(h, reinterpret_cast<HDC>(wp), c);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

Canvas* canvas_of(UiWindow* w, int id) {
    HWND h = control(w, id);
    if (!h || id == 0 || !is_class(h, CANVAS_CLASS_NAME)) return nullptr;
    return reinterpret_cast<Canvas*>(GetWindowLongPtrA(h, GWLP_USERDATA));
}

}  // namespace

void win32_backend::register_canvas_class() {
    static bool done = false;
    if (done) return;
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;  // a resized canvas is drawn afresh
    wc.lpfnWndProc = canvas_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.lpszClassName = CANVAS_CLASS_NAME;
    done = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void ui_canvas_draw(UiWindow* dialog, int id, const UiDrawItem* items, int count) {
    Canvas* c = canvas_of(dialog, id);
    if (!c) return;
    c->items.clear();
    for (int i = 0; items && i < count; ++i) {
        const UiDrawItem& in = items[i];
        Item out{in.kind, to_colorref(in.rgb), {}, RECT{0, 0, 0, 0}, {}, in.halign, in.valign, in.large != 0};
        int need = in.kind == UI_DRAW_TEXT ? 1 : (in.kind == UI_DRAW_LINE || in.kind == UI_DRAW_POLYLINE) ? 2 : 0;
        if (need > 0 && (!in.points || in.count < need)) continue;
        int n = in.kind == UI_DRAW_POLYLINE ? in.count : need;
        for (int k = 0; k < n; ++k) out.points.push_back(fenced(in.points[k].x, in.points[k].y));
        if (in.kind == UI_DRAW_BOX || in.kind == UI_DRAW_FILLED_BOX) {
            POINT a = fenced(in.left, in.top), b = fenced(in.right, in.bottom);
            if (b.x <= a.x || b.y <= a.y) continue;
            out.box = RECT{a.x, a.y, b.x, b.y};
        } else if (in.kind == UI_DRAW_TEXT) {
            if (!in.text) continue;
            out.text = wide(in.text);
        } else if (need == 0) {
            continue;  // no kind we know
        }
        c->items.push_back(std::move(out));
    }
    InvalidateRect(control(dialog, id), nullptr, FALSE);  // WM_PAINT comes once, when the queue is empty
}

int ui_canvas_size(UiWindow* dialog, int id, int* width, int* height) {
    RECT r{0, 0, 0, 0};
    bool ok = canvas_of(dialog, id) && GetClientRect(control(dialog, id), &r);
    if (width) *width = ok ? r.right : 0;
    if (height) *height = ok ? r.bottom : 0;
    return ok ? 1 : 0;
}

int ui_canvas_font_cell(UiWindow* dialog, int id, int large, int* char_width, int* char_height) {
    Canvas* c = canvas_of(dialog, id);
    HDC dc = c ? GetDC(control(dialog, id)) : nullptr;
    SIZE digit{0, 0};
    TEXTMETRICA tm{};
    if (dc) {
        HGDIOBJ old = SelectObject(dc, large ? large_font(normal_font(c)) : normal_font(c));
        GetTextExtentPoint32A(dc, "0", 1, &digit);
        GetTextMetricsA(dc, &tm);
        SelectObject(dc, old);
        ReleaseDC(control(dialog, id), dc);
    }
    if (char_width) *char_width = dc ? digit.cx : 0;
    if (char_height) *char_height = dc ? tm.tmHeight : 0;
    return dc ? 1 : 0;
}
