// Windows that do not block (ui_open_window): shown beside the running dialogs, closed
// with their owner and told UI_DESTROY last; the outer frame's place on the screen, and
// the client geometry the proportional layout reads and sets.
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <vector>

#include "platform/frame_fit.h"
#include "platform/qt/ui_qt_internal.h"

namespace qt_backend {

namespace {

std::vector<UiWindow*> g_windows;  // open windows of ui_open_window, oldest first

bool is_open(const UiWindow* w) { return std::find(g_windows.begin(), g_windows.end(), w) != g_windows.end(); }

void stop_timers(UiWindow* w) {
    for (auto& entry : w->timers) entry.second->stop();
}

WindowFrame plain(const QRect& r) { return WindowFrame{r.x(), r.y(), r.width(), r.height()}; }

// The frame as it is when any screen shows enough of it, else moved wholly onto the
// screen nearest to it (its top-left corner first where it is larger than the screen).
QRect onto_screen(QRect frame) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* nearest = nullptr;
    qint64 nearest_distance = 0;
    for (QScreen* s : screens) {
        QRect area = s->availableGeometry();
        if (frame_reachable(plain(frame), plain(area))) return frame;
        QPoint d = area.center() - frame.center();
        qint64 distance = static_cast<qint64>(d.x()) * d.x() + static_cast<qint64>(d.y()) * d.y();
        if (!nearest || distance < nearest_distance) {
            nearest = s;
            nearest_distance = distance;
        }
    }
    if (!nearest) return frame;
    WindowFrame fit = frame_onto(plain(frame), plain(nearest->availableGeometry()));
    return QRect(fit.x, fit.y, fit.width, fit.height);
}

// The window manager's frame around a window's client area. Before the window is first
// shown its own frame is unknown: a shown window's stands in (the owner's first), so a
// frame saved at close comes back the same size, not larger by the title bar.
QSize frame_extra(UiWindow* w) {
    QWidget* sample = w->dialog;
    if (!sample->isVisible()) {
        sample = w->owner && w->owner->dialog && w->owner->dialog->isVisible() ? w->owner->dialog : nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (!sample && top->isVisible() && qobject_cast<QDialog*>(top)) sample = top;
    }
    if (!sample) return QSize(0, 0);
    return sample->frameGeometry().size() - sample->geometry().size();
}

}  // namespace

void close_window(UiWindow* w) {
    if (!is_open(w)) return;
    w->ended = true;
    stop_timers(w);
    if (w->depth > 0) {  // a handler of it waits further up the stack
        w->close_pending = true;
        return;
    }
    w->close_pending = false;
    g_windows.erase(std::find(g_windows.begin(), g_windows.end(), w));
    close_owned_windows(w);
    end_owned(w->dialog);
    UiMessage destroy{UI_DESTROY, 0, 0, 0, 0};
    ++w->depth;
    w->proc(w, &destroy);
    --w->depth;
    // Deleted once control is back in an event loop: a Qt handler of the window (its
    // menu, a key) may still be on the stack. The record goes with the widget.
    w->dialog->hide();
    w->dialog->deleteLater();
}

void end_window(UiWindow* w) {
    if (!is_open(w) || w->ended) return;
    w->ended = true;
    stop_timers(w);
    QTimer::singleShot(0, w->dialog, [w]() { close_window(w); });
}

void close_owned_windows(UiWindow* owner) {
    std::vector<UiWindow*> windows = g_windows;
    for (UiWindow* w : windows) {
        if (!is_open(w) || (owner && w->owner != owner)) continue;
        if (w->depth > 0 && w->dialog->parentWidget()) {
            // Its owner's widget is about to go, and with it every child: keep this
            // one until its handler has returned.
            w->dialog->hide();
            w->dialog->setParent(nullptr, w->dialog->windowFlags());
        }
        close_window(w);
    }
}

}  // namespace qt_backend

using namespace qt_backend;

