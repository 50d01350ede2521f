// The log list of the Qt backend: the rows the dialog logic keeps, shown in batches
// in a one-column table as wide as the list, coloured row by row, with tips from the
// logic; its context menu and keys; the clipboard and the system colours.
#include <QAbstractListModel>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPalette>
#include <QPointer>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <set>
#include <string>

#include "platform/qt/ui_qt_internal.h"

namespace qt_backend {

namespace {

// New log rows are shown at most this often: faster than the eye follows.
constexpr int FLUSH_MS = 30;

QColor colour_from_rgb(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

QString decoded(const char* text, int length) {
    return text && length > 0 ? QString::fromUtf8(text, length) : QString();
}

}  // namespace

// The view's side of the rows the logic keeps: nothing is stored per row. Bytes that
// are not UTF-8 still show, with U+FFFD.
class LogModel : public QAbstractListModel {
public:
    explicit LogModel(QObject* parent) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : shown;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || !source || index.row() >= shown) return {};
        switch (role) {
        case Qt::DisplayRole:
            return display(index.row());
        case Qt::ForegroundRole:
            return colour_from_rgb(source->colour(window, index.row()));
        case Qt::ToolTipRole: {
            int width = view ? view->columnWidth(0) : 0;
            int text_px = QFontMetrics(font).horizontalAdvance(display(index.row()));
            int length = 0;
            const char* tip = source->tip(window, index.row(), text_px, width, &length);
            if (length <= 0) return {};
            return decoded(tip, length);
        }
        default:
            return {};
        }
    }

    QString display(int row) const {
        int length = 0;
        const char* text = source ? source->text(window, row, &length) : nullptr;
        return decoded(text, length);
    }

    int source_count() const { return source ? std::max(0, source->count(window)) : 0; }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
    }

    // Appended rows reach the view in batches: each insert the view sees costs a
    // repaint and a pass over the header's sections, so a fast command file would
    // otherwise spend its time drawing and a long log would slow every command.
    void inserted(int row) {
        if (!source) return;
        ++told;
        if (row >= shown) {  // among the rows still waiting, or appended: with the batch
            schedule_flush();
            return;
        }
        beginInsertRows(QModelIndex(), row, row);
        ++shown;
        endInsertRows();
        flush();
    }

    void cleared() {
        beginResetModel();
        shown = 0;
        told = source_count();
        scroll_row = -1;
        endResetModel();
        if (told > 0) schedule_flush();
    }

    // Shown texts changed: the view asks again for what it shows.
    void refresh() {
        if (shown > 0) emit dataChanged(index(0), index(shown - 1), {Qt::DisplayRole, Qt::ToolTipRole});
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
        if (shown < told) {
            beginInsertRows(QModelIndex(), shown, told - 1);
            shown = told;
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
    int told = 0;             // rows the logic told of
    int scroll_row = -1;      // row waiting for ui_list_ensure_visible, -1 for none
    QTimer* flush_timer = nullptr;
    QTableView* view = nullptr;

    UiWindow* window = nullptr;  // the list's dialog, handed to the source
    const UiRowSource* source = nullptr;
    QFont font;
};

// The list's view: its single column follows the list's width, and it carries the
// context menu the core gave it and that menu's keys.
class LogView : public QTableView {
public:
    explicit LogView(QWidget* parent) : QTableView(parent) {}

    void run(int command) {
        if (owner) deliver_input(owner, UI_COMMAND, command, UI_CLICKED);
    }

    void open_menu(QPoint global) {
        if (!owner || entries.empty() || (menu && menu->isVisible()) || window_blocked(owner)) return;
        menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        for (const UiMenuEntry& e : entries) {
            if (!e.text) {
                menu->addSeparator();
                continue;
            }
            QAction* a = menu->addAction(QString::fromUtf8(e.text));
            if (e.command >= UI_MENU_WINDOW) {
                int command = e.command - UI_MENU_WINDOW;
                auto item = owner->menu_items.find(command);
                a->setEnabled(item != owner->menu_items.end() && item->second->isEnabled());
                UiWindow* w = owner;
                QObject::connect(a, &QAction::triggered, this, [w, command]() { deliver_input(w, UI_SYSCOMMAND, command); });
                continue;
            }
            if (e.check) {
                a->setCheckable(true);
                a->setChecked(checked.count(e.command) > 0);
            }
            int command = e.command;
            QObject::connect(a, &QAction::triggered, this, [this, command]() { run(command); });
        }
        menu->popup(global);
    }

    UiWindow* owner = nullptr;
    std::vector<UiMenuEntry> entries;
    std::set<int> checked;
    QPointer<QMenu> menu;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override {
        event->accept();
        open_menu(event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : keyboard_spot());
    }

    void keyPressEvent(QKeyEvent* event) override {
        Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
        if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
            open_menu(keyboard_spot());
            return;
        }
        if (mods == Qt::ControlModifier && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z) {
            char key = static_cast<char>('A' + (event->key() - Qt::Key_A));
            for (const UiMenuEntry& e : entries)
                if (e.text && e.key == key) {
                    run(e.command);
                    return;
                }
        }
        QTableView::keyPressEvent(event);
    }

    void resizeEvent(QResizeEvent* event) override {
        QTableView::resizeEvent(event);
        setColumnWidth(0, viewport()->width());
    }

private:
    // Under the current row when it is in view, else the list's top left corner.
    QPoint keyboard_spot() const {
        QRect r = visualRect(currentIndex());
        QPoint at = r.isValid() && viewport()->rect().intersects(r) ? r.bottomLeft() : QPoint(0, 0);
        return viewport()->mapToGlobal(at);
    }
};

