// The recording ui: enough of a dialog manager for the window logic's tests.
#include "tests/unit/fake_ui.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/dispatch.h"

namespace {

FakeUi g_ui;
FakeControl g_none;

void close_windows(bool all, UiWindow* owner);

FakeControl* find(UiWindow* w, int id) {
    if (!w) return nullptr;
    auto it = w->controls.find(id);
    return it == w->controls.end() ? nullptr : &it->second;
}

FakeControl* combo(UiWindow* w, int id) {
    FakeControl* c = find(w, id);
    return c && c->cls == UI_COMBO ? c : nullptr;
}

FakeControl* list(UiWindow* w, int id) {
    FakeControl* c = find(w, id);
    return c && c->cls == UI_LISTVIEW ? c : nullptr;
}

int copy_out(const std::string& s, char* buf, int size) {
    if (!buf || size <= 0) return 0;
    int n = std::min(static_cast<int>(s.size()), size - 1);
    std::memcpy(buf, s.data(), static_cast<size_t>(n));
    buf[n] = '\0';
    return n;
}

int fake_dispatch() {
    ++g_ui.dispatches;
    if (g_ui.on_dispatch) {
        auto hook = g_ui.on_dispatch;  // the hook may replace or clear itself
        hook();
    }
    bool any = false;
    std::vector<UiWindow*> all = g_ui.open;
    all.insert(all.end(), g_ui.windows.begin(), g_ui.windows.end());
    for (UiWindow* w : all) {
        if (!ui_dialog_alive(w)) continue;
        while (w->alive && !w->posted.empty()) {
            UiMessage m = w->posted.front();
            w->posted.pop_front();
            w->proc(w, &m);
            any = true;
        }
    }
    close_windows(false, nullptr);
    return any ? 1 : 0;
}

// The fake window has an event every millisecond (on_dispatch stands for what the
// operator does meanwhile), so a wait returns as often as that.
void fake_wait(intptr_t, uint32_t ms) { platform_sleep_ms(ms < 1 ? ms : 1); }

}  // namespace

FakeUi& fake_ui() { return g_ui; }

void fake_ui_reset() {
    for (UiWindow* w : g_ui.windows) delete w;  // a test that left one open: no handler runs now
    g_ui = FakeUi();
    ui_init();
}

void ui_init() {
    platform_set_dispatch(fake_dispatch);
    platform_set_wait(fake_wait);
}

FakeControl& fake_control(UiWindow* dialog, int id) {
    FakeControl* c = find(dialog, id);
    return c ? *c : g_none;
}

void fake_ui_send(UiWindow* dialog, UiMessage message) {
    if (dialog && dialog->alive) dialog->proc(dialog, &message);
}

void fake_ui_click(UiWindow* dialog, int id) {
    if (id == UI_IDOK || id == UI_IDCANCEL) {  // Enter, Escape: the dialog manager's own
        fake_ui_send(dialog, UiMessage{UI_COMMAND, id, 0, 0, 0});
        return;
    }
    FakeControl* c = find(dialog, id);
    if (!c || !c->enabled || !dialog->alive) return;
    if (c->cls == UI_CHECKBOX) c->checked = !c->checked;
    fake_ui_send(dialog, UiMessage{UI_COMMAND, id, UI_CLICKED, 0, 0});
}

void fake_ui_type(UiWindow* dialog, int id, const std::string& text) {
    FakeControl* c = find(dialog, id);
    if (!c) return;
    c->text = text;
    if (c->cls == UI_COMBO) fake_ui_send(dialog, UiMessage{UI_COMMAND, id, UI_EDITCHANGE, 0, 0});
}

void fake_ui_pump() { fake_dispatch(); }

void fake_ui_fire_timers() {
    std::vector<UiWindow*> open = g_ui.open;
    open.insert(open.end(), g_ui.windows.begin(), g_ui.windows.end());
    for (UiWindow* w : open) {
        if (!ui_dialog_alive(w)) continue;
        std::map<int, int> timers = w->timers;
        for (auto& t : timers)
            if (w->alive && w->timers.count(t.first)) fake_ui_send(w, UiMessage{UI_TIMER, t.first, 0, 0, 0});
    }
}

