// The log list of the Qt backend: rows kept as the core's bytes, shown in batches in a
// one-column table as wide as the list, coloured row by row, with per-row prefixes
// and tips from the core; its context menu and keys; the system colours.
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
// Characters a line of a row's tip holds.
constexpr int TIP_LINE = 100;

QColor colour_from_rgb(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

}  // namespace

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
        switch (role) {
        case Qt::DisplayRole:
            return display(index.row());
        case Qt::ForegroundRole:
            if (colour_of) return colour_from_rgb(colour_of(window, index.row()));
            return {};
        case Qt::ToolTipRole: {
            QString tip = asked(tip_of, index.row());
            // Only rows cut at the column's edge need their whole text in the tip, in
            // lines short enough for the screen.
            int width = view ? view->columnWidth(0) : 0;
            if (width > 0 && QFontMetrics(font).horizontalAdvance(display(index.row())) > width - 6) {
                const std::string& row = rows[static_cast<size_t>(index.row())];
                QString text = QString::fromUtf8(row.data(), static_cast<qsizetype>(row.size()));
                for (qsizetype at = 0; at < text.size(); at += TIP_LINE)
                    tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + text.mid(at, TIP_LINE);
            }
            if (tip.isEmpty()) return {};
            return tip;
        }
        default:
            return {};
        }
    }

    // The row as shown: the core's prefix, then its text.
    QString display(int row) const {
        const std::string& text = rows[static_cast<size_t>(row)];
        QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        return prefix_of ? asked(prefix_of, row) + shown : shown;
    }

    QString asked(UiRowText fn, int row) const {
        if (!fn) return QString();
        char buf[128];
        int n = fn(window, row, buf, sizeof buf);
        return n > 0 ? QString::fromUtf8(buf, std::min(n, static_cast<int>(sizeof buf) - 1)) : QString();
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

    void clear() {
        beginResetModel();
        std::vector<std::string>().swap(rows);  // a long log's memory goes back
        shown = 0;
        scroll_row = -1;
        endResetModel();
    }

    // Prefixes and tips changed: the view asks again for what it shows.
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
    QTableView* view = nullptr;

    std::vector<std::string> rows;
    UiWindow* window = nullptr;  // the list's dialog, handed to the callbacks
    UiRowColour colour_of = nullptr;
    UiRowText prefix_of = nullptr;
    UiRowText tip_of = nullptr;
    QFont font;
};

// The list's view: its single column follows the list's width, and it carries the
// context menu the core gave it and that menu's keys.
class LogView : public QTableView {
public:
    explicit LogView(QWidget* parent) : QTableView(parent) {}

    void run(int command) {
        auto* m = static_cast<LogModel*>(model());
        if (command == UI_LIST_COPY) {
            QModelIndexList picked = selectionModel()->selectedRows();
            std::sort(picked.begin(), picked.end(),
                      [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
            QStringList lines;
            for (const QModelIndex& i : picked) lines << m->display(i.row());
            if (!lines.isEmpty()) QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
        } else if (command == UI_LIST_SELECT_ALL) {
            m->flush();  // rows still waiting for their batch are part of "all"
            selectAll();
        } else if (owner) {
            deliver_input(owner, UI_COMMAND, command, UI_CLICKED);
        }
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

void ui_list_set_colours(UiWindow* dialog, int id, uint32_t background, UiRowColour colour_of) {
    Control* c = nullptr;
    LogModel* m = list_model(dialog, id, &c);
    if (!m) return;
    m->window = dialog;
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
    auto* view = static_cast<LogView*>(c->widget);
    int fits = view->viewport()->width();
    view->setColumnWidth(0, fits > 0 ? fits : width);
}

int ui_list_text_length(UiWindow* dialog, int id, int row) {
    LogModel* m = list_model(dialog, id);
    if (!m || row < 0 || row >= static_cast<int>(m->rows.size())) return 0;
    return static_cast<int>(m->rows[static_cast<size_t>(row)].size());
}

void ui_list_clear(UiWindow* dialog, int id) {
    if (LogModel* m = list_model(dialog, id)) m->clear();
}

void ui_list_set_row_texts(UiWindow* dialog, int id, UiRowText prefix_of, UiRowText tip_of) {
    LogModel* m = list_model(dialog, id);
    if (!m) return;
    m->window = dialog;
    m->prefix_of = prefix_of;
    m->tip_of = tip_of;
    m->refresh();
}

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
