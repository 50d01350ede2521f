// The Qt backend's dialogs: built from the template tables with absolute geometry,
// run modally, ended; their native events turned into UiMessages, and their timers.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIconEngine>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cstring>

#include "platform/qt/ui_qt.h"
#include "platform/qt/ui_qt_internal.h"
#include "resources/icon.h"

namespace qt_backend {

namespace {

// Windows sizes a drop-down combo's edit field from the font; 12 units is what the
// single-line edits of the templates use, so the closed boxes line up with them.
constexpr int COMBO_EDIT_UNITS = 12;
constexpr int MIN_TIMER_MS = 10;
int g_runs = 0;  // ui_run_dialog calls running

// Check boxes of the templates are 8 units high, a pixel or two less than the style's
// box with its frame: shrink the box to the control so rows do not cut each other.
class FittingStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        int value = QProxyStyle::pixelMetric(metric, option, widget);
        if ((metric == PM_IndicatorHeight || metric == PM_IndicatorWidth) && widget && widget->height() > 4)
            return qMin(value, widget->height() - 2);
        return value;
    }
};

QStyle* fitting_style() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new FittingStyle();
        style->setParent(qApp);
    }
    return style;
}

// Enter, Escape and Alt+Space are the dialog's, whatever control has the focus: the
// dialog procedure routes Enter itself, and no button is a default button.
class KeyFilter : public QObject {
public:
    KeyFilter(UiWindow* w, QObject* parent) : QObject(parent), w_(w) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        if (window_blocked(w_)) return true;
        auto* key = static_cast<QKeyEvent*>(event);
        Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        bool plain = (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && plain) {
            // As in a Windows dialog, a focused push button takes Enter as a click.
            if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
                button && button->window() == w_->dialog && button->isEnabled()) {
                button->click();
                return true;
            }
            deliver_input(w_, UI_COMMAND, UI_IDOK);
            return true;
        }
        if (key->key() == Qt::Key_Escape && plain) {
            deliver_input(w_, UI_COMMAND, UI_IDCANCEL);
            return true;
        }
        // Up and Down in a single-line edit (not a combo box's) go to the dialog
        // logic: the command line's history.
        if ((key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) && plain) {
            auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            if (edit && edit->parentWidget() == w_->dialog) {
                deliver_input(w_, UI_KEY, ui_focus_id(w_), key->key() == Qt::Key_Up ? UI_KEY_UP : UI_KEY_DOWN);
                return true;
            }
        }
        if (key->key() == Qt::Key_Space && mods == Qt::AltModifier) {
            if (w_->dialog) show_menu(w_, w_->dialog->mapToGlobal(QPoint(0, 0)));
            return true;
        }
        return false;
    }

private:
    UiWindow* w_;
};

// The dialog leaves every way of closing to the dialog procedure; it ends only
// through ui_end_dialog.
class Dialog : public QDialog {
public:
    Dialog(UiWindow* w, QWidget* parent) : QDialog(parent), w_(w) {}

    void accept() override {}
    void reject() override {
        if (!w_->ended) deliver_input(w_, UI_COMMAND, UI_IDCANCEL);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        if (w_->ended) {
            event->accept();
            return;
        }
        event->ignore();
        deliver_input(w_, UI_COMMAND, UI_IDCANCEL);
    }

    void resizeEvent(QResizeEvent* event) override {
        QDialog::resizeEvent(event);
        deliver(w_, UI_SIZE, 0, 0, event->size().width(), event->size().height());
    }

private:
    UiWindow* w_;
};

// Tells the dialog logic before its list opens, so that it may fill the list afresh
// (the Port box lists adapters plugged in since the last look).
class Combo : public QComboBox {
public:
    Combo(UiWindow* w, int id, QWidget* parent) : QComboBox(parent), w_(w), id_(id) {}

    void showPopup() override {
        QPointer<Combo> self(this);
        deliver_input(w_, UI_COMMAND, id_, UI_DROPDOWN);
        // The handler may have ended the dialog or disabled the box.
        if (!self || w_->ended || !isEnabled()) return;
        // Wide enough for the longest entry (ports carry their adapter's name), never
        // wider than the screen.
        QAbstractItemView* list = view();
        int need = list->sizeHintForColumn(modelColumn()) + 2 * list->frameWidth();
        if (count() > maxVisibleItems()) need += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
        if (QScreen* s = screen()) need = qMin(need, s->availableGeometry().width());
        list->setMinimumWidth(qMax(need, 0));
        QComboBox::showPopup();
    }

private:
    UiWindow* w_;
    int id_;
};