namespace {
void build(UiWindow& w, const DialogTemplate* tmpl) {
    w.tmpl = tmpl;
    w.title = tmpl->caption;
    // One dialog unit is 2 px across and 2 px down in the fake.
    w.client_width = tmpl->width * 2;
    w.client_height = tmpl->height * 2;
    for (int i = 0; i < tmpl->count; ++i) {
        const DialogControl& d = tmpl->controls[i];
        FakeControl c;
        c.cls = d.cls;
        c.text = d.text;
        c.enabled = !(d.style & STYLE_DISABLED);
        c.x = d.x * 2;
        c.y = d.y * 2;
        c.width = d.width * 2;
        c.height = (d.cls == UI_COMBO ? 12 : d.height) * 2;
        w.child_ids.push_back(d.id);
        if (d.id == -1)
            w.labels.push_back(c);
        else
            w.controls[d.id] = c;
    }
    w.frame_width = w.client_width + 8;
    w.frame_height = w.client_height + 30;
}
}  // namespace

int ui_run_dialog(const DialogTemplate* tmpl, UiWindow*, UiDialogProc proc, void* context) {
    if (!tmpl || !proc) return -1;
    UiWindow w;
    build(w, tmpl);
    w.proc = proc;
    w.context = context;
    g_ui.open.push_back(&w);
    UiMessage init{UI_INIT, 0, 0, 0, 0};
    proc(&w, &init);
    auto driver = g_ui.drivers.find(tmpl->id);
    if (driver != g_ui.drivers.end() && driver->second) {
        auto fn = driver->second;  // the driver may replace itself
        fn(&w);
    }
    if (w.alive) {
        UiMessage cancel{UI_COMMAND, UI_IDCANCEL, 0, 0, 0};
        proc(&w, &cancel);
        if (w.alive) {  // refused to close (e.g. answered No): force it for the test
            w.alive = false;
            w.result = -2;
        }
    }
    g_ui.open.erase(std::remove(g_ui.open.begin(), g_ui.open.end(), &w), g_ui.open.end());
    close_windows(true, &w);
    return w.result;
}

UiWindow* ui_open_window(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context) {
    if (!tmpl || !proc) return nullptr;
    UiWindow* w = new UiWindow;
    build(*w, tmpl);
    w->proc = proc;
    w->context = context;
    w->owner = owner;
    w->modeless = true;
    g_ui.windows.push_back(w);
    UiMessage init{UI_INIT, 0, 0, 0, 0};
    proc(w, &init);
    return w;
}

void fake_ui_close_windows(UiWindow* owner) { close_windows(true, owner); }

namespace {
// Closes the windows that ended, and with all set those of owner (null: every one).
void close_windows(bool all, UiWindow* owner) {
    for (size_t i = 0; i < g_ui.windows.size();) {
        UiWindow* w = g_ui.windows[i];
        if (w->alive && !(all && (!owner || w->owner == owner))) {
            ++i;
            continue;
        }
        g_ui.windows.erase(g_ui.windows.begin() + static_cast<std::ptrdiff_t>(i));
        w->alive = false;
        close_windows(true, w);  // what it owns goes first, as with a real owner
        UiMessage destroy{UI_DESTROY, 0, 0, 0, 0};
        w->proc(w, &destroy);
        delete w;
        i = 0;  // the handler may have closed others
    }
}
}  // namespace

int ui_window_rect(UiWindow* window, int* x, int* y, int* width, int* height) {
    int ok = window != nullptr;
    if (x) *x = ok ? window->frame_x : 0;
    if (y) *y = ok ? window->frame_y : 0;
    if (width) *width = ok ? window->frame_width : 0;
    if (height) *height = ok ? window->frame_height : 0;
    return ok ? 1 : 0;
}

void ui_set_window_rect(UiWindow* window, int x, int y, int width, int height) {
    if (!window) return;
    // The fake's one screen is 1920 x 1080.
    window->frame_width = std::max(width, window->min_width + 8);
    window->frame_height = std::max(height, window->min_height + 30);
    window->frame_x = std::max(0, std::min(x, 1920 - 40));
    window->frame_y = std::max(0, std::min(y, 1080 - 30));
    window->client_width = window->frame_width - 8;
    window->client_height = window->frame_height - 30;
}