QWidget* make_log_list(QDialog* dlg, const DialogControl& dc, Control& c) {
    // A table of one column: text is cut at the column edge as in a report list,
    // and new rows cost no relayout of the old ones, however long the log grows.
    auto* view = new LogView(dlg);
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
    view->setContextMenuPolicy(Qt::DefaultContextMenu);
    c.model = model;
    return view;
}

}  // namespace qt_backend

using namespace qt_backend;

static LogModel* list_model(UiWindow* dialog, int id, Control** out = nullptr) {
    Control* c = find_control(dialog, id);
    if (!c || c->cls != UI_LISTVIEW || !c->model) return nullptr;
    if (out) *out = c;
    return c->model;
}

void ui_list_bind(UiWindow* dialog, int id, const UiRowSource* source, uint32_t background) {
    Control* c = nullptr;
    LogModel* m = list_model(dialog, id, &c);
    if (!m) return;
    QPalette pal = c->widget->palette();
    pal.setColor(QPalette::Base, colour_from_rgb(background));
    pal.setColor(QPalette::AlternateBase, colour_from_rgb(background));
    c->widget->setPalette(pal);
    auto* view = static_cast<QTableView*>(c->widget);
    view->setColumnWidth(0, std::max(0, view->viewport()->width()));
    m->window = dialog;
    m->source = source && source->count && source->text && source->colour && source->tip ? source : nullptr;
    m->cleared();
}

void ui_list_inserted(UiWindow* dialog, int id, int row) {
    LogModel* m = list_model(dialog, id);
    if (m && row >= 0 && row <= m->told) m->inserted(row);
}

void ui_list_cleared(UiWindow* dialog, int id) {
    if (LogModel* m = list_model(dialog, id)) m->cleared();
}

void ui_list_changed(UiWindow* dialog, int id) {
    if (LogModel* m = list_model(dialog, id)) m->refresh();
}

void ui_list_ensure_visible(UiWindow* dialog, int id, int row) {
    LogModel* m = list_model(dialog, id);
    if (!m || row < 0 || row >= m->told) return;
    // Scrolling lays the list out: it rides with the next batch of rows.
    m->scroll_row = row;
    m->schedule_flush();
}

int ui_list_next_selected(UiWindow* dialog, int id, int after) {
    Control* c = nullptr;
    if (!list_model(dialog, id, &c)) return -1;
    // The selection is a few ranges, however many rows it holds.
    const QItemSelection picked = static_cast<QTableView*>(c->widget)->selectionModel()->selection();
    int next = -1;
    for (const QItemSelectionRange& r : picked) {
        if (r.bottom() <= after) continue;
        int first = std::max(r.top(), after + 1);
        if (next < 0 || first < next) next = first;
    }
    return next;
}

void ui_list_select_all(UiWindow* dialog, int id) {
    Control* c = nullptr;
    LogModel* m = list_model(dialog, id, &c);
    if (!m) return;
    m->flush();  // rows still waiting for their batch are part of "all"
    static_cast<QTableView*>(c->widget)->selectAll();
}

void ui_set_clipboard(UiWindow* /*owner: the application holds the clipboard*/, const char* text, int length) {
    if (!text || length < 0 || !qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    QGuiApplication::clipboard()->setText(QString::fromUtf8(text, length));
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

void ui_list_set_menu(UiWindow* dialog, int id, const UiMenuEntry* entries, int count) {
    Control* c = nullptr;
    if (!list_model(dialog, id, &c)) return;
    auto* view = static_cast<LogView*>(c->widget);
    view->owner = dialog;
    view->entries.assign(entries, entries && count > 0 ? entries + count : entries);
}

void ui_list_check_menu(UiWindow* dialog, int id, int command, int checked) {
    Control* c = nullptr;
    if (!list_model(dialog, id, &c)) return;
    auto* view = static_cast<LogView*>(c->widget);
    if (checked)
        view->checked.insert(command);
    else
        view->checked.erase(command);
}