// The dialog font, or the closest one installed: the base units, and so every
// control's place, follow from it.
QFont dialog_font(const DialogTemplate* tmpl) {
    int points = tmpl && tmpl->point_size > 0 ? tmpl->point_size : 8;
    QStringList families;
    if (tmpl && tmpl->font && *tmpl->font) families << QString::fromUtf8(tmpl->font);
    families << QStringLiteral("Tahoma") << QStringLiteral("DejaVu Sans") << QStringLiteral("Liberation Sans")
             << QStringLiteral("Noto Sans");
    for (const QString& family : families)
        if (QFontDatabase::hasFamily(family)) return QFont(family, points);
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    return font;
}

// Base units the Windows way: the average width of the 52 letters, rounded, and the
// font height.
void font_base_units(const QFont& font, int* base_x, int* base_y) {
    QFontMetrics fm(font);
    int extent = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    *base_x = (extent / 26 + 1) / 2;
    *base_y = fm.height();
}

QWidget* make_control(UiWindow* w, const DialogControl& dc, Control& c) {
    QDialog* dlg = w->dialog;
    int id = dc.id;
    QString text = from_bytes(dc.text);
    switch (dc.cls) {
    case UI_STATIC: {
        auto* label = new QLabel(text, dlg);
        label->setTextFormat(Qt::PlainText);
        Qt::Alignment align = (dc.style & SS_RIGHT_) ? Qt::AlignRight : Qt::AlignLeft;
        align |= (dc.style & SS_CENTERIMAGE_) ? Qt::AlignVCenter : Qt::AlignTop;
        label->setAlignment(align);
        return label;
    }
    case UI_BUTTON: {
        auto* button = new QPushButton(text, dlg);
        button->setAutoDefault(false);
        button->setDefault(false);
        QObject::connect(button, &QPushButton::clicked, dlg,
                         [w, id]() { deliver_input(w, UI_COMMAND, id, UI_CLICKED); });
        return button;
    }
    case UI_CHECKBOX: {
        auto* box = new QCheckBox(text, dlg);
        if (dc.style & BS_LEFTTEXT_) box->setLayoutDirection(Qt::RightToLeft);
        box->setStyle(fitting_style());
        // clicked comes after the box has flipped, as with an automatic check box. A
        // click the window may not take (a programmatic one) leaves no flipped box.
        QObject::connect(box, &QCheckBox::clicked, dlg, [w, id, box]() {
            if (window_blocked(w)) {
                box->setChecked(!box->isChecked());
                return;
            }
            deliver(w, UI_COMMAND, id, UI_CLICKED);
        });
        return box;
    }
    case UI_EDIT: {
        auto* edit = new QLineEdit(text, dlg);
        edit->setFrame((dc.style & STYLE_BORDER) != 0);
        return edit;
    }
    case UI_COMBO: {
        auto* combo = new Combo(w, id, dlg);
        combo->setEditable(true);
        // The list changes only through ui_combo_add; typing must not add items or
        // complete them behind the operator's back.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        combo->setMaxVisibleItems(16);
        QObject::connect(combo, &QComboBox::activated, dlg,
                         [w, id](int) { deliver_input(w, UI_COMMAND, id, UI_SELCHANGE); });
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, dlg,
                         [w, id](const QString&) { deliver_input(w, UI_COMMAND, id, UI_EDITCHANGE); });
        return combo;
    }
    case UI_LISTVIEW:
        return make_log_list(dlg, dc, c);
    case UI_CANVAS:
        return make_canvas(dlg, dc);
    }
    return nullptr;
}

// The sizes drawn at build time, each made a pixmap only when first asked for: drawing
// every size at start took ~35 ms, and decoding PNGs loads the image plugins.
class ProgramIconEngine : public QIconEngine {
public:
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const IconImage* pick = &ICON_IMAGES[ICON_IMAGE_COUNT - 1];
        for (const IconImage& image : ICON_IMAGES)
            if (image.size >= size.width() && image.size >= size.height()) {
                pick = &image;
                break;
            }
        QPixmap& cached = cache_[pick - ICON_IMAGES];
        if (cached.isNull())
            cached = QPixmap::fromImage(
                QImage(pick->rgba, pick->size, pick->size, pick->size * 4, QImage::Format_RGBA8888));
        if (cached.isNull() || cached.size() == size) return cached;
        return cached.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const IconImage& image : ICON_IMAGES) sizes.append(QSize(image.size, image.size));
        return sizes;
    }
    QIconEngine* clone() const override { return new ProgramIconEngine(*this); }