int ui_work_area(UiWindow* window, int* x, int* y, int* width, int* height) {
    int ok = window != nullptr, area[] = {0, 0, ok * 1920, ok * 1080};  // the fake's one screen
    int* out[] = {x, y, width, height};
    for (int i = 0; i < 4; ++i) *out[i] = area[i];
    return ok;
}

void ui_canvas_draw(UiWindow* dialog, int id, const UiDrawItem* items, int count) {
    FakeControl* c = find(dialog, id);
    if (!c || c->cls != UI_CANVAS) return;
    ++c->draws;
    c->drawn.clear();
    c->drawn_points.clear();
    c->drawn_texts.clear();
    for (int i = 0; items && i < count; ++i) {
        c->drawn.push_back(items[i]);
        int n = items[i].points && items[i].count > 0 ? items[i].count : 0;
        c->drawn_points.emplace_back(items[i].points, items[i].points + n);
        c->drawn_texts.emplace_back(items[i].text ? items[i].text : "");
    }
    for (size_t i = 0; i < c->drawn.size(); ++i) {
        c->drawn[i].points = c->drawn_points[i].data();
        c->drawn[i].text = c->drawn_texts[i].c_str();
    }
}

int ui_canvas_size(UiWindow* dialog, int id, int* width, int* height) {
    FakeControl* c = find(dialog, id);
    int ok = c && c->cls == UI_CANVAS;
    if (width) *width = ok ? c->width : 0;
    if (height) *height = ok ? c->height : 0;
    return ok ? 1 : 0;
}

int ui_canvas_font_cell(UiWindow* dialog, int id, int large, int* char_width, int* char_height) {
    FakeControl* c = find(dialog, id);
    int ok = c && c->cls == UI_CANVAS;
    if (char_width) *char_width = ok ? (large ? 14 : 7) : 0;
    if (char_height) *char_height = ok ? (large ? 26 : 13) : 0;
    return ok ? 1 : 0;
}

void ui_end_dialog(UiWindow* dialog, int result) {
    if (!dialog || !dialog->alive) return;
    dialog->alive = false;
    dialog->result = result;
    dialog->timers.clear();
}

int ui_dialog_alive(UiWindow* dialog) {
    if (!dialog || !dialog->alive) return 0;
    return std::find(g_ui.open.begin(), g_ui.open.end(), dialog) != g_ui.open.end() ||
           std::find(g_ui.windows.begin(), g_ui.windows.end(), dialog) != g_ui.windows.end();
}

int ui_dialog_id(UiWindow* dialog) { return dialog && dialog->tmpl ? dialog->tmpl->id : 0; }

void* ui_context(UiWindow* dialog) { return dialog ? dialog->context : nullptr; }

void ui_enable(UiWindow* dialog, int id, int enabled) {
    if (FakeControl* c = find(dialog, id)) c->enabled = enabled != 0;
}

int ui_is_enabled(UiWindow* dialog, int id) {
    FakeControl* c = find(dialog, id);
    return c && c->enabled ? 1 : 0;
}

void ui_set_text(UiWindow* dialog, int id, const char* text) {
    if (!dialog) return;
    if (id == 0) {
        dialog->title = text ? text : "";
        return;
    }
    if (FakeControl* c = find(dialog, id)) c->text = text ? text : "";
}

int ui_text_length(UiWindow* dialog, int id) {
    if (!dialog) return 0;
    if (id == 0) return static_cast<int>(dialog->title.size());
    FakeControl* c = find(dialog, id);
    return c ? static_cast<int>(c->text.size()) : 0;
}

int ui_get_text(UiWindow* dialog, int id, char* buf, int size) {
    if (!dialog) return copy_out("", buf, size);
    if (id == 0) return copy_out(dialog->title, buf, size);
    FakeControl* c = find(dialog, id);
    return copy_out(c ? c->text : "", buf, size);
}

void ui_set_check(UiWindow* dialog, int id, int checked) {
    if (FakeControl* c = find(dialog, id)) c->checked = checked;
}

int ui_is_checked(UiWindow* dialog, int id) {
    FakeControl* c = find(dialog, id);
    return c ? c->checked : 0;
}

void ui_set_focus(UiWindow* dialog, int id) {
    if (find(dialog, id)) dialog->focus = id;
}