UiWindow* ui_open_window(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context) {
    if (!tmpl || !proc || !qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    if (tmpl->count < 0 || (tmpl->count > 0 && !tmpl->controls)) return nullptr;
    if (owner && (owner->ended || !owner->dialog)) return nullptr;
    ensure_modal_gate();
    auto* w = new UiWindow;
    w->tmpl = tmpl;
    w->proc = proc;
    w->context = context;
    w->modeless = true;
    w->owner = owner;
    // A dialog parented to its owner's stays above it (transient for it).
    QDialog* dlg = make_dialog(w, owner ? owner->dialog : nullptr);
    dlg->setWindowModality(Qt::NonModal);
    QObject::connect(dlg, &QObject::destroyed, [w]() { delete w; });
    g_windows.push_back(w);
    deliver(w, UI_INIT, 0);
    if (!w->ended) dlg->show();
    return w;
}

int ui_window_rect(UiWindow* window, int* x, int* y, int* width, int* height) {
    QRect r;
    bool ok = window && window->dialog;
    if (ok) r = window->dialog->frameGeometry();
    // Not shown yet, it has no frame of its own: the one it will get, as ui_set_window_rect
    // takes it, so that handing the rectangle back keeps the size.
    if (ok && !window->dialog->isVisible()) r.setSize(window->dialog->size() + frame_extra(window));
    if (x) *x = r.x();
    if (y) *y = r.y();
    if (width) *width = r.width();
    if (height) *height = r.height();
    return ok ? 1 : 0;
}

void ui_set_window_rect(UiWindow* window, int x, int y, int width, int height) {
    if (!window || !window->dialog) return;
    WindowFrame given = frame_fenced(WindowFrame{x, y, width, height});
    x = given.x, y = given.y, width = given.width, height = given.height;
    QDialog* d = window->dialog;
    QSize extra = frame_extra(window);
    int extra_w = extra.width(), extra_h = extra.height();
    QSize least = d->minimumSize(), most = d->maximumSize();
    int client_w = std::max(least.width(), std::min(width - extra_w, most.width()));
    int client_h = std::max(least.height(), std::min(height - extra_h, most.height()));
    QRect want = onto_screen(QRect(x, y, client_w + extra_w, client_h + extra_h));
    d->resize(client_w, client_h);
    d->move(want.topLeft());  // a window's position is its frame's
}

int ui_work_area(UiWindow* window, int* x, int* y, int* width, int* height) {
    QScreen* screen = window && window->dialog ? window->dialog->screen() : nullptr;
    QRect r = screen ? screen->availableGeometry() : QRect();
    if (x) *x = r.x();
    if (y) *y = r.y();
    if (width) *width = r.width();
    if (height) *height = r.height();
    return screen ? 1 : 0;
}

void ui_client_size(UiWindow* dialog, int* width, int* height) {
    int w = 0, h = 0;
    if (dialog && dialog->dialog) {
        w = dialog->dialog->width();
        h = dialog->dialog->height();
    }
    if (width) *width = w;
    if (height) *height = h;
}

int ui_child_count(UiWindow* dialog) { return dialog ? static_cast<int>(dialog->controls.size()) : 0; }

int ui_child_rect(UiWindow* dialog, int index, int* x, int* y, int* width, int* height) {
    if (!dialog || index < 0 || index >= static_cast<int>(dialog->controls.size())) return 0;
    QWidget* wd = dialog->controls[static_cast<size_t>(index)].widget;
    if (!wd) return 0;
    QRect r = wd->geometry();
    if (x) *x = r.x();
    if (y) *y = r.y();
    if (width) *width = r.width();
    if (height) *height = r.height();
    return 1;
}

void ui_move_child(UiWindow* dialog, int index, int x, int y, int width, int height) {
    if (!dialog || index < 0 || index >= static_cast<int>(dialog->controls.size())) return;
    QWidget* wd = dialog->controls[static_cast<size_t>(index)].widget;
    // Qt paints moved widgets in one batch at the next event-loop turn anyway.
    if (wd) wd->setGeometry(x, y, width < 0 ? 0 : width, height < 0 ? 0 : height);
}

void ui_redraw(UiWindow* dialog) {
    if (dialog && dialog->dialog) dialog->dialog->update();
}

void ui_set_min_client_size(UiWindow* dialog, int width, int height) {
    // The dialog widget is the client area: the window frame is the window system's.
    if (dialog && dialog->dialog) dialog->dialog->setMinimumSize(width < 0 ? 0 : width, height < 0 ? 0 : height);
}