private:
    QPixmap cache_[ICON_IMAGE_COUNT];
};

QIcon build_program_icon() { return QIcon(new ProgramIconEngine); }

void build_dialog(UiWindow* w) {
    const DialogTemplate* t = w->tmpl;
    QDialog* dlg = w->dialog;
    dlg->setWindowTitle(from_bytes(t->caption));
    dlg->setFont(dialog_font(t));
    dlg->setWindowIcon(ui_qt_program_icon());
    dlg->setSizeGripEnabled(false);

    int base_x = 0, base_y = 0;
    font_base_units(dlg->font(), &base_x, &base_y);

    bool sizable = (t->style & WS_THICKFRAME_) != 0;
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (t->style & WS_SYSMENU_) flags |= Qt::WindowSystemMenuHint;
    if (t->style & WS_MINIMIZEBOX_) flags |= Qt::WindowMinimizeButtonHint;
    if (t->style & WS_MAXIMIZEBOX_) flags |= Qt::WindowMaximizeButtonHint;
    dlg->setWindowFlags(flags);

    int cw = dialog_units_to_px_x(t->width, base_x), ch = dialog_units_to_px_y(t->height, base_y);
    if (sizable)
        dlg->resize(cw, ch);
    else
        dlg->setFixedSize(cw, ch);

    auto* keys = new KeyFilter(w, dlg);
    dlg->installEventFilter(keys);

    QWidget* previous = nullptr;
    w->controls.reserve(static_cast<size_t>(t->count > 0 ? t->count : 0));
    for (int i = 0; i < t->count; ++i) {
        const DialogControl& dc = t->controls[i];
        Control c{dc.id, dc.cls, dc.style, nullptr, nullptr};
        QWidget* widget = make_control(w, dc, c);
        c.widget = widget;
        w->controls.push_back(c);
        if (!widget) continue;
        int height = dc.cls == UI_COMBO ? COMBO_EDIT_UNITS : dc.height;
        widget->setGeometry(dialog_units_to_px_x(dc.x, base_x), dialog_units_to_px_y(dc.y, base_y),
                            dialog_units_to_px_x(dc.width, base_x), dialog_units_to_px_y(height, base_y));
        widget->setEnabled((dc.style & STYLE_DISABLED) == 0);
        widget->setProperty("zorv_id", dc.id);
        widget->installEventFilter(keys);
        if (dc.cls == UI_COMBO) static_cast<QComboBox*>(widget)->lineEdit()->installEventFilter(keys);
        if (dc.cls == UI_STATIC || dc.cls == UI_CANVAS) {
            widget->setFocusPolicy(Qt::NoFocus);
        } else {
            widget->setFocusPolicy((dc.style & STYLE_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
            if (previous) QWidget::setTabOrder(previous, widget);
            previous = widget;
        }
    }

    build_window_menu(w);
}

void centre_on_screen(QDialog* dlg, QWidget* owner) {
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    dlg->move(area.center() - QPoint(dlg->width() / 2, dlg->height() / 2));
}

}  // namespace

void deliver(UiWindow* w, UiMessageKind kind, int id, int code, int width, int height) {
    // After the end no handler runs: the dialog's state may already be torn down.
    if (!w || w->ended || !w->proc) return;
    UiMessage m{kind, id, code, width, height};
    ++w->depth;
    w->proc(w, &m);
    // A window of ui_open_window ended by a handler nested in this one closes now.
    if (--w->depth == 0 && w->close_pending) close_window(w);
}

QDialog* make_dialog(UiWindow* w, QWidget* parent) {
    w->dialog = new Dialog(w, parent);
    build_dialog(w);
    if (w->tmpl->style & DS_CENTER_) centre_on_screen(w->dialog, parent);
    return w->dialog;
}

// What the operator did to a window; nothing while a modal window blocks it.
void deliver_input(UiWindow* w, UiMessageKind kind, int id, int code) {
    if (window_blocked(w)) return;
    deliver(w, kind, id, code);
}

Control* find_control(UiWindow* w, int id) {
    if (!w) return nullptr;
    for (Control& c : w->controls)
        if (c.id == id && c.widget) return &c;
    return nullptr;
}

QWidget* target_widget(UiWindow* w, int id) {
    if (!w || !w->dialog) return nullptr;
    if (id == 0) return w->dialog;
    Control* c = find_control(w, id);
    return c ? c->widget : nullptr;
}

}  // namespace qt_backend

