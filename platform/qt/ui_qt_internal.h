// What the Qt backend's files share and nothing else sees: the window record behind a
// UiWindow, the modal stack, message delivery and the helpers every file uses.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <map>
#include <vector>

#include "platform/ui.h"

class QAction;
class QDialog;
class QMenu;
class QTimer;
class QToolButton;

namespace qt_backend {

class LogModel;

struct Control {
    int id;
    UiClass cls;
    uint32_t style;
    QWidget* widget;
    LogModel* model;  // list views only
};

}  // namespace qt_backend

struct UiWindow {
    const DialogTemplate* tmpl = nullptr;
    UiDialogProc proc = nullptr;
    void* context = nullptr;  // the caller's, for ui_context
    QDialog* dialog = nullptr;
    std::vector<qt_backend::Control> controls;  // template order
    std::map<int, QTimer*> timers;
    std::map<int, QAction*> menu_items;
    QMenu* menu = nullptr;
    QToolButton* menu_button = nullptr;
    bool ended = false;
    int result = 0;
    // A window of ui_open_window: it closes once no handler of it is on the stack.
    bool modeless = false;
    UiWindow* owner = nullptr;
    int depth = 0;  // handlers of this window running, nested waits included
    bool close_pending = false;
};

namespace qt_backend {

// One modal window on screen: a dialog of ui_run_dialog, a message box or a file
// chooser. They nest strictly (each runs its own loop), so they form a stack, and as
// on Windows only the innermost live one takes input: every window below it is
// blocked the way a Windows owner is disabled. Qt's own modality covers the window
// system's events only; events sent or posted straight to a widget, a programmatic
// click and the backend's own menu button and keys pass it by, so the backend keeps
// this stack and refuses input itself.
struct ModalScope {
    ModalScope(QWidget* window, UiWindow* ui);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

    bool live() const { return ui ? !ui->ended : !ended; }

    QPointer<QWidget> window;
    UiWindow* ui;        // the dialog of ui_run_dialog; null for boxes and choosers
    bool ended = false;  // a box or chooser closed because its owner ended
};

bool window_blocked(const UiWindow* w);
// Installs the application-wide filter that refuses input to blocked windows.
void ensure_modal_gate();
// Ends every modal window above the owner's that it owns, innermost first.
void end_owned(QWidget* owner);

void deliver(UiWindow* w, UiMessageKind kind, int id, int code = 0, int width = 0, int height = 0);
// What the operator did to a window; nothing while a modal window blocks it.
void deliver_input(UiWindow* w, UiMessageKind kind, int id, int code = 0);

QString from_bytes(const char* text);
// Copies bytes into a NUL-ended buffer, never splitting a UTF-8 sequence; the length copied.
int copy_out(const char* data, int length, char* buf, int size);
int copy_out(const QString& text, char* buf, int size);

Control* find_control(UiWindow* w, int id);
QWidget* target_widget(UiWindow* w, int id);

// A dialog window built from w's template (controls, font, window menu), not yet shown.
QDialog* make_dialog(UiWindow* w, QWidget* parent);
// Closes the windows of ui_open_window that owner owns (null: every one), each after
// UI_DESTROY; the outermost run's end closes the rest, as the program ends.
void close_owned_windows(UiWindow* owner);
// ui_end_dialog of a window from ui_open_window, and what finishes a close that had
// to wait for the window's handlers to return.
void end_window(UiWindow* w);
void close_window(UiWindow* w);

// The drawing area of a UI_CANVAS control (ui_qt_canvas.cpp).
QWidget* make_canvas(QDialog* dlg, const DialogControl& dc);

// The log list of a list-view control: its view, with the model in c.model.
QWidget* make_log_list(QDialog* dlg, const DialogControl& dc, Control& c);
// The stand-in for the title-bar system menu and its corner button.
void build_window_menu(UiWindow* w);
void show_menu(UiWindow* w, QPoint global);

}  // namespace qt_backend