int ui_focus_id(UiWindow* dialog) { return dialog ? dialog->focus : 0; }

void ui_post_command(UiWindow* dialog, int id) {
    if (dialog && dialog->alive) dialog->posted.push_back(UiMessage{UI_COMMAND, id, 0, 0, 0});
}

void ui_post_syscommand(UiWindow* dialog, int command) {
    if (dialog && dialog->alive) dialog->posted.push_back(UiMessage{UI_SYSCOMMAND, command, 0, 0, 0});
}

int ui_combo_add(UiWindow* dialog, int id, const char* text, int select) {
    FakeControl* c = combo(dialog, id);
    if (!c || !text) return -1;
    size_t at = c->items.size();
    bool sorted = false;
    for (int i = 0; i < dialog->tmpl->count; ++i)
        if (dialog->tmpl->controls[i].id == id) sorted = (dialog->tmpl->controls[i].style & CBS_SORT_) != 0;
    if (sorted) {
        at = 0;
        while (at < c->items.size() && strcasecmp(c->items[at].c_str(), text) <= 0) ++at;
    }
    c->items.insert(c->items.begin() + static_cast<long>(at), text);
    if (select) c->text = text;
    return static_cast<int>(at);
}

void ui_combo_clear(UiWindow* dialog, int id) {
    if (FakeControl* c = combo(dialog, id)) c->items.clear();
}

// As on both real backends: no such box counts 0 items.
int ui_combo_count(UiWindow* dialog, int id) {
    FakeControl* c = combo(dialog, id);
    return c ? static_cast<int>(c->items.size()) : 0;
}

int ui_combo_item(UiWindow* dialog, int id, int index, char* buf, int size) {
    FakeControl* c = combo(dialog, id);
    if (buf && size > 0) buf[0] = '\0';
    if (!c || index < 0 || index >= static_cast<int>(c->items.size())) return -1;
    return copy_out(c->items[static_cast<size_t>(index)], buf, size);
}

void ui_list_bind(UiWindow* dialog, int id, const UiRowSource* source, uint32_t background) {
    FakeControl* c = list(dialog, id);
    if (!c) return;
    dialog->list_background = background;
    dialog->list_rows = source;
    c->rows_known = source && source->count ? source->count(dialog) : 0;
}

// As a real list: it knows of the rows it was told of, and its selection stays with
// the rows it was on.
void ui_list_inserted(UiWindow* dialog, int id, int row) {
    FakeControl* c = list(dialog, id);
    if (!c || row < 0 || row > c->rows_known) return;
    ++c->rows_known;
    std::set<int> moved;
    for (int r : c->selected) moved.insert(r >= row ? r + 1 : r);
    c->selected.swap(moved);
}

void ui_list_cleared(UiWindow* dialog, int id) {
    FakeControl* c = list(dialog, id);
    if (!c) return;
    c->rows_known = dialog->list_rows && dialog->list_rows->count ? dialog->list_rows->count(dialog) : 0;
    c->selected.clear();
}

void ui_list_changed(UiWindow* dialog, int id) {
    if (FakeControl* c = list(dialog, id)) ++c->changes;
}

void ui_list_ensure_visible(UiWindow* dialog, int id, int row) {
    if (FakeControl* c = list(dialog, id)) c->last_visible = row;
}

int ui_list_next_selected(UiWindow* dialog, int id, int after) {
    FakeControl* c = list(dialog, id);
    if (!c) return -1;
    auto it = c->selected.upper_bound(after);
    return it == c->selected.end() ? -1 : *it;
}

void ui_list_select_all(UiWindow* dialog, int id) {
    FakeControl* c = list(dialog, id);
    if (!c) return;
    for (int r = 0; r < c->rows_known; ++r) c->selected.insert(r);
}

void ui_set_clipboard(UiWindow*, const char* text, int length) {
    g_ui.clipboard.assign(text ? text : "", text && length > 0 ? static_cast<size_t>(length) : 0);
}

void ui_list_set_menu(UiWindow* dialog, int, const UiMenuEntry* entries, int count) {
    if (!dialog) return;
    dialog->list_menu = entries;
    dialog->list_menu_count = count;
}

