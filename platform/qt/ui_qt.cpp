// The Qt 6 Widgets backend of platform/ui.h: dialogs built from the template tables
// with absolute geometry, native events turned into UiMessages, and the link's
// dispatch and idle-wait hooks on the Qt event loop.
#include "platform/ui.h"

#include <QAbstractEventDispatcher>
#include <QAbstractListModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/qt/ui_qt.h"

namespace {

// The file chooser refuses longer paths: callers keep them in MAX_PATH-sized buffers.
constexpr int MAX_PATH_BYTES = 260;
// Windows sizes a drop-down combo's edit field from the font; 12 units is what the
// single-line edits of the templates use, so the closed boxes line up with them.
constexpr int COMBO_EDIT_UNITS = 12;
constexpr int MENU_BUTTON_PX = 12;
constexpr int MIN_TIMER_MS = 10;
// New log rows are shown at most this often: faster than the eye follows.
constexpr int FLUSH_MS = 30;

class LogModel;

struct Control {
    int id;
    UiClass cls;
    uint32_t style;
    QWidget* widget;
    LogModel* model;  // list views only
};

}  // namespace

struct UiWindow {
    const DialogTemplate* tmpl = nullptr;
    UiDialogProc proc = nullptr;
    QDialog* dialog = nullptr;
    std::vector<Control> controls;  // template order
    std::map<int, QTimer*> timers;
    std::map<int, QAction*> menu_items;
    QMenu* menu = nullptr;
    QToolButton* menu_button = nullptr;
    bool ended = false;
    int result = 0;
};

