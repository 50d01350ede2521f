// Control operations of the Qt backend by id: texts in the core's bytes, enabling,
// check marks, the focus, posted commands and combo boxes.
#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <cstring>

#include "platform/qt/ui_qt_internal.h"

namespace qt_backend {

namespace {

// Sorted combo boxes order case-insensitively; equal texts keep their arrival order.
int sorted_position(QComboBox* combo, const QString& text) {
    int lo = 0, hi = combo->count();
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (QString::compare(combo->itemText(mid), text, Qt::CaseInsensitive) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

}  // namespace

QString from_bytes(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

// Copies bytes into a NUL-ended buffer, never splitting a UTF-8 sequence; the length copied.
int copy_out(const char* data, int length, char* buf, int size) {
    if (!buf || size <= 0) return 0;
    int n = length < size - 1 ? length : size - 1;
    if (n < length) {
        int back = 0;
        while (n > 0 && back < 3 && (static_cast<unsigned char>(data[n]) & 0xC0) == 0x80) --n, ++back;
    }
    if (n > 0) std::memcpy(buf, data, static_cast<size_t>(n));
    buf[n] = '\0';
    return n;
}

int copy_out(const QString& text, char* buf, int size) {
    QByteArray bytes = text.toUtf8();
    return copy_out(bytes.constData(), static_cast<int>(bytes.size()), buf, size);
}

}  // namespace qt_backend

using namespace qt_backend;

void ui_enable(UiWindow* dialog, int id, int enabled) {
    if (QWidget* wd = target_widget(dialog, id)) wd->setEnabled(enabled != 0);
}

int ui_is_enabled(UiWindow* dialog, int id) {
    QWidget* wd = target_widget(dialog, id);
    if (!wd) return 0;
    return wd->testAttribute(Qt::WA_Disabled) ? 0 : 1;
}

void ui_set_text(UiWindow* dialog, int id, const char* text) {
    QWidget* wd = target_widget(dialog, id);
    if (!wd) return;
    QString s = from_bytes(text);
    if (id == 0) {
        wd->setWindowTitle(s);
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(wd))
        label->setText(s);
    else if (auto* button = qobject_cast<QAbstractButton*>(wd))
        button->setText(s);
    else if (auto* edit = qobject_cast<QLineEdit*>(wd))
        edit->setText(s);
    else if (auto* combo = qobject_cast<QComboBox*>(wd))
        combo->setEditText(s);
}

static QString text_of(UiWindow* dialog, int id, bool* found) {
    *found = false;
    QWidget* wd = target_widget(dialog, id);
    if (!wd) return {};
    *found = true;
    if (id == 0) return wd->windowTitle();
    if (auto* label = qobject_cast<QLabel*>(wd)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(wd)) return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(wd)) return edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(wd)) return combo->currentText();
    return {};
}

int ui_text_length(UiWindow* dialog, int id) {
    bool found = false;
    QString s = text_of(dialog, id, &found);
    return found ? static_cast<int>(s.toUtf8().size()) : 0;
}

int ui_get_text(UiWindow* dialog, int id, char* buf, int size) {
    bool found = false;
    QString s = text_of(dialog, id, &found);
    return copy_out(s, buf, size);
}

void ui_set_check(UiWindow* dialog, int id, int checked) {
    if (auto* box = qobject_cast<QAbstractButton*>(target_widget(dialog, id)))
        if (box->isCheckable()) box->setChecked(checked != 0);
}

int ui_is_checked(UiWindow* dialog, int id) {
    auto* box = qobject_cast<QAbstractButton*>(target_widget(dialog, id));
    return box && box->isCheckable() && box->isChecked() ? 1 : 0;
}

void ui_set_focus(UiWindow* dialog, int id) {
    QWidget* wd = target_widget(dialog, id);
    if (!wd) return;
    // As on Windows, focusing a control of a window that does not block brings that
    // window up.
    if (dialog->modeless && !dialog->ended && !window_blocked(dialog) && !dialog->dialog->isActiveWindow()) {
        dialog->dialog->raise();
        dialog->dialog->activateWindow();
    }
    wd->setFocus(Qt::OtherFocusReason);
}

int ui_focus_id(UiWindow* dialog) {
    if (!dialog || !dialog->dialog) return 0;
    // The focus child of this window even while another window is active, as the
    // dialog procedure asks about its own controls.
    QWidget* focus = dialog->dialog->focusWidget();
    while (focus && focus->parentWidget() != dialog->dialog) focus = focus->parentWidget();
    if (!focus) return 0;
    for (const Control& c : dialog->controls)
        if (c.widget == focus) return c.id;
    return 0;
}

void ui_post_command(UiWindow* dialog, int id) {
    if (!dialog || dialog->ended || !dialog->dialog) return;
    // The dialog is the context: a post still queued when it is deleted is dropped.
    QTimer::singleShot(0, dialog->dialog, [dialog, id]() { deliver(dialog, UI_COMMAND, id); });
}

void ui_post_syscommand(UiWindow* dialog, int command) {
    if (!dialog || dialog->ended || !dialog->dialog) return;
    QTimer::singleShot(0, dialog->dialog, [dialog, command]() { deliver(dialog, UI_SYSCOMMAND, command); });
}

int ui_combo_add(UiWindow* dialog, int id, const char* text, int select) {
    Control* c = find_control(dialog, id);
    if (!c || c->cls != UI_COMBO || !text) return -1;
    auto* combo = static_cast<QComboBox*>(c->widget);
    QString s = QString::fromUtf8(text);
    int index = (c->style & CBS_SORT_) ? sorted_position(combo, s) : combo->count();
    // Keep the edit text: inserting into an empty box would otherwise make the new
    // item the current one and overwrite what the operator typed.
    QString typed = combo->currentText();
    int current = combo->currentIndex();
    combo->insertItem(index, s);
    if (select) {
        combo->setCurrentIndex(index);
    } else {
        if (current < 0) combo->setCurrentIndex(-1);
        combo->setEditText(typed);
    }
    return index;
}

void ui_combo_clear(UiWindow* dialog, int id) {
    Control* c = find_control(dialog, id);
    if (!c || c->cls != UI_COMBO) return;
    auto* combo = static_cast<QComboBox*>(c->widget);
    QString typed = combo->currentText();
    combo->clear();
    combo->setEditText(typed);
}

int ui_combo_count(UiWindow* dialog, int id) {
    Control* c = find_control(dialog, id);
    if (!c || c->cls != UI_COMBO) return 0;
    return static_cast<QComboBox*>(c->widget)->count();
}

int ui_combo_item(UiWindow* dialog, int id, int index, char* buf, int size) {
    Control* c = find_control(dialog, id);
    if (buf && size > 0) buf[0] = '\0';
    if (!c || c->cls != UI_COMBO) return -1;
    auto* combo = static_cast<QComboBox*>(c->widget);
    if (index < 0 || index >= combo->count()) return -1;
    return copy_out(combo->itemText(index), buf, size);
}