void ui_list_check_menu(UiWindow* dialog, int, int command, int checked) {
    if (!dialog) return;
    if (checked)
        dialog->list_checked.insert(command);
    else
        dialog->list_checked.erase(command);
}

// The classic scheme: white button highlight, black button text.
uint32_t ui_system_colour(int which) { return which == UI_COLOUR_BUTTON_HIGHLIGHT ? 0xFFFFFF : 0x000000; }
uint32_t ui_nearest_colour(uint32_t rgb) { return rgb; }

void ui_append_system_menu(UiWindow* dialog, int command, const char* text) {
    if (dialog) dialog->system_menu.emplace_back(command, text ? text : "-");
}

void ui_set_system_menu_key(UiWindow* dialog, int command, char key) {
    if (dialog) dialog->menu_keys[command] = key;
}

void ui_enable_system_menu(UiWindow* dialog, int command, int enabled) {
    if (!dialog) return;
    if (enabled)
        dialog->menu_disabled.erase(command);
    else
        dialog->menu_disabled.insert(command);
}

int ui_message_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int icon_id) {
    FakeMessageBox box{text ? text : "", caption ? caption : "", style, icon_id, ui_dialog_id(owner)};
    g_ui.boxes.push_back(box);
    if (g_ui.on_box) {
        auto hook = g_ui.on_box;
        hook(box);
    }
    int answer = (style & 0xF) == UI_MB_YESNO ? UI_ANSWER_YES : UI_ANSWER_OK;
    if (!g_ui.answers.empty()) {
        answer = g_ui.answers.front();
        g_ui.answers.pop_front();
    }
    return answer;
}

void ui_set_timer(UiWindow* dialog, int timer_id, int ms) {
    if (dialog && dialog->alive) dialog->timers[timer_id] = ms;
}

void ui_kill_timer(UiWindow* dialog, int timer_id) {
    if (dialog) dialog->timers.erase(timer_id);
}

char* ui_choose_file(UiWindow*, const char* initial, const char*, const char*, int, const char* title) {
    g_ui.chooser_titles.push_back(title ? title : "");
    g_ui.chooser_initial.push_back(initial ? initial : "");
    if (g_ui.chosen_files.empty()) return nullptr;
    std::string path = g_ui.chosen_files.front();
    g_ui.chosen_files.pop_front();
    if (path.empty() || path.size() > 260) return nullptr;
    char* out = static_cast<char*>(std::malloc(path.size() + 1));
    if (out) std::memcpy(out, path.c_str(), path.size() + 1);
    return out;
}

void ui_free(void* p) { std::free(p); }

void ui_client_size(UiWindow* dialog, int* width, int* height) {
    if (width) *width = dialog ? dialog->client_width : 0;
    if (height) *height = dialog ? dialog->client_height : 0;
}

int ui_child_count(UiWindow* dialog) { return dialog ? static_cast<int>(dialog->child_ids.size()) : 0; }

namespace {
FakeControl* child(UiWindow* dialog, int index) {
    if (!dialog || index < 0 || index >= static_cast<int>(dialog->child_ids.size())) return nullptr;
    int id = dialog->child_ids[static_cast<size_t>(index)];
    if (id != -1) return find(dialog, id);
    int label = 0;
    for (int i = 0; i < index; ++i)
        if (dialog->child_ids[static_cast<size_t>(i)] == -1) ++label;
    return &dialog->labels[static_cast<size_t>(label)];
}
}  // namespace

int ui_child_rect(UiWindow* dialog, int index, int* x, int* y, int* width, int* height) {
    FakeControl* c = child(dialog, index);
    if (!c) return 0;
    *x = c->x;
    *y = c->y;
    *width = c->width;
    *height = c->height;
    return 1;
}

void ui_move_child(UiWindow* dialog, int index, int x, int y, int width, int height) {
    if (FakeControl* c = child(dialog, index)) {
        c->x = x;
        c->y = y;
        c->width = width;
        c->height = height;
    }
}

void ui_redraw(UiWindow* dialog) {
    if (dialog) ++dialog->redraws;
}

void ui_set_min_client_size(UiWindow* dialog, int width, int height) {
    if (!dialog) return;
    dialog->min_width = width;
    dialog->min_height = height;
}