using namespace qt_backend;

QIcon ui_qt_program_icon() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return QIcon();
    static QIcon icon = build_program_icon();
    return icon;
}

void ui_qt_base_units(int* base_x, int* base_y) {
    int bx = 0, by = 0;
    font_base_units(dialog_font(&MAIN_DIALOG), &bx, &by);
    if (base_x) *base_x = bx;
    if (base_y) *base_y = by;
}

QDialog* ui_qt_dialog(UiWindow* dialog) { return dialog ? dialog->dialog : nullptr; }

QWidget* ui_qt_control(UiWindow* dialog, int id) {
    Control* c = find_control(dialog, id);
    return c ? c->widget : nullptr;
}

int ui_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc, void* context) {
    if (!tmpl || !proc || !qobject_cast<QApplication*>(QCoreApplication::instance())) return -1;
    if (tmpl->count < 0 || (tmpl->count > 0 && !tmpl->controls)) return -1;
    // An ended owner takes what it owns with it: a window opened for it now would
    // outlive the program's end.
    if (owner && owner->ended) return -1;
    ensure_modal_gate();
    UiWindow w;
    w.tmpl = tmpl;
    w.proc = proc;
    w.context = context;
    QWidget* parent = owner ? owner->dialog : nullptr;
    QPointer<QDialog> dlg = make_dialog(&w, parent);
    // Modal before it is first shown: a window shown plain stays plain for exec().
    dlg->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    ModalScope scope(dlg, &w);
    ++g_runs;

    deliver(&w, UI_INIT, 0);
    if (!w.ended && dlg) {
        dlg->show();
        if (!w.ended && dlg) {
            int code = dlg->exec();
            if (!w.ended) w.result = code;
        }
    }
    w.ended = true;
    for (auto& entry : w.timers) entry.second->stop();
    // What it owns goes first, each told; the outermost run's end is the program's.
    close_owned_windows(&w);
    if (--g_runs == 0) close_owned_windows(nullptr);
    delete dlg.data();
    w.dialog = nullptr;
    return w.result;
}

void ui_end_dialog(UiWindow* dialog, int result) {
    if (!dialog || dialog->ended) return;
    end_owned(dialog->dialog);
    if (dialog->modeless) {
        end_window(dialog);
        return;
    }
    dialog->ended = true;
    dialog->result = result;
    for (auto& entry : dialog->timers) entry.second->stop();
    // done() only hides the window and asks the modal loop to leave once control is
    // back in it; the widgets live until ui_run_dialog returns.
    if (dialog->dialog) dialog->dialog->done(result);
}

int ui_dialog_alive(UiWindow* dialog) { return dialog && !dialog->ended && dialog->dialog ? 1 : 0; }

int ui_dialog_id(UiWindow* dialog) { return dialog && dialog->tmpl ? dialog->tmpl->id : 0; }

void* ui_context(UiWindow* dialog) { return dialog ? dialog->context : nullptr; }

void ui_set_timer(UiWindow* dialog, int timer_id, int ms) {
    if (!dialog || dialog->ended || !dialog->dialog || ms < 0) return;
    // A 0 ms timer would fire on every event-loop turn: a busy loop. Windows rounds
    // short periods up to 10 ms as well.
    if (ms < MIN_TIMER_MS) ms = MIN_TIMER_MS;
    QTimer*& timer = dialog->timers[timer_id];
    if (!timer) {
        timer = new QTimer(dialog->dialog);
        QObject::connect(timer, &QTimer::timeout, dialog->dialog,
                         [dialog, timer_id]() { deliver(dialog, UI_TIMER, timer_id); });
    }
    timer->start(ms);
}

void ui_kill_timer(UiWindow* dialog, int timer_id) {
    if (!dialog) return;
    // Stopped, never deleted: the kill may come from inside the timer's own tick.
    auto it = dialog->timers.find(timer_id);
    if (it != dialog->timers.end()) it->second->stop();
}
