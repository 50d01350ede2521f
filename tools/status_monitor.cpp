// The monitor never blocks the main window: it samples from its own timer, takes a
// report in only from the head of the input, and draws only what the plot model says.
#include "tools/status_monitor.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <new>
#include <string>

#include "common/samples.h"
#include "common/stray_input.h"
#include "link/link.h"
#include "platform/dispatch.h"
#include "platform/frame_fit.h"
#include "settings/saved_file.h"
#include "settings/settings.h"
#include "tools/status_monitor_sampler.h"

namespace {

const char* const SECTION = "Monitor";
constexpr int CHILDREN = 6;  // the template's controls, in template order
constexpr uint32_t TEXT_RGB = 0x000000, STALE_RGB = 0x808080, TROUBLE_RGB = 0xC00000;

struct Geometry {
    int x, y, width, height;
};

struct StatusMonitor {
    ToolHost host;
    UiWindow* owner = nullptr;
    MonitorSampler sampler;
    SampleRing ring;
    bool frozen = false;
    int designed_width = 0, designed_height = 0;
    Geometry designed[CHILDREN] = {};
    // What each canvas shows (readings, chart, X-Y view), so that an unchanged picture is
    // not painted again: while the controller idles only the chart moves.
    std::string shown_readings, shown_chart, shown_plane;
    uint64_t drawn_at = 0;       // when the pictures were last drawn
    bool sampling = false;       // a look is under way (its request may wait, and run the timer again)
    // The window can close inside any wait (the owner's exit): the record outlives it
    // until the last call on the stack that may wait has returned.
    int holds = 0;
    bool closed = false;
};

StatusMonitor& monitor_of(UiWindow* window) { return *static_cast<StatusMonitor*>(ui_context(window)); }

struct Hold {
    StatusMonitor* m;
    explicit Hold(StatusMonitor* monitor) : m(monitor) { ++m->holds; }
    ~Hold() {
        if (--m->holds == 0 && m->closed) delete m;
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
};

int64_t wall_now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

uint32_t rgb_of(PlotInk ink) {
    const PlotRgb& c = PLOT_INKS[ink];
    return static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b;
}

// The canvases share what the window grows by, the chart and the X-Y view in their
// designed proportion; the buttons keep their size and stay at the bottom.
Geometry place(int index, const Geometry& g, int w0, int h0, int w, int h, int split) {
    int dw = w - w0, dh = h - h0;
    switch (index) {
        case 0: return {g.x, g.y, std::max(1, g.width + dw), g.height};
        case 1: {
            int grow = w0 > 0 ? dw * split / w0 : 0;
            return {g.x, g.y, std::max(1, g.width + grow), std::max(1, g.height + dh)};
        }
        case 2: {
            int grow = w0 > 0 ? dw * split / w0 : 0;
            return {g.x + grow, g.y, std::max(1, g.width + dw - grow), std::max(1, g.height + dh)};
        }
        default: return {g.x, g.y + dh, g.width, g.height};
    }
}

void lay_out(UiWindow* window) {
    StatusMonitor& m = monitor_of(window);
    int w = 0, h = 0;
    ui_client_size(window, &w, &h);
    // The chart's share of the width as designed.
    int split = m.designed[1].width + m.designed[1].x;
    for (int i = 0; i < CHILDREN; ++i) {
        Geometry p = place(i, m.designed[i], m.designed_width, m.designed_height, w, h, split);
        ui_move_child(window, i, p.x, p.y, p.width, p.height);
    }
    ui_redraw(window);
}

// Whole seconds: a finer age would change with every reading and repaint the numbers
// of an idle controller five times a second for nothing.
std::string age_text(uint64_t ms) {
    char text[48];
    std::snprintf(text, sizeof text, "%llu s old", static_cast<unsigned long long>(ms / 1000));
    return text;
}

bool same_values(const Sample& a, const Sample& b) {
    return a.q == b.q && a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

void draw_readings(UiWindow* window, uint64_t now) {
    StatusMonitor& m = monitor_of(window);
    const MonitorSampler& s = m.sampler;
    int width = 0, height = 0, cw = 0, ch = 0;
    ui_canvas_size(window, ID_MONITOR_READINGS, &width, &height);
    ui_canvas_font_cell(window, ID_MONITOR_READINGS, 0, &cw, &ch);
    std::string status = s.state == MONITOR_NOT_CONNECTED ? "not connected"
                         : s.state == MONITOR_NO_REPORT   ? "no report"
                         : s.have_last                    ? age_text(now - std::min(now, s.last.mono_ms))
                                                          : "";
    bool live = s.state == MONITOR_LIVE;
    char values[5][24], hex[16] = "";
    const char* names[5] = {"Q", "X", "Y", "Z", "W"};
    int64_t v[5] = {s.last.q, s.last.x, s.last.y, s.last.z, s.last.w};
    for (int i = 0; i < 5; ++i) {
        if (s.have_last)
            std::snprintf(values[i], sizeof values[i], "%" PRId64, v[i]);
        else
            std::snprintf(values[i], sizeof values[i], "-");
    }
    if (s.have_last) std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(static_cast<uint16_t>(s.last.q)));
    // The same picture again costs nothing: while the controller idles only the age moves.
    std::string key = status + '|' + (live ? "1" : "0") + '|' + hex + '|' + std::to_string(width) + 'x' +
                      std::to_string(height);
    for (const auto& text : values) key += std::string("|") + text;
    if (key == m.shown_readings) return;
    m.shown_readings = key;

    UiDrawPoint anchors[12];
    UiDrawItem items[12];
    int n = 0;
    auto text = [&](int x, int y, const char* t, uint32_t rgb, int halign, int large) {
        anchors[n] = UiDrawPoint{x, y};
        UiDrawItem& it = items[n];
        it = UiDrawItem();
        it.kind = UI_DRAW_TEXT;
        it.rgb = rgb;
        it.points = &anchors[n];
        it.count = 1;
        it.text = t;
        it.halign = halign;
        it.large = large;
        ++n;
    };
    int column = std::max(1, width / 5);
    uint32_t value_rgb = live ? TEXT_RGB : STALE_RGB;
    std::string labels[5];
    for (int i = 0; i < 5; ++i) {
        labels[i] = names[i];
        if (i == 0 && *hex) labels[i] += std::string("  ") + hex;
        text(i * column + cw / 2, 0, labels[i].c_str(), value_rgb, 0, 0);
        text(i * column + cw / 2, ch, values[i], value_rgb, 0, 1);
    }
    if (!status.empty()) text(width - cw / 2, 0, status.c_str(), live ? TEXT_RGB : TROUBLE_RGB, 2, 0);
    ui_canvas_draw(window, ID_MONITOR_READINGS, items, n);
}

void draw_picture(UiWindow* window, int id, bool chart, uint64_t now) {
    StatusMonitor& m = monitor_of(window);
    PlotView view;
    view.now_ms = now;
    // Readings further apart than a few periods are a pause in sampling, not a line.
    view.gap_ms = std::max<uint32_t>(2000, 3 * m.sampler.period_ms);
    ui_canvas_font_cell(window, id, 0, &view.char_width, &view.char_height);
    int width = 0, height = 0;
    ui_canvas_size(window, id, &width, &height);
    PlotRect area;
    area.right = width;
    area.bottom = height;
    PlotPicture picture;
    if (chart)
        plot_strip_chart(&m.ring, view, area, &picture);
    else
        plot_plane_view(&m.ring, view, area, &picture);
    std::vector<UiDrawItem> items;
    std::vector<UiDrawPoint> points;
    monitor_draw_items(picture, &items, &points);
    std::string key(reinterpret_cast<const char*>(points.data()), points.size() * sizeof(UiDrawPoint));
    for (const UiDrawItem& it : items) {
        const int fields[] = {it.kind, static_cast<int>(it.rgb), it.count, it.left, it.top, it.right, it.bottom, it.halign, it.valign};
        key.append(reinterpret_cast<const char*>(fields), sizeof fields);
        if (it.text) key.append(it.text).push_back('\0');
    }
    std::string& shown = chart ? m.shown_chart : m.shown_plane;
    if (key == shown) return;
    shown.swap(key);
    ui_canvas_draw(window, id, items.data(), static_cast<int>(items.size()));
}

void draw_pictures(UiWindow* window, uint64_t now) {
    monitor_of(window).drawn_at = now;
    draw_picture(window, ID_MONITOR_CHART, true, now);
    draw_picture(window, ID_MONITOR_PLANE, false, now);
}

void sample(UiWindow* window) {
    StatusMonitor& m = monitor_of(window);
    if (m.sampling) return;
    Hold hold(&m);
    m.sampling = true;
    TargetLink* link = m.host.link ? *m.host.link : nullptr;
    int exchanges = m.host.exchanges ? *m.host.exchanges : 0;
    uint64_t now = platform_now_ms();
    MonitorLinkState before = m.sampler.state;
    Sample previous = m.sampler.last;
    bool had = m.sampler.have_last;
    int added = monitor_sample(&m.sampler, link, exchanges, now, wall_now_ms(), &m.ring);
    if (m.sampler.dropped_to_say) {
        m.sampler.dropped_to_say = false;
        char stray[96] = "";
        // The link may have been closed inside the request's wait: only the one still open is asked.
        uint32_t dropped = link && m.host.link && *m.host.link == link ? link_dropped_input(link, stray, sizeof stray) : 0;
        if (dropped && m.host.note)
            m.host.note(m.host.owner, stray_input_text(dropped, stray, link_dropped_rest(link)).c_str());
    }
    m.sampling = false;
    // The request's wait may have run the close of this window.
    if (m.closed) return;
    draw_readings(window, now);
    // A frozen picture stays as it is. While the values stay the same (an idle
    // controller, or none answering) the chart only moves on, once a second.
    bool moved_on = m.ring.count && now - m.drawn_at >= 1000;
    bool changed = added && !(had && same_values(previous, m.sampler.last));
    if (!m.frozen && (changed || before != m.sampler.state || moved_on)) draw_pictures(window, now);
    ui_set_timer(window, MONITOR_TIMER, static_cast<int>(monitor_next_look_ms(&m.sampler, now)));
}

void save_samples(UiWindow* window) {
    static const char FILTER[] = "CSV Files (*.csv)\0*.csv\0All Files (*.*)\0*.*\0";
    StatusMonitor& m = monitor_of(window);
    Hold hold(&m);
    char* path = ui_choose_file(window, "zorvtalk-samples.csv", FILTER, "csv", 0, "Save Samples");
    if (!path) return;
    std::string target = path;
    ui_free(path);
    // The chooser waited with the windows live: the monitor may have closed meanwhile.
    if (m.closed) return;
    std::string text = samples_csv_text(&m.ring);
    char why[256] = "";
    if (settings_save_file(target.c_str(), text.data(), text.size(), why, sizeof why)) return;
    std::string message = "The samples were not saved to\r\n" + target + "\r\n(" + why + ").";
    ui_message_box(window, message.c_str(), "Save Samples", UI_MB_OK | UI_MB_ICONERROR, 0);
}

// The first opening goes beside the main window rather than over its Stop button; a
// monitor larger than the screen stays where the toolkit put it.
void place_beside_owner(UiWindow* window, UiWindow* owner) {
    WindowFrame me{}, of{}, area{}, place{};
    if (!owner || !ui_window_rect(window, &me.x, &me.y, &me.width, &me.height) ||
        !ui_window_rect(owner, &of.x, &of.y, &of.width, &of.height) ||
        !ui_work_area(owner, &area.x, &area.y, &area.width, &area.height))
        return;
    if (frame_beside(of, me.width, me.height, area, &place))
        ui_set_window_rect(window, place.x, place.y, place.width, place.height);
}

void init(UiWindow* window) {
    StatusMonitor& m = monitor_of(window);
    ui_client_size(window, &m.designed_width, &m.designed_height);
    for (int i = 0; i < CHILDREN; ++i)
        ui_child_rect(window, i, &m.designed[i].x, &m.designed[i].y, &m.designed[i].width, &m.designed[i].height);
    // Smaller than this the chart's labels would cover its lines.
    ui_set_min_client_size(window, m.designed_width * 3 / 4, m.designed_height * 3 / 4);
    int width = settings_read_int(SECTION, "Width"), height = settings_read_int(SECTION, "Height");
    if (width > 0 && height > 0)
        ui_set_window_rect(window, settings_read_int(SECTION, "Left"), settings_read_int(SECTION, "Top"), width, height);
    else
        place_beside_owner(window, m.owner);
    monitor_sampler_init(&m.sampler, monitor_period(settings_read_int(SECTION, "PeriodMs")));
    samples_init(&m.ring, SAMPLES_DEFAULT_CAPACITY);
    lay_out(window);
    draw_readings(window, platform_now_ms());
    // The first look comes once the window is up, not inside its making.
    ui_set_timer(window, MONITOR_TIMER, 1);
}

// Kept for the next opening, in whatever way this one closes.
void remember_place(UiWindow* window) {
    int x = 0, y = 0, width = 0, height = 0;
    if (!ui_window_rect(window, &x, &y, &width, &height) || width <= 0 || height <= 0) return;
    settings_write_int(SECTION, "Left", x);
    settings_write_int(SECTION, "Top", y);
    settings_write_int(SECTION, "Width", width);
    settings_write_int(SECTION, "Height", height);
    settings_write_int(SECTION, "PeriodMs", static_cast<int32_t>(monitor_of(window).sampler.period_ms));
}

}  // namespace

void monitor_draw_items(const PlotPicture& picture, std::vector<UiDrawItem>* items, std::vector<UiDrawPoint>* points) {
    items->clear();
    points->clear();
    size_t total = 0;
    for (const PlotItem& p : picture.items) total += p.points.size();
    // Reserved whole first: the items point into it.
    points->reserve(total);
    for (const PlotItem& p : picture.items) {
        UiDrawItem it = UiDrawItem();
        it.rgb = rgb_of(p.ink);
        it.points = points->data() + points->size();
        it.count = static_cast<int>(p.points.size());
        for (const PlotPoint& q : p.points) points->push_back(UiDrawPoint{q.x, q.y});
        switch (p.kind) {
            case PLOT_LINE: it.kind = UI_DRAW_LINE; break;
            case PLOT_POLYLINE: it.kind = UI_DRAW_POLYLINE; break;
            case PLOT_BOX: it.kind = UI_DRAW_BOX; break;
            case PLOT_FILLED_BOX: it.kind = UI_DRAW_FILLED_BOX; break;
            case PLOT_TEXT: it.kind = UI_DRAW_TEXT; break;
        }
        it.left = p.rect.left;
        it.top = p.rect.top;
        it.right = p.rect.right;
        it.bottom = p.rect.bottom;
        it.text = p.kind == PLOT_TEXT ? p.text.c_str() : nullptr;
        it.halign = p.halign;
        it.valign = p.valign;
        items->push_back(it);
    }
}

void status_monitor_open(UiWindow* owner, const ToolHost& host) {
    if (host.monitor && *host.monitor) {
        // One monitor: asking again brings it up.
        ui_set_focus(*host.monitor, ID_MONITOR_FREEZE);
        return;
    }
    StatusMonitor* m = new (std::nothrow) StatusMonitor;
    if (!m) return;
    m->host = host;
    m->owner = owner;
    UiWindow* window = ui_open_window(&MONITOR_DIALOG, owner, status_monitor_proc, m);
    if (!window) {
        delete m;
        return;
    }
    if (host.monitor) *host.monitor = window;
}

void status_monitor_link_closed(UiWindow* monitor) {
    if (!monitor || !ui_dialog_alive(monitor)) return;
    monitor_link_closed(&monitor_of(monitor).sampler);
    draw_readings(monitor, platform_now_ms());
}

void status_monitor_proc(UiWindow* window, const UiMessage* message) {
    switch (message->kind) {
        case UI_INIT: init(window); break;
        case UI_SIZE:
            lay_out(window);
            // The pictures follow the canvases' new sizes, frozen or not.
            monitor_of(window).shown_readings.clear();
            monitor_of(window).shown_chart.clear();
            monitor_of(window).shown_plane.clear();
            draw_readings(window, platform_now_ms());
            draw_pictures(window, platform_now_ms());
            break;
        case UI_TIMER:
            if (message->id == MONITOR_TIMER) sample(window);
            break;
        case UI_COMMAND:
            switch (message->id) {
                case UI_IDCANCEL: ui_end_dialog(window, 0); break;
                case ID_MONITOR_FREEZE:
                    monitor_of(window).frozen = ui_is_checked(window, ID_MONITOR_FREEZE) == 1;
                    if (!monitor_of(window).frozen) draw_pictures(window, platform_now_ms());
                    break;
                case ID_MONITOR_CLEAR:
                    samples_clear(&monitor_of(window).ring);
                    draw_pictures(window, platform_now_ms());
                    break;
                case ID_MONITOR_SAVE: save_samples(window); break;
                default: break;
            }
            break;
        case UI_DESTROY: {
            StatusMonitor* m = &monitor_of(window);
            remember_place(window);
            if (m->host.monitor && *m->host.monitor == window) *m->host.monitor = nullptr;
            m->closed = true;
            if (m->holds == 0) delete m;
            break;
        }
        default: break;
    }
}
