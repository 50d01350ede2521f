// The log list of the Qt backend: rows kept as the core's bytes, shown in batches in a
// one-column table, coloured row by row; and the system colours it is drawn with.
#include <QAbstractListModel>
#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPalette>
#include <QTableView>
#include <QTimer>

#include <string>

#include "platform/qt/ui_qt_internal.h"

namespace qt_backend {

namespace {

// New log rows are shown at most this often: faster than the eye follows.
constexpr int FLUSH_MS = 30;

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

QWidget* make_log_list(QDialog* dlg, const DialogControl& dc, Control& c) {
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
