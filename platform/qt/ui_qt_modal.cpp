// The modal stack of the Qt backend: which window takes input while dialogs, boxes
// and choosers nest, the filter that refuses input to the others, and the end of
// what an ending window owns.
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>

#include "platform/qt/ui_qt_internal.h"

namespace qt_backend {

namespace {

std::vector<ModalScope*> g_modal;  // innermost last

// The index of the innermost modal window that holds the widget (the widget itself,
// or an owner up its parent chain); the stack's size for a window of no modal scope
// (tips, Qt's own).
size_t scope_index(const QWidget* widget) {
    for (const QWidget* x = widget; x; x = x->parentWidget())
        for (size_t i = g_modal.size(); i-- > 0;)
            if (g_modal[i]->window == x) return i;
    return g_modal.size();
}

bool blocked_at(size_t index) {
    if (index >= g_modal.size() || !g_modal[index]->live()) return false;
    for (size_t j = index + 1; j < g_modal.size(); ++j)
        if (g_modal[j]->live()) return true;
    return false;
}

bool widget_blocked(const QWidget* widget) { return widget && blocked_at(scope_index(widget)); }

// A blocked window that gets pressed or focused hands the focus to the window that
// blocks it, as Windows does, so the keys that follow go where they can act. Without
// a window manager that knows modality, a click on the owner focuses it.
void raise_innermost() {
    for (size_t i = g_modal.size(); i-- > 0;) {
        if (!g_modal[i]->live() || !g_modal[i]->window) continue;
        QWidget* top = g_modal[i]->window;
        if (top->isVisible() && !top->isActiveWindow()) {
            top->raise();
            top->activateWindow();
        }
        return;
    }
}

bool is_input(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

// Sees every event of the application, in every nested loop, before the widget and
// its own filters do.
class ModalGate : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            // Once the activation is over: handing it on from inside would be undone.
            if (w->isWindow() && widget_blocked(w) && !handover_queued_) {
                handover_queued_ = true;
                QTimer::singleShot(0, this, [this]() {
                    handover_queued_ = false;
                    raise_innermost();
                });
            }
            return false;
        }
        if (!is_input(event->type()) || !watched->isWidgetType()) return false;
        if (!widget_blocked(static_cast<QWidget*>(watched))) return false;
        event->ignore();  // a refused close leaves the window open
        QEvent::Type t = event->type();
        if (t == QEvent::MouseButtonPress || t == QEvent::NonClientAreaMouseButtonPress || t == QEvent::KeyPress)
            raise_innermost();
        return true;
    }

private:
    bool handover_queued_ = false;
};

bool owned_by(const QWidget* widget, const QWidget* owner) {
    for (const QWidget* p = widget ? widget->parentWidget() : nullptr; p; p = p->parentWidget())
        if (p == owner) return true;
    return false;
}

}  // namespace

ModalScope::ModalScope(QWidget* w, UiWindow* u) : window(w), ui(u) { g_modal.push_back(this); }

ModalScope::~ModalScope() {
    for (size_t i = g_modal.size(); i-- > 0;)
        if (g_modal[i] == this) {
            g_modal.erase(g_modal.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
}

bool window_blocked(const UiWindow* w) { return w && widget_blocked(w->dialog); }

void ensure_modal_gate() {
    static QPointer<ModalGate> gate;
    if (gate || !QCoreApplication::instance()) return;
    gate = new ModalGate(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(gate);
}

// Ends every modal window above the owner's that it owns, innermost first: their
// loops run nested inside the owner's, which could not return before them.
void end_owned(QWidget* owner) {
    if (!owner) return;
    std::vector<ModalScope*> scopes = g_modal;
    for (size_t i = scopes.size(); i-- > 0;) {
        ModalScope* s = scopes[i];
        if (s->window == owner) break;
        if (!s->live() || !owned_by(s->window, owner)) continue;
        if (s->ui) {
            ui_end_dialog(s->ui, UI_IDCANCEL);
        } else {
            s->ended = true;
            if (auto* d = qobject_cast<QDialog*>(s->window.data())) d->done(QDialog::Rejected);
        }
    }
}

}  // namespace qt_backend