namespace {

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

std::vector<ModalScope*> g_modal;  // innermost last

ModalScope::ModalScope(QWidget* w, UiWindow* u) : window(w), ui(u) { g_modal.push_back(this); }

ModalScope::~ModalScope() {
    for (size_t i = g_modal.size(); i-- > 0;)
        if (g_modal[i] == this) {
            g_modal.erase(g_modal.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
}

// The innermost modal window that holds the widget (the widget itself, or an owner
// up its parent chain), or null for a window of no modal scope (tips, Qt's own).
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

bool window_blocked(const UiWindow* w) { return w && widget_blocked(w->dialog); }

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

void ensure_modal_gate() {
    static QPointer<ModalGate> gate;
    if (gate || !QCoreApplication::instance()) return;
    gate = new ModalGate(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(gate);
}

bool owned_by(const QWidget* widget, const QWidget* owner) {
    for (const QWidget* p = widget ? widget->parentWidget() : nullptr; p; p = p->parentWidget())
        if (p == owner) return true;
    return false;
}

void deliver(UiWindow* w, UiMessageKind kind, int id, int code = 0, int width = 0, int height = 0) {
    // After the end no handler runs: the dialog's state may already be torn down.
    if (!w || w->ended || !w->proc) return;
    UiMessage m{kind, id, code, width, height};
    w->proc(w, &m);
}

// What the operator did to a window; nothing while a modal window blocks it.
void deliver_input(UiWindow* w, UiMessageKind kind, int id, int code = 0) {
    if (window_blocked(w)) return;
    deliver(w, kind, id, code);
}

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

QColor colour_from_rgb(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// Rows are kept as the core's bytes (decoded only for display), so a reply that is
// not valid text still shows, with U+FFFD, and reads back unchanged.
class LogModel : public QAbstractListModel {
public:
    explicit LogModel(QObject* parent) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : shown;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= static_cast<int>(rows.size())) return {};
        const std::string& row = rows[static_cast<size_t>(index.row())];
        switch (role) {
        case Qt::DisplayRole:
            return QString::fromUtf8(row.data(), static_cast<qsizetype>(row.size()));
        case Qt::ForegroundRole:
            if (colour_of) return colour_from_rgb(colour_of(index.row()));
            return {};
        case Qt::ToolTipRole: {
            // Only rows cut at the column edge need their whole text in a tip.
            QString text = QString::fromUtf8(row.data(), static_cast<qsizetype>(row.size()));
            if (column_width > 0 && QFontMetrics(font).horizontalAdvance(text) > column_width - 6) return text;
            return {};
        }
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
    }

    // Appended rows reach the view in batches: each insert the view sees costs a
    // repaint and a pass over the header's sections, so a fast command file would
    // otherwise spend its time drawing and a long log would slow every command.
    int insert(int index) {
        int count = static_cast<int>(rows.size());
        if (index < 0 || index > count) index = count;
        if (index == count) {
            rows.emplace_back();
            schedule_flush();
            return index;
        }
        flush();
        beginInsertRows(QModelIndex(), index, index);
        rows.insert(rows.begin() + index, std::string());
        ++shown;
        endInsertRows();
        return index;
    }

    void set_text(int row, const char* text) {
        if (row < 0 || row >= static_cast<int>(rows.size())) return;
        rows[static_cast<size_t>(row)] = text ? text : "";
        if (row >= shown) return;  // the view reads it when the batch arrives
        QModelIndex i = this->index(row);
        emit dataChanged(i, i, {Qt::DisplayRole, Qt::ToolTipRole});
    }

    void schedule_flush() {
        if (!flush_timer) {
            flush_timer = new QTimer(this);
            flush_timer->setSingleShot(true);
            QObject::connect(flush_timer, &QTimer::timeout, this, [this]() { flush(); });
        }
        if (!flush_timer->isActive()) flush_timer->start(FLUSH_MS);
    }

    // Shows the batch, then scrolls to the row last asked for.
    void flush() {
        int count = static_cast<int>(rows.size());
        if (shown < count) {
            beginInsertRows(QModelIndex(), shown, count - 1);
            shown = count;
            endInsertRows();
        }
        int r = scroll_row;
        scroll_row = -1;
        if (!view || r < 0 || r >= shown) return;
        // The view lays new rows out lazily; have it do so now, or the scroll range
        // is still the old one and the scroll goes nowhere.
        view->doItemsLayout();
        view->scrollTo(index(r), QAbstractItemView::EnsureVisible);
    }

    int shown = 0;            // rows the view knows of; the rest arrive with the next flush
    int scroll_row = -1;      // row waiting for ui_list_ensure_visible, -1 for none
    QTimer* flush_timer = nullptr;
    QAbstractItemView* view = nullptr;

    std::vector<std::string> rows;
    uint32_t (*colour_of)(int row) = nullptr;
    int column_width = 0;
    QFont font;
};

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

void show_menu(UiWindow* w, QPoint global) {
    if (w->menu && !window_blocked(w)) w->menu->popup(global);
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
        auto* combo = new QComboBox(dlg);
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
    case UI_LISTVIEW: {
        // A table of one column: text is cut at the column edge as in a report list,
        // and new rows cost no relayout of the old ones, however long the log grows.
        auto* view = new QTableView(dlg);
        auto* model = new LogModel(view);
        model->font = dlg->font();
        model->view = view;
        view->setModel(model);
        view->horizontalHeader()->hide();
        view->verticalHeader()->hide();
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(QFontMetrics(dlg->font()).height() + 2);
        view->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->setShowGrid(false);
        view->setWordWrap(false);
        view->setCornerButtonEnabled(false);
        view->setTabKeyNavigation(false);  // Tab leaves the log like any control
        view->setTextElideMode(Qt::ElideNone);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        view->setFrameShape((dc.style & STYLE_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
        c.model = model;
        return view;
    }
    }
    return nullptr;
}

QIcon build_program_icon() {
    QIcon icon;
    for (const IconImage& img : ICON_IMAGES) {
        if (!img.rows || img.size <= 0) continue;
        QImage image(img.size, img.size, QImage::Format_ARGB32);
        for (int y = 0; y < img.size; ++y) {
            const char* row = img.rows[y];
            size_t len = row ? std::strlen(row) : 0;
            for (int x = 0; x < img.size; ++x) {
                char ch = static_cast<size_t>(x) < len ? row[x] : '0';
                int index = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : 0;
                // Palette index 15 is the icon's transparent key.
                uint32_t rgb = ICON_PALETTE[index];
                image.setPixel(x, y, index == 15 ? 0u : (0xFF000000u | rgb));
            }
        }
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

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
        if (dc.cls == UI_STATIC) {
            widget->setFocusPolicy(Qt::NoFocus);
        } else {
            widget->setFocusPolicy((dc.style & STYLE_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
            if (previous) QWidget::setTabOrder(previous, widget);
            previous = widget;
        }
    }

    // Stand-in for the title-bar system menu, which Linux window managers keep to
    // themselves: a small button in the corner and Alt+Space open the same menu.
    w->menu = new QMenu(dlg);
    QAction* close = w->menu->addAction(QStringLiteral("&Close\tAlt+F4"));
    QObject::connect(close, &QAction::triggered, dlg, [w]() { deliver_input(w, UI_COMMAND, UI_IDCANCEL); });
    w->menu_button = new QToolButton(dlg);
    w->menu_button->setIcon(ui_qt_program_icon());
    w->menu_button->setIconSize(QSize(MENU_BUTTON_PX - 2, MENU_BUTTON_PX - 2));
    w->menu_button->setAutoRaise(true);
    w->menu_button->setFocusPolicy(Qt::NoFocus);
    w->menu_button->setToolTip(QStringLiteral("Window menu"));
    w->menu_button->setGeometry(0, 0, MENU_BUTTON_PX, MENU_BUTTON_PX);
    w->menu_button->raise();
    QToolButton* button = w->menu_button;
    QObject::connect(button, &QToolButton::clicked, dlg,
                     [w, button]() { show_menu(w, button->mapToGlobal(QPoint(0, button->height()))); });
}

void centre_on_screen(QDialog* dlg, QWidget* owner) {
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    dlg->move(area.center() - QPoint(dlg->width() / 2, dlg->height() / 2));
}

QTimer* g_wake = nullptr;

// Runs what is pending without blocking; 1 when anything ran.
int qt_dispatch() {
    if (!QCoreApplication::instance()) return 0;
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    if (!d) return 0;
    return d->processEvents(QEventLoop::AllEvents) ? 1 : 0;
}

// Idle waits that follow each other closely are one wait of the link. A wait that
// goes on past the first few milliseconds wakes less often: a wake-up costs about
// 10 us of kernel time here, so 1000 a second alone would use a whole percent of a
// core, and events still end every wait at once.
constexpr qint64 STREAK_GAP_MS = 3, FAST_PHASE_MS = 20, LONG_PHASE_MS = 1000;
constexpr uint32_t SLOW_WAIT_MS = 10, LONG_WAIT_MS = 25;

QElapsedTimer g_clock;
qint64 g_streak_start = 0, g_last_return = -1000;

uint32_t idle_period(uint32_t ms) {
    if (!g_clock.isValid()) g_clock.start();
    qint64 now = g_clock.elapsed();
    if (now - g_last_return > STREAK_GAP_MS) g_streak_start = now;
    // A command that has run for a second is a long one: a reply noticed 25 ms
    // late does not matter there, and the wait costs a third of the wake-ups.
    if (ms > 0 && ms < LONG_WAIT_MS && now - g_streak_start >= LONG_PHASE_MS) return LONG_WAIT_MS;
    if (ms > 0 && ms < SLOW_WAIT_MS && now - g_streak_start >= FAST_PHASE_MS) return SLOW_WAIT_MS;
    return ms;
}

// Blocks in the event loop until an event or the wake-up timer: input is handled at
// once and an idle wait costs next to no CPU. One precise timer is re-armed, never
// re-created.
void qt_idle_wait(uint32_t ms) {
    QAbstractEventDispatcher* d = QCoreApplication::instance() ? QAbstractEventDispatcher::instance() : nullptr;
    if (!d) {
        platform_sleep_ms(ms);
        return;
    }
    if (!g_wake) {
        g_wake = new QTimer();
        g_wake->setSingleShot(true);
        g_wake->setTimerType(Qt::PreciseTimer);
    }
    g_wake->start(static_cast<int>(idle_period(ms)));
    d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    g_last_return = g_clock.elapsed();
}

}  // namespace

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

void ui_init() {
    platform_set_dispatch(qt_dispatch);
    platform_set_idle_wait(qt_idle_wait);
}

int ui_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc) {
    if (!tmpl || !proc || !qobject_cast<QApplication*>(QCoreApplication::instance())) return -1;
    if (tmpl->count < 0 || (tmpl->count > 0 && !tmpl->controls)) return -1;
    // An ended owner takes what it owns with it: a window opened for it now would
    // outlive the program's end.
    if (owner && owner->ended) return -1;
    ensure_modal_gate();
    UiWindow w;
    w.tmpl = tmpl;
    w.proc = proc;
    QWidget* parent = owner ? owner->dialog : nullptr;
    QPointer<QDialog> dlg = new Dialog(&w, parent);
    w.dialog = dlg;
    build_dialog(&w);
    if (tmpl->style & DS_CENTER_) centre_on_screen(dlg, parent);
    // Modal before it is first shown: a window shown plain stays plain for exec().
    dlg->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    ModalScope scope(dlg, &w);

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
    delete dlg.data();
    w.dialog = nullptr;
    return w.result;
}

// Ends every modal window above the owner's that it owns, innermost first: their
// loops run nested inside the owner's, which could not return before them.
static void end_owned(QWidget* owner) {
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

void ui_end_dialog(UiWindow* dialog, int result) {
    if (!dialog || dialog->ended) return;
    end_owned(dialog->dialog);
    dialog->ended = true;
    dialog->result = result;
    for (auto& entry : dialog->timers) entry.second->stop();
    // done() only hides the window and asks the modal loop to leave once control is
    // back in it; the widgets live until ui_run_dialog returns.
    if (dialog->dialog) dialog->dialog->done(result);
}

int ui_dialog_alive(UiWindow* dialog) { return dialog && !dialog->ended && dialog->dialog ? 1 : 0; }

int ui_dialog_id(UiWindow* dialog) { return dialog && dialog->tmpl ? dialog->tmpl->id : 0; }

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
    if (QWidget* wd = target_widget(dialog, id)) wd->setFocus(Qt::OtherFocusReason);
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

static LogModel* list_model(UiWindow* dialog, int id, Control** out = nullptr) {
    Control* c = find_control(dialog, id);
    if (!c || c->cls != UI_LISTVIEW || !c->model) return nullptr;
    if (out) *out = c;
    return c->model;
}

int ui_list_count(UiWindow* dialog, int id) {
    LogModel* m = list_model(dialog, id);
    return m ? static_cast<int>(m->rows.size()) : 0;
}

int ui_list_insert(UiWindow* dialog, int id, int index) {
    LogModel* m = list_model(dialog, id);
    return m ? m->insert(index) : -1;
}

void ui_list_set_text(UiWindow* dialog, int id, int row, const char* text) {
    if (LogModel* m = list_model(dialog, id)) m->set_text(row, text);
}

int ui_list_get_text(UiWindow* dialog, int id, int row, char* buf, int size) {
    LogModel* m = list_model(dialog, id);
    if (buf && size > 0) buf[0] = '\0';
    if (!m || row < 0 || row >= static_cast<int>(m->rows.size())) return 0;
    const std::string& s = m->rows[static_cast<size_t>(row)];
    return copy_out(s.data(), static_cast<int>(s.size()), buf, size);
}

void ui_list_ensure_visible(UiWindow* dialog, int id, int row) {
    LogModel* m = list_model(dialog, id);
    if (!m || row < 0 || row >= static_cast<int>(m->rows.size())) return;
    // Scrolling lays the list out: it rides with the next batch of rows.
    m->scroll_row = row;
    m->schedule_flush();
}

void ui_list_set_colours(UiWindow* dialog, int id, uint32_t background, uint32_t (*colour_of)(int row)) {
    Control* c = nullptr;
    LogModel* m = list_model(dialog, id, &c);
    if (!m) return;
    m->colour_of = colour_of;
    QPalette pal = c->widget->palette();
    pal.setColor(QPalette::Base, colour_from_rgb(background));
    pal.setColor(QPalette::AlternateBase, colour_from_rgb(background));
    c->widget->setPalette(pal);
    if (m->rowCount() > 0) emit m->dataChanged(m->index(0), m->index(m->rowCount() - 1), {Qt::ForegroundRole});
}

// The palette's light and button-text colours play the button-highlight and
// button-text system colours; screens here show every colour exactly.
uint32_t ui_system_colour(int which) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return which == UI_COLOUR_BUTTON_HIGHLIGHT ? 0xFFFFFF : 0x000000;
    QPalette p = QApplication::palette();
    QColor c = which == UI_COLOUR_BUTTON_HIGHLIGHT ? p.color(QPalette::Active, QPalette::Light)
                                                   : p.color(QPalette::Active, QPalette::ButtonText);
    return static_cast<uint32_t>(c.rgb() & 0xFFFFFF);
}

uint32_t ui_nearest_colour(uint32_t rgb) { return rgb & 0xFFFFFF; }

void ui_list_add_column(UiWindow* dialog, int id, const char* /*title: the list shows no header*/, int width) {
    Control* c = nullptr;
    LogModel* m = list_model(dialog, id, &c);
    if (!m || width < 0) return;
    m->column_width = width;
    static_cast<QTableView*>(c->widget)->setColumnWidth(0, width);
}

void ui_append_system_menu(UiWindow* dialog, int command, const char* text) {
    if (!dialog || !dialog->menu) return;
    if (!text) {
        dialog->menu->addSeparator();
        return;
    }
    QAction* action = dialog->menu->addAction(QString::fromUtf8(text));
    QObject::connect(action, &QAction::triggered, dialog->dialog,
                     [dialog, command]() { deliver_input(dialog, UI_SYSCOMMAND, command); });
    dialog->menu_items[command] = action;
}

void ui_enable_system_menu(UiWindow* dialog, int command, int enabled) {
    if (!dialog) return;
    auto it = dialog->menu_items.find(command);
    if (it != dialog->menu_items.end()) it->second->setEnabled(enabled != 0);
}

// CR LF, CR and LF all end a line; a TAB indents.
static QString message_text(const char* text) {
    QString s = from_bytes(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    s.replace(QLatin1Char('\t'), QString(4, QChar(0x00A0)));
    return s;
}

int ui_message_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int icon_id) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
    bool yes_no = (style & 0xF) == UI_MB_YESNO;
    // An ended owner asks nothing more; the cautious answer stands.
    if (owner && owner->ended) return yes_no ? UI_ANSWER_NO : UI_ANSWER_OK;
    ensure_modal_gate();
    QWidget* parent = owner && owner->dialog ? static_cast<QWidget*>(owner->dialog) : QApplication::activeWindow();
    QPointer<QMessageBox> box = new QMessageBox(parent);
    box->setWindowTitle(from_bytes(caption));
    box->setTextFormat(Qt::PlainText);  // controller text is never markup
    box->setText(message_text(text));
    box->setWindowModality(Qt::ApplicationModal);
    if (yes_no) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    if (icon_id == ICON_APP) {
        QIcon icon = ui_qt_program_icon();
        box->setIconPixmap(icon.pixmap(32, 32));
        box->setWindowIcon(icon);
    } else if ((style & 0xF0) == UI_MB_ICONERROR) {
        box->setIcon(QMessageBox::Critical);
    }
    ModalScope scope(box, nullptr);
    int answer = box->exec();
    if (box) delete box.data();
    // Closed because its owner ended: the operator answered nothing.
    if (scope.ended) return yes_no ? UI_ANSWER_NO : UI_ANSWER_OK;
    if (yes_no) return answer == QMessageBox::Yes ? UI_ANSWER_YES : UI_ANSWER_NO;
    return UI_ANSWER_OK;
}

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

// Turns "name\0pattern\0...\0\0" into Qt filters. The name shows as given; the
// patterns after it do the matching, with "*.*" matching files without a dot too.
static QStringList file_filters(const char* filter) {
    QStringList out;
    const char* p = filter;
    while (p && *p) {
        QString name = QString::fromUtf8(p);
        p += std::strlen(p) + 1;
        QString pattern = QString::fromUtf8(p);
        if (*p) p += std::strlen(p) + 1;
        QStringList patterns;
        for (const QString& one : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString t = one.trimmed();
            patterns << (t == QLatin1String("*.*") ? QStringLiteral("*") : t);
        }
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        out << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    if (out.isEmpty()) out << QStringLiteral("All Files (*.*) (*)");
    return out;
}

char* ui_choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext, int open,
                     const char* title) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    if (owner && owner->ended) return nullptr;
    ensure_modal_gate();
    QWidget* parent = owner && owner->dialog ? static_cast<QWidget*>(owner->dialog) : QApplication::activeWindow();
    QPointer<QFileDialog> fd = new QFileDialog(parent);
    QString caption = from_bytes(title);
    if (caption.isEmpty()) caption = open ? QStringLiteral("Open File") : QStringLiteral("Save File");
    fd->setWindowTitle(caption);
    fd->setOption(QFileDialog::DontUseNativeDialog, true);
    // Hidden details leave the name as given: "All Files (*.*)" reads as on Windows.
    fd->setOption(QFileDialog::HideNameFilterDetails, true);
    fd->setOption(QFileDialog::DontConfirmOverwrite, true);
    fd->setFileMode(QFileDialog::AnyFile);
    fd->setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    fd->setNameFilters(file_filters(filter));
    // "*" stands for any extension, so none is added: a name without a dot comes back
    // as typed, and the Startup box never names a file that does not exist.
    QString suffix = from_bytes(default_ext && default_ext[0] == '.' ? default_ext + 1 : default_ext);
    if (!suffix.isEmpty() && !suffix.contains(QLatin1Char('*')) && !suffix.contains(QLatin1Char('?')))
        fd->setDefaultSuffix(suffix);
    QString start = from_bytes(initial);
    if (!start.isEmpty()) {
        QFileInfo info(start);
        if (info.isDir()) {
            fd->setDirectory(info.absoluteFilePath());
        } else {
            fd->setDirectory(info.absolutePath());
            fd->selectFile(info.fileName());
        }
    }
    ModalScope scope(fd, nullptr);
    int code = fd->exec();
    QStringList files = fd ? fd->selectedFiles() : QStringList();
    if (fd) delete fd.data();
    if (scope.ended || code != QDialog::Accepted || files.isEmpty()) return nullptr;
    QByteArray path = QDir::toNativeSeparators(files.first()).toUtf8();
    if (path.isEmpty() || path.size() > MAX_PATH_BYTES) return nullptr;
    char* out = static_cast<char*>(std::malloc(static_cast<size_t>(path.size()) + 1));
    if (!out) return nullptr;
    std::memcpy(out, path.constData(), static_cast<size_t>(path.size()) + 1);
    return out;
}

void ui_free(void* p) { std::free(p); }

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
