// The window menu of the Qt backend (a corner button and Alt+Space stand in for the
// title-bar system menu) and its message boxes.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QToolButton>

#include "platform/qt/ui_qt.h"
#include "platform/qt/ui_qt_internal.h"

namespace qt_backend {

namespace {

constexpr int MENU_BUTTON_PX = 12;

// The program icon with a drop-down mark, so that the corner reads as a menu
// button; drawn at twice the size for high-density screens.
QIcon menu_button_icon() {
    const int px = (MENU_BUTTON_PX - 2) * 2;
    QPixmap pm(px, px);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    ui_qt_program_icon().paint(&p, 0, 0, px, px);
    const qreal t = px * 0.45;  // the mark's width, in the bottom right corner
    QPolygonF mark{QPointF(px - t, px - t * 0.6), QPointF(px, px - t * 0.6), QPointF(px - t / 2, px)};
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(Qt::black);
    p.drawPolygon(mark);
    p.end();
    pm.setDevicePixelRatio(2);
    return QIcon(pm);
}

}  // namespace

void show_menu(UiWindow* w, QPoint global) {
    if (w->menu && !window_blocked(w)) w->menu->popup(global);
}

void build_window_menu(UiWindow* w) {
    QDialog* dlg = w->dialog;
    // Stand-in for the title-bar system menu, which Linux window managers keep to
    // themselves: a small button in the corner and Alt+Space open the same menu.
    w->menu = new QMenu(dlg);
    QAction* close = w->menu->addAction(QStringLiteral("&Close\tAlt+F4"));
    QObject::connect(close, &QAction::triggered, dlg, [w]() { deliver_input(w, UI_COMMAND, UI_IDCANCEL); });
    w->menu_button = new QToolButton(dlg);
    w->menu_button->setIcon(menu_button_icon());
    w->menu_button->setIconSize(QSize(MENU_BUTTON_PX - 2, MENU_BUTTON_PX - 2));
    w->menu_button->setAutoRaise(true);
    w->menu_button->setFocusPolicy(Qt::NoFocus);
    w->menu_button->setCursor(Qt::PointingHandCursor);
    // What is behind it: some desktops take Alt+Space for themselves.
    w->menu_button->setToolTip(
        QStringLiteral("Window menu (Alt+Space): ZORV Report, ZORV as LPT, Stop Command File, About.\n"
                       "The same tools head the log's context menu."));
    w->menu_button->setGeometry(0, 0, MENU_BUTTON_PX, MENU_BUTTON_PX);
    w->menu_button->raise();
    QToolButton* button = w->menu_button;
    QObject::connect(button, &QToolButton::clicked, dlg,
                     [w, button]() { show_menu(w, button->mapToGlobal(QPoint(0, button->height()))); });
}

}  // namespace qt_backend

using namespace qt_backend;

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

void ui_set_system_menu_key(UiWindow* dialog, int command, char key) {
    if (!dialog || !dialog->dialog || key < 'A' || key > 'Z') return;
    auto it = dialog->menu_items.find(command);
    if (it == dialog->menu_items.end()) return;
    // On the dialog as well, so that the key works while the menu is closed; a
    // disabled entry's key does nothing, and a box over the window takes its keys.
    it->second->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_A + (key - 'A'))));
    it->second->setShortcutContext(Qt::WindowShortcut);
    dialog->dialog->addAction(it->second);
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
