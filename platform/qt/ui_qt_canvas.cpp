// The drawing area of UI_CANVAS controls: it keeps the last picture handed to it and
// paints it with QPainter, one paint for any number of pictures between two repaints.
#include <QDialog>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QVector>
#include <QWidget>

#include <algorithm>

#include "platform/qt/ui_qt_internal.h"

namespace qt_backend {

namespace {

// Coordinates beyond this are no picture's; kept out of the rasteriser's fixed point.
constexpr int FARTHEST = 32767;

QPoint fenced(const UiDrawPoint& p) {
    return QPoint(std::max(-FARTHEST, std::min(p.x, FARTHEST)), std::max(-FARTHEST, std::min(p.y, FARTHEST)));
}

QColor colour_of(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

struct Item {
    UiDrawKind kind;
    QColor colour;
    QVector<QPoint> points;
    QRect box;  // right and bottom one past the last pixel, as given
    QString text;
    int halign, valign;
    bool large;
};

// The readings' font: the dialog's, twice its size and bold.
QFont large_font(QFont font) {
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 2);
    else
        font.setPixelSize(font.pixelSize() * 2);
    font.setBold(true);
    return font;
}

// Where an edge of length `length` starts so that `align` (0 start, 1 centre, 2 end)
// puts it at the anchor.
int aligned(int anchor, int length, int align) { return anchor - (align == 1 ? length / 2 : align == 2 ? length : 0); }

class Canvas : public QWidget {
public:
    explicit Canvas(QWidget* parent) : QWidget(parent) {
        setAutoFillBackground(true);  // the empty canvas is the window's background
        setFocusPolicy(Qt::NoFocus);
    }

    void set(const UiDrawItem* items, int count) {
        items_.clear();
        for (int i = 0; items && i < count; ++i) {
            const UiDrawItem& in = items[i];
            Item out{in.kind, colour_of(in.rgb), {}, {}, {}, in.halign, in.valign, in.large != 0};
            int need = in.kind == UI_DRAW_TEXT ? 1 : in.kind == UI_DRAW_LINE ? 2 : in.kind == UI_DRAW_POLYLINE ? 2 : 0;
            if (need > 0 && (!in.points || in.count < need)) continue;
            int n = in.kind == UI_DRAW_POLYLINE ? in.count : need;
            for (int k = 0; k < n; ++k) out.points.append(fenced(in.points[k]));
            if (in.kind == UI_DRAW_BOX || in.kind == UI_DRAW_FILLED_BOX) {
                QPoint a = fenced({in.left, in.top}), b = fenced({in.right, in.bottom});
                if (b.x() <= a.x() || b.y() <= a.y()) continue;
                out.box = QRect(a, QSize(b.x() - a.x(), b.y() - a.y()));
            }
            if (in.kind == UI_DRAW_TEXT) {
                if (!in.text) continue;
                out.text = QString::fromUtf8(in.text);
            }
            items_.push_back(std::move(out));
        }
        update();  // coalesced: one paint at the next turn of the loop
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QFont normal = font(), large = large_font(font());
        for (const Item& item : items_) {
            switch (item.kind) {
            case UI_DRAW_LINE:
            case UI_DRAW_POLYLINE:
                p.setPen(QPen(item.colour, 0));  // cosmetic: one pixel
                p.drawPolyline(item.points.constData(), static_cast<int>(item.points.size()));
                break;
            case UI_DRAW_BOX:
                p.setPen(QPen(item.colour, 0));
                p.setBrush(Qt::NoBrush);
                // A cosmetic pen outlines both edges of the rectangle it is given.
                p.drawRect(item.box.adjusted(0, 0, -1, -1));
                break;
            case UI_DRAW_FILLED_BOX:
                p.fillRect(item.box, item.colour);
                break;
            case UI_DRAW_TEXT: {
                const QFont& f = item.large ? large : normal;
                QFontMetrics fm(f);
                int w = fm.horizontalAdvance(item.text), h = fm.height();
                p.setFont(f);
                p.setPen(item.colour);
                p.drawText(QRect(aligned(item.points[0].x(), w, item.halign), aligned(item.points[0].y(), h, item.valign),
                                 w, h),
                           Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, item.text);
                break;
            }
            }
        }
    }

private:
    std::vector<Item> items_;
};

Canvas* canvas_of(UiWindow* w, int id) {
    Control* c = find_control(w, id);
    return c && c->cls == UI_CANVAS ? static_cast<Canvas*>(c->widget) : nullptr;
}

}  // namespace

QWidget* make_canvas(QDialog* dlg, const DialogControl&) { return new Canvas(dlg); }

}  // namespace qt_backend

using namespace qt_backend;

void ui_canvas_draw(UiWindow* dialog, int id, const UiDrawItem* items, int count) {
    if (Canvas* c = canvas_of(dialog, id)) c->set(items, count);
}

int ui_canvas_size(UiWindow* dialog, int id, int* width, int* height) {
    Canvas* c = canvas_of(dialog, id);
    if (width) *width = c ? c->width() : 0;
    if (height) *height = c ? c->height() : 0;
    return c ? 1 : 0;
}

int ui_canvas_font_cell(UiWindow* dialog, int id, int large, int* char_width, int* char_height) {
    Canvas* c = canvas_of(dialog, id);
    QFontMetrics fm(c ? (large ? large_font(c->font()) : c->font()) : QFont());
    if (char_width) *char_width = c ? fm.horizontalAdvance(QLatin1Char('0')) : 0;
    if (char_height) *char_height = c ? fm.height() : 0;
    return c ? 1 : 0;
}
