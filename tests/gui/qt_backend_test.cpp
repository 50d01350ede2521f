// The Qt backend on real widgets (offscreen platform): geometry from the tables, the
// messages a dialog procedure sees, lists, combos, boxes and re-entrant ends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QKeySequence>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch.h"
#include "platform/qt/ui_qt.h"
#include "platform/ui.h"
#include "tests/contract/ui_cases.h"

namespace {

// One dialog run: hooks called from the dialog procedure and a body that runs once
// the modal loop is going. The dialog ends after the body unless it ended already.
struct Script {
    std::function<void(UiWindow*)> on_init;
    std::function<void(UiWindow*)> body;
    std::function<void(UiWindow*, const UiMessage&)> on_message;
    std::vector<UiMessage> log;
    bool end_after_body = true;
};

Script* g_script = nullptr;

void script_proc(UiWindow* w, const UiMessage* m) {
    Script* s = g_script;
    s->log.push_back(*m);
    if (m->kind == UI_INIT) {
        if (s->on_init) s->on_init(w);
        QTimer::singleShot(0, ui_qt_dialog(w), [w, s]() {
            if (s->body) s->body(w);
            if (s->end_after_body && ui_dialog_alive(w)) ui_end_dialog(w, 99);
        });
        // A hung test fails instead of blocking the run.
        QTimer::singleShot(20000, ui_qt_dialog(w), [w]() {
            ADD_FAILURE() << "dialog did not end";
            ui_end_dialog(w, -2);
        });
    }
    if (s->on_message) s->on_message(w, *m);
}

int run(const DialogTemplate& tmpl, Script& s) {
    g_script = &s;
    int result = ui_run_dialog(&tmpl, nullptr, script_proc);
    g_script = nullptr;
    return result;
}

std::vector<UiMessage> of_kind(const std::vector<UiMessage>& log, UiMessageKind kind) {
    std::vector<UiMessage> out;
    for (const UiMessage& m : log)
        if (m.kind == kind) out.push_back(m);
    return out;
}

// Runs fn on the first modal widget of type T that shows up (a nested exec loop).
template <class T>
void when_modal(std::function<void(T*)> fn) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, fn]() {
        if (T* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            fn(widget);
        }
    });
    poll->start(5);
}

TEST(QtBackend, ControlsArePlacedFromDialogUnits) {
    int bx = 0, by = 0;
    ui_qt_base_units(&bx, &by);
    // A dialog font of about 8 points; anything else means the font was not found.
    EXPECT_GE(bx, 5);
    EXPECT_LE(bx, 9);
    EXPECT_GE(by, 10);
    EXPECT_LE(by, 17);
    for (const DialogTemplate* t : {&MAIN_DIALOG, &PIN_PANEL_DIALOG}) {
        SCOPED_TRACE(t->caption);
        Script s;
        s.body = [&](UiWindow* w) {
            ASSERT_EQ(ui_child_count(w), t->count);
            int cw = 0, ch = 0;
            ui_client_size(w, &cw, &ch);
            EXPECT_EQ(cw, dialog_units_to_px_x(t->width, bx));
            EXPECT_EQ(ch, dialog_units_to_px_y(t->height, by));
            for (int i = 0; i < t->count; ++i) {
                const DialogControl& c = t->controls[i];
                int x, y, width, height;
                ASSERT_EQ(ui_child_rect(w, i, &x, &y, &width, &height), 1);
                EXPECT_EQ(x, dialog_units_to_px_x(c.x, bx)) << i;
                EXPECT_EQ(y, dialog_units_to_px_y(c.y, by)) << i;
                EXPECT_EQ(width, dialog_units_to_px_x(c.width, bx)) << i;
                // A closed combo box is as high as an edit field; its table height holds the list.
                EXPECT_EQ(height, dialog_units_to_px_y(c.cls == UI_COMBO ? 12 : c.height, by)) << i;
                EXPECT_EQ(ui_is_enabled(w, c.id), (c.style & STYLE_DISABLED) ? 0 : 1) << i;
            }
            EXPECT_EQ(ui_child_rect(w, t->count, nullptr, nullptr, nullptr, nullptr), 0);
            QDialog* d = ui_qt_dialog(w);
            bool fixed = d->minimumSize() == d->maximumSize();
            EXPECT_EQ(fixed, (t->style & WS_THICKFRAME_) == 0);
            EXPECT_EQ(d->windowTitle(), QString::fromUtf8(t->caption));
            EXPECT_FALSE(d->windowIcon().isNull());
            // No push button may take Enter for itself.
            for (QPushButton* b : d->findChildren<QPushButton*>()) {
                EXPECT_FALSE(b->autoDefault());
                EXPECT_FALSE(b->isDefault());
            }
        };
        EXPECT_EQ(run(*t, s), 99);
    }
}

TEST(QtBackend, KeysAndCloseBoxBecomeDialogCommands) {
    struct Case {
        int focus;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int expected;
    };
    const Case cases[] = {
        {ID_PORT, Qt::Key_Return, Qt::NoModifier, UI_IDOK},
        {ID_COMMAND, Qt::Key_Enter, Qt::KeypadModifier, UI_IDOK},
        {ID_CONNECT, Qt::Key_Return, Qt::NoModifier, UI_IDOK},  // not a click of the button
        {ID_LOG, Qt::Key_Return, Qt::NoModifier, UI_IDOK},
        {ID_STARTUP, Qt::Key_Escape, Qt::NoModifier, UI_IDCANCEL},
        {ID_BAUD, Qt::Key_Escape, Qt::NoModifier, UI_IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focus);
        Script s;
        s.on_init = [](UiWindow* w) { ui_enable(w, ID_COMMAND, 1); };
        s.body = [&](UiWindow* w) {
            ui_set_focus(w, c.focus);
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : ui_qt_control(w, c.focus);
            if (auto* combo = qobject_cast<QComboBox*>(ui_qt_control(w, c.focus))) target = combo->lineEdit();
            QTest::keyClick(target, c.key, c.mods);
            // The procedure did not end the dialog: it must still be there.
            EXPECT_TRUE(ui_qt_dialog(w)->isVisible());
        };
        run(MAIN_DIALOG, s);
        auto commands = of_kind(s.log, UI_COMMAND);
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].id, c.expected);
    }

    Script s;
    s.body = [](UiWindow* w) {
        EXPECT_FALSE(ui_qt_dialog(w)->close());  // the close box asks, the procedure decides
        EXPECT_TRUE(ui_qt_dialog(w)->isVisible());
        ui_end_dialog(w, 5);
        EXPECT_EQ(ui_dialog_alive(w), 0);
    };
    EXPECT_EQ(run(MAIN_DIALOG, s), 5);
    auto commands = of_kind(s.log, UI_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].id, UI_IDCANCEL);
}

TEST(QtBackend, CheckBoxFlipsBeforeItsCommand) {
    std::vector<int> seen;
    Script s;
    s.on_message = [&](UiWindow* w, const UiMessage& m) {
        if (m.kind == UI_COMMAND && m.id == 1010) seen.push_back(ui_is_checked(w, 1010));
    };
    s.body = [](UiWindow* w) {
        auto* box = qobject_cast<QCheckBox*>(ui_qt_control(w, 1010));
        ASSERT_TRUE(box);
        EXPECT_EQ(box->layoutDirection(), Qt::RightToLeft);  // text left of the box
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        ui_set_check(w, 1010, 1);  // the program's own change sends nothing
    };
    run(PIN_PANEL_DIALOG, s);
    EXPECT_EQ(seen, (std::vector<int>{1, 0}));
}

// Sorting, appending and clearing are shared cases; here the operator's changes notify.
TEST(QtBackend, ComboBoxesNotify) {
    Script s;
    s.body = [](UiWindow* w) {
        for (const char* port : {"COM3", "COM10", "COM2"}) ui_combo_add(w, ID_PORT, port, 0);
        // The operator's changes notify; the program's did not.
        auto* port = qobject_cast<QComboBox*>(ui_qt_control(w, ID_PORT));
        port->lineEdit()->setFocus();
        QTest::keyClick(port->lineEdit(), Qt::Key_Down);
        QTest::keyClicks(port->lineEdit(), "x");
        EXPECT_EQ(ui_focus_id(w), ID_PORT);  // its edit field stands for the box
        EXPECT_EQ(ui_combo_count(w, ID_PORT), 3);
    };
    run(MAIN_DIALOG, s);
    auto commands = of_kind(s.log, UI_COMMAND);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].id, ID_PORT);
    EXPECT_EQ(commands[0].code, UI_SELCHANGE);
    EXPECT_EQ(commands[1].id, ID_PORT);
    EXPECT_EQ(commands[1].code, UI_EDITCHANGE);
}

// Waits for the batch of appended rows to reach the view.
void flushed(QAbstractItemModel* model, int rows) {
    QElapsedTimer t;
    t.start();
    while (model->rowCount() < rows && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(model->rowCount(), rows);
}

TEST(QtBackend, ListRowsTextsColoursAndTips) {
    g_test_rows = TestRows{};
    Script s;
    s.body = [](UiWindow* w) {
        ui_list_bind(w, ID_LOG, &TEST_ROWS, 0xFFFFFF);
        const std::string long_row(300, 'W');
        for (const char* r : {"V", "", "bad \xff\xfe bytes", "\xc3\xa9t\xc3\xa9", long_row.c_str()})
            test_add_row(w, static_cast<int>(g_test_rows.rows.size()), r);
        test_add_row(w, 1, "mid");
        auto* view = qobject_cast<QAbstractItemView*>(ui_qt_control(w, ID_LOG));
        QAbstractItemModel* model = view->model();
        flushed(model, 6);
        EXPECT_EQ(model->data(model->index(0, 0)).toString(), "V");
        EXPECT_EQ(model->data(model->index(1, 0)).toString(), "mid");
        EXPECT_EQ(model->data(model->index(4, 0)).toString(), "\u00e9t\u00e9");
        // Bytes that are not text still give a row, with replacement characters.
        QString bad = model->data(model->index(3, 0)).toString();
        EXPECT_TRUE(bad.startsWith("bad ") && bad.contains(QChar(0xFFFD)) && bad.endsWith(" bytes"));
        for (int r = 0; r < 6; ++r)
            EXPECT_EQ(model->data(model->index(r, 0), Qt::ForegroundRole).value<QColor>().rgb() & 0xFFFFFF,
                      test_row_colour(nullptr, r))
                << r;
        EXPECT_EQ(view->palette().color(QPalette::Base), QColor(255, 255, 255));
        EXPECT_EQ(model->data(model->index(0, 0), Qt::ToolTipRole).toString(), "whole");
        EXPECT_EQ(model->data(model->index(5, 0), Qt::ToolTipRole).toString(), "cut");

        // New texts for every row (times shown): the view asks again.
        g_test_rows.numbered = true;
        ui_list_changed(w, ID_LOG);
        EXPECT_EQ(model->data(model->index(1, 0)).toString(), "1: mid");
        ui_list_inserted(w, ID_PORT, 0);  // not a list
        ui_list_ensure_visible(w, ID_LOG, 5);
        QCoreApplication::processEvents();
    };
    run(MAIN_DIALOG, s);
}

const UiMenuEntry LIST_MENU[] = {
    {1105, "&Copy\tCtrl+C", 'C', 0}, {1106, "Select &All\tCtrl+A", 'A', 0}, {0, nullptr, 0, 0},
    {1101, "&Save\tCtrl+S", 'S', 0}, {1103, "Show &Times", 0, 1},
};

TEST(QtBackend, ListMenuKeysAndSelection) {
    g_test_rows = TestRows{};
    Script s;
    s.body = [](UiWindow* w) {
        auto* view = qobject_cast<QTableView*>(ui_qt_control(w, ID_LOG));
        ASSERT_TRUE(view);
        QAbstractItemModel* model = view->model();
        ui_list_bind(w, ID_LOG, &TEST_ROWS, 0xFFFFFF);
        ui_list_set_menu(w, ID_LOG, LIST_MENU, 5);
        ui_list_check_menu(w, ID_LOG, 1103, 1);
        for (const char* r : {"a", "b", "c"}) test_add_row(w, static_cast<int>(g_test_rows.rows.size()), r);

        // The operator's selection, and one row put in above it: the selection moves along.
        flushed(model, 3);
        view->selectionModel()->select(model->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        view->selectionModel()->select(model->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        test_add_row(w, 1, "put in");
        EXPECT_EQ(ui_list_next_selected(w, ID_LOG, -1), 0);
        EXPECT_EQ(ui_list_next_selected(w, ID_LOG, 0), 3);
        EXPECT_EQ(ui_list_next_selected(w, ID_LOG, 3), -1);
        // Every entry's key sends its command, Copy and Select All too.
        for (Qt::Key key : {Qt::Key_C, Qt::Key_A, Qt::Key_S}) QTest::keyClick(view, key, Qt::ControlModifier);

        // The single column follows the list's width.
        view->resize(view->width() + 200, view->height());
        QCoreApplication::processEvents();
        EXPECT_EQ(view->columnWidth(0), view->viewport()->width());

        QPoint spot = view->viewport()->rect().center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, spot, view->viewport()->mapToGlobal(spot));
        QApplication::sendEvent(view->viewport(), &click);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu);
        QStringList texts;
        for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "-" : a->text());
        EXPECT_EQ(texts, (QStringList{"&Copy\tCtrl+C", "Select &All\tCtrl+A", "-", "&Save\tCtrl+S", "Show &Times"}));
        EXPECT_TRUE(menu->actions()[4]->isChecked());
        menu->actions()[3]->trigger();
        menu->close();
        QTest::keyClick(view, Qt::Key_Menu);
        menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu);
        menu->close();

        g_test_rows.rows.clear();
        ui_list_cleared(w, ID_LOG);
        EXPECT_EQ(model->rowCount(), 0);
    };
    run(MAIN_DIALOG, s);
    std::vector<int> commands;
    for (const UiMessage& m : of_kind(s.log, UI_COMMAND)) {
        commands.push_back(m.id);
        EXPECT_EQ(m.code, UI_CLICKED);
    }
    EXPECT_EQ(commands, (std::vector<int>{1105, 1106, 1101, 1101}));
}

// Lengths count bytes of the text as UTF-8 (the shared cases keep to ASCII).
TEST(QtBackend, TextLengthsCountBytes) {
    Script s;
    s.body = [](UiWindow* w) {
        char buf[16];
        ui_set_text(w, ID_STARTUP, "\xc3\xa9\xc3\xa9\xc3\xa9");  // three two-byte characters
        EXPECT_EQ(ui_text_length(w, ID_STARTUP), 6);
        EXPECT_EQ(ui_get_text(w, ID_STARTUP, buf, 6), 4);
    };
    run(MAIN_DIALOG, s);
}

// Every road by which input can reach a window: the window system's click and key,
// events handed straight to a widget (as test and accessibility tools do), posted
// events, a programmatic click, the window-menu button, Alt+Space, the close box and
// the focus.
void poke_main(UiWindow* w) {
    QDialog* d = ui_qt_dialog(w);
    QWidget* connect = ui_qt_control(w, ID_CONNECT);
    QPoint at = connect->geometry().center();
    QTest::mouseClick(d->windowHandle(), Qt::LeftButton, {}, at);
    QTest::mouseClick(connect, Qt::LeftButton);
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(connect, new QMouseEvent(t, QPointF(5, 5), connect->mapToGlobal(QPointF(5, 5)),
                                                             Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::processEvents();
    qobject_cast<QPushButton*>(ui_qt_control(w, ID_SEND_FILE))->click();
    QTest::keyClicks(ui_qt_control(w, ID_COMMAND), "x");
    QTest::keyClick(ui_qt_control(w, ID_COMMAND), Qt::Key_Return);
    QTest::keyClick(d->windowHandle(), Qt::Key_Escape);
    QTest::keyClick(d, Qt::Key_Escape);
    d->findChild<QToolButton*>()->click();
    QTest::keyClick(d, Qt::Key_Space, Qt::AltModifier);
    d->windowHandle()->close();
    d->close();
    d->activateWindow();  // a click lets the window system focus it
    EXPECT_TRUE(QTest::qWaitFor([d] { return QGuiApplication::focusWindow() != d->windowHandle(); }, 2000));
}

// What a modal child (the pin panel or a box) leaves its owner: no input by any road,
// in whatever nesting of modal loops and link-style waits it was opened; Escape goes
// to the child.
TEST(QtBackend, OwnerTakesNoInputBehindAModalChild) {
    enum Child { PANEL, PANEL_IN_ITS_WAIT, PANEL_IN_OWNER_WAIT, BOX, BOX_IN_PANEL_WAIT };
    for (Child child : {PANEL, PANEL_IN_ITS_WAIT, PANEL_IN_OWNER_WAIT, BOX, BOX_IN_PANEL_WAIT}) {
        SCOPED_TRACE(child);
        UiWindow* main = nullptr;
        int reached = 0, checked = 0;
        // Pokes the main window from inside the child's loop, then presses Escape
        // wherever the keyboard focus is: that must end the child.
        auto poke_then_escape = [&](QWidget* top) {
            ++checked;
            poke_main(main);
            QDialog* d = ui_qt_dialog(main);
            EXPECT_TRUE(d->isVisible());
            EXPECT_TRUE(top->isVisible());
            EXPECT_FALSE(d->findChild<QMenu*>()->isVisible());
            EXPECT_EQ(qobject_cast<QLineEdit*>(ui_qt_control(main, ID_COMMAND))->text(), "");
            EXPECT_EQ(QGuiApplication::focusWindow(), top->windowHandle());
            if (QGuiApplication::focusWindow()) QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Escape);
        };
        auto wait_while = [](const std::function<bool()>& cond) {
            while (cond()) {
                dispatch_pending_messages();
                platform_idle_wait(1);
            }
        };
        auto box = [&](UiWindow* owner) {
            when_modal<QMessageBox>([&](QMessageBox* b) { poke_then_escape(b); });
            EXPECT_EQ(ui_message_box(owner, "No valid data", "LPT error", UI_MB_YESNO, 0), UI_ANSWER_NO);
        };
        Script s;
        s.end_after_body = false;
        s.on_init = [](UiWindow* w) {
            if (ui_dialog_id(w) == DIALOG_MAIN) ui_enable(w, ID_COMMAND, 1);
            if (ui_dialog_id(w) == DIALOG_PIN_PANEL) ui_set_timer(w, 1, 10);
        };
        s.on_message = [&](UiWindow* w, const UiMessage& m) {
            if (ui_dialog_id(w) == DIALOG_MAIN) {
                if (m.kind == UI_COMMAND || m.kind == UI_SYSCOMMAND) ++reached;
                return;
            }
            if (m.kind == UI_COMMAND && m.id == UI_IDCANCEL) ui_end_dialog(w, 2);
            if (m.kind != UI_TIMER) return;
            ui_kill_timer(w, 1);
            if (child == PANEL || child == PANEL_IN_OWNER_WAIT) {
                poke_then_escape(ui_qt_dialog(w));
            } else if (child == PANEL_IN_ITS_WAIT) {
                QTimer::singleShot(20, [&, w] { poke_then_escape(ui_qt_dialog(w)); });
                wait_while([w] { return ui_dialog_alive(w); });
            } else {
                bool done = false;
                QTimer::singleShot(20, [&, w] {
                    box(w);
                    done = true;
                });
                wait_while([&] { return !done; });
                ui_end_dialog(w, 2);
            }
        };
        s.body = [&](UiWindow* w) {
            if (ui_dialog_id(w) != DIALOG_MAIN) return;
            main = w;
            if (child == BOX) {
                box(w);
            } else if (child == PANEL_IN_OWNER_WAIT) {
                bool done = false;
                QTimer::singleShot(20, [&, w] {
                    EXPECT_EQ(ui_run_dialog(&PIN_PANEL_DIALOG, w, script_proc), 2);
                    done = true;
                });
                wait_while([&] { return !done; });
            } else {
                EXPECT_EQ(ui_run_dialog(&PIN_PANEL_DIALOG, w, script_proc), 2);
            }
            ui_end_dialog(w, 9);
        };
        EXPECT_EQ(run(MAIN_DIALOG, s), 9);
        EXPECT_EQ(checked, 1);
        EXPECT_EQ(reached, 0);
    }
}

// The main window ended from a handler deep inside its pin panel's wait: every
// window it owns ends with it, whatever was open, and the run returns.
TEST(QtBackend, EndingTheOwnerEndsWhatItOwns) {
    for (bool chooser : {false, true}) {
        SCOPED_TRACE(chooser);
        UiWindow* main = nullptr;
        int panel_result = 0;
        Script s;
        s.end_after_body = false;
        s.on_message = [&](UiWindow* w, const UiMessage& m) {
            if (ui_dialog_id(w) != DIALOG_PIN_PANEL) return;
            if (m.kind == UI_INIT) ui_set_timer(w, 1, 10);
            if (m.kind != UI_TIMER) return;
            ui_kill_timer(w, 1);
            auto end_main = [&](QWidget*) { ui_end_dialog(main, 7); };
            if (chooser) {
                when_modal<QFileDialog>(end_main);
                EXPECT_EQ(ui_choose_file(w, nullptr, nullptr, "*", 1, nullptr), nullptr);
            } else {
                when_modal<QMessageBox>(end_main);
                EXPECT_EQ(ui_message_box(w, "Exit?", "Exit", UI_MB_YESNO, ICON_APP), UI_ANSWER_NO);
            }
            while (ui_dialog_alive(w)) {
                dispatch_pending_messages();
                platform_idle_wait(1);
            }
        };
        s.body = [&](UiWindow* w) {
            if (ui_dialog_id(w) != DIALOG_MAIN) return;
            main = w;
            panel_result = ui_run_dialog(&PIN_PANEL_DIALOG, w, script_proc);
            // Nothing more opens for an ended owner.
            EXPECT_EQ(ui_run_dialog(&PIN_PANEL_DIALOG, w, script_proc), -1);
        };
        EXPECT_EQ(run(MAIN_DIALOG, s), 7);
        EXPECT_EQ(panel_result, UI_IDCANCEL);
        QCoreApplication::processEvents();
        for (QWidget* top : QApplication::topLevelWidgets())
            EXPECT_FALSE(top->isVisible()) << top->windowTitle().toStdString();
    }
}

// The link's event wait in the event loop sleeps until the port's descriptor turns
// readable, an event arrives or the deadline is due; input nobody reads does not make
// a loop that a handler runs inside the wait (a box) spin.
TEST(QtBackend, EventWaitSleepsUntilInputEventOrDeadline) {
    PlatformWait wait = platform_wait_hook();
    ASSERT_NE(wait, nullptr);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto input_in = [&](int ms) {
        return std::thread([fd = fds[1], ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            EXPECT_EQ(write(fd, "x", 1), 1);
        });
    };
    const struct {
        const char* name;
        bool watch;
        uint32_t ms;
        int input_ms, event_ms;  // -1: none
        double min_s, max_s;
    } cases[] = {
        {"input", true, PLATFORM_WAIT_FOREVER, 30, -1, 0.02, 1.0},
        {"an event", false, PLATFORM_WAIT_FOREVER, -1, 30, 0.02, 1.0},
        {"the deadline", true, 50, -1, -1, 0.04, 1.0},
    };
    for (const auto& c : cases) {
        QCoreApplication::processEvents();  // what is pending would end the wait at once
        std::thread writer = c.input_ms >= 0 ? input_in(c.input_ms) : std::thread();
        if (c.event_ms >= 0) QTimer::singleShot(c.event_ms, [] {});
        QElapsedTimer t;
        t.start();
        wait(c.watch ? fds[0] : PLATFORM_NO_HANDLE, c.ms);
        double s = t.elapsed() / 1000.0;
        EXPECT_GE(s, c.min_s) << c.name;
        EXPECT_LT(s, c.max_s) << c.name;
        if (writer.joinable()) writer.join();
        char drain[8];
        if (c.input_ms >= 0) {
            EXPECT_EQ(read(fds[0], drain, sizeof drain), 1);
        }
    }
    bool nested_ran = false;
    double nested_cpu = 1;
    QTimer::singleShot(10, [&] {
        EXPECT_EQ(write(fds[1], "x", 1), 1);  // arrives while the handler's own loop runs
        std::clock_t before = std::clock();
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        nested_cpu = static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        nested_ran = true;
    });
    wait(fds[0], PLATFORM_WAIT_FOREVER);
    EXPECT_TRUE(nested_ran);
    EXPECT_LT(nested_cpu, 0.1);
    close(fds[0]);
    close(fds[1]);
}

TEST(QtBackend, TimersMenuAndResize) {
    Script s;
    s.end_after_body = false;
    int ticks = 0;
    s.on_init = [](UiWindow* w) {
        for (const SystemMenuEntry& e : SYSTEM_MENU) ui_append_system_menu(w, e.command, e.text);
        ui_set_system_menu_key(w, SYSCMD_REPORT, 'R');
        ui_set_system_menu_key(w, SYSCMD_PIN_PANEL, 'L');
        ui_enable_system_menu(w, SYSCMD_REPORT, 0);
        static const UiMenuEntry TOOLS[] = {{UI_MENU_WINDOW + SYSCMD_REPORT, "Report", 0, 0},
                                            {UI_MENU_WINDOW + SYSCMD_PIN_PANEL, "LPT", 0, 0}};
        ui_list_set_menu(w, ID_LOG, TOOLS, 2);
        ui_set_timer(w, 3, 10);
    };
    s.on_message = [&](UiWindow* w, const UiMessage& m) {
        if (m.kind == UI_TIMER && ++ticks == 3) {
            ui_kill_timer(w, 3);
            QTimer::singleShot(50, ui_qt_dialog(w), [w]() {
                QDialog* d = ui_qt_dialog(w);
                d->resize(d->width() + 100, d->height() + 60);
                ui_move_child(w, 0, 1, 2, 30, 40);
                int x, y, width, height;
                ui_child_rect(w, 0, &x, &y, &width, &height);
                EXPECT_EQ(QRect(x, y, width, height), QRect(1, 2, 30, 40));

                auto* button = d->findChild<QToolButton*>();
                ASSERT_TRUE(button);
                EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
                QMenu* menu = d->findChild<QMenu*>();
                ASSERT_TRUE(menu);
                QStringList texts;
                for (QAction* a : menu->actions()) texts << (a->isSeparator() ? "-" : a->text());
                EXPECT_EQ(texts, (QStringList{"&Close\tAlt+F4", "-", "ZORV &Report", "-", "ZORV as &LPT", "-",
                                              "&About ZORVTalk", "-", "Stop Command &File", "-",
                                              "ZORV Status M&onitor"}));
                EXPECT_FALSE(menu->actions()[2]->isEnabled());
                QTest::keyClick(ui_qt_control(w, ID_CONNECT), Qt::Key_Space, Qt::AltModifier);
                EXPECT_TRUE(menu->isVisible());
                menu->hide();
                menu->actions()[4]->trigger();
                EXPECT_EQ(menu->actions()[2]->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
                // The keys work with the focus anywhere; a greyed entry's key does nothing.
                d->activateWindow();
                QTest::keyClick(ui_qt_control(w, ID_COMMAND), Qt::Key_R, Qt::ControlModifier);
                QTest::keyClick(ui_qt_control(w, ID_COMMAND), Qt::Key_L, Qt::ControlModifier);
                // The log's menu: the window menu's entries, greyed as there.
                auto* view = qobject_cast<QTableView*>(ui_qt_control(w, ID_LOG));
                QPoint spot = view->viewport()->rect().center();
                QContextMenuEvent click(QContextMenuEvent::Mouse, spot, view->viewport()->mapToGlobal(spot));
                QApplication::sendEvent(view->viewport(), &click);
                auto* tools = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                EXPECT_TRUE(tools && !tools->actions()[0]->isEnabled() && tools->actions()[1]->isEnabled());
                if (tools) {
                    tools->actions()[1]->trigger();
                    tools->close();
                }
                menu->actions()[0]->trigger();  // Close: the procedure is asked, nothing more
                ui_end_dialog(w, 0);
            });
        }
    };
    run(MAIN_DIALOG, s);
    EXPECT_EQ(ticks, 3);
    auto sizes = of_kind(s.log, UI_SIZE);
    ASSERT_FALSE(sizes.empty());
    int bx, by;
    ui_qt_base_units(&bx, &by);
    EXPECT_EQ(sizes.back().width, dialog_units_to_px_x(400, bx) + 100);
    EXPECT_EQ(sizes.back().height, dialog_units_to_px_y(225, by) + 60);
    auto sys = of_kind(s.log, UI_SYSCOMMAND);
    ASSERT_EQ(sys.size(), 3u);  // the window menu, Ctrl+L, the log's menu
    for (const UiMessage& m : sys) EXPECT_EQ(m.id, SYSCMD_PIN_PANEL);
    auto commands = of_kind(s.log, UI_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].id, UI_IDCANCEL);
}

// The pressed buttons are shared cases; here keys, the text, the caption and the icons.
TEST(QtBackend, MessageBoxAnswers) {
    struct Case {
        uint32_t style;
        int icon;
        std::function<void(QMessageBox*)> act;
        int expected;
    };
    const Case cases[] = {
        {UI_MB_OK, ICON_APP, [](QMessageBox* b) { b->button(QMessageBox::Ok)->click(); }, UI_ANSWER_OK},
        {UI_MB_YESNO, 0, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, UI_ANSWER_NO},
        {UI_MB_YESNO, 0, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Return); }, UI_ANSWER_YES},
        {UI_MB_ICONERROR, 0, [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, UI_ANSWER_OK},
    };
    for (const Case& c : cases) {
        QString text, caption;
        bool custom_icon = false;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        when_modal<QMessageBox>([&](QMessageBox* b) {
            text = b->text();
            caption = b->windowTitle();
            custom_icon = !b->iconPixmap().isNull() && b->icon() == QMessageBox::NoIcon;
            icon = b->icon();
            c.act(b);
        });
        int answer = ui_message_box(nullptr, "Target is still connected\r\n\r\nDisconnect <b>and</b> exit?", "Exit",
                                    c.style, c.icon);
        EXPECT_EQ(answer, c.expected);
        EXPECT_EQ(text, "Target is still connected\n\nDisconnect <b>and</b> exit?");
        EXPECT_EQ(caption, "Exit");
        if (c.icon == ICON_APP) {
            EXPECT_TRUE(custom_icon);
        }
        if (c.style & UI_MB_ICONERROR) {
            EXPECT_EQ(icon, QMessageBox::Critical);
        }
    }
}

TEST(QtBackend, FileChooser) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QString plain = tmp.filePath("startup");  // no dot: "*.*" must still show it
    QFile(plain).open(QIODevice::WriteOnly);
    QString deep = tmp.path();
    while (deep.toUtf8().size() <= 270) deep += "/" + QString(40, 'd');
    ASSERT_TRUE(QDir().mkpath(deep));
    QString too_long = deep + "/f";
    QFile(too_long).open(QIODevice::WriteOnly);

    // The default extension "*" adds none: a name without a dot comes back as the
    // operator typed or kept it.
    QString typed = tmp.filePath("newname");
    QByteArray plain_bytes = plain.toUtf8(), typed_bytes = typed.toUtf8();
    struct Case {
        QString initial;
        QString pick;   // selected and accepted; empty: cancel
        QString type;   // typed into the name field and Enter instead
        const char* ext;
        const char* filter;
        const char* expected;
    };
    const Case cases[] = {
        {{}, {}, {}, nullptr, nullptr, nullptr},
        {{}, plain, {}, nullptr, nullptr, plain_bytes.constData()},
        {{}, plain, {}, "*", "Command files\0*.txt;*.*\0", plain_bytes.constData()},
        {{}, too_long, {}, nullptr, nullptr, nullptr},
        {tmp.path(), {}, "newname", "*", nullptr, typed_bytes.constData()},
        {plain, plain, {}, "*", nullptr, plain_bytes.constData()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected ? c.expected : "none");
        QString title, filter_shown;
        QStringList name_filters;
        when_modal<QFileDialog>([&](QFileDialog* fd) {
            title = fd->windowTitle();
            if (auto* combo = fd->findChild<QComboBox*>("fileTypeCombo")) filter_shown = combo->currentText();
            if (auto* model = fd->findChild<QFileSystemModel*>()) name_filters = model->nameFilters();
            auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
            if (!c.type.isEmpty() && name) {
                name->setFocus();
                QTest::keyClicks(name, c.type);
                QTest::keyClick(name, Qt::Key_Return);
            } else if (c.pick.isEmpty()) {
                fd->reject();
            } else {
                fd->selectFile(c.pick);
                static_cast<QDialog*>(fd)->accept();  // QFileDialog's own check of the name
            }
        });
        QByteArray initial = c.initial.toUtf8();
        char* path = ui_choose_file(nullptr, c.initial.isEmpty() ? nullptr : initial.constData(), c.filter, c.ext, 1,
                                    nullptr);
        if (c.expected) {
            ASSERT_NE(path, nullptr);
            EXPECT_STREQ(path, c.expected);
        } else {
            EXPECT_EQ(path, nullptr);
        }
        ui_free(path);
        EXPECT_EQ(title, "Open File");
        EXPECT_EQ(filter_shown, c.filter ? "Command files" : "All Files (*.*)");
        EXPECT_TRUE(name_filters.contains("*"));
    }
}

// Appended rows reach the view in batches, once the event loop has turned, and the
// last one scrolls into view; a row put in above those shown shows at once.
TEST(QtBackend, AppendedRowsReachTheViewInBatches) {
    g_test_rows = TestRows{};
    Script s;
    s.body = [](UiWindow* w) {
        ui_list_bind(w, ID_LOG, &TEST_ROWS, 0xFFFFFF);
        auto* view = qobject_cast<QAbstractItemView*>(ui_qt_control(w, ID_LOG));
        QAbstractItemModel* model = view->model();
        for (int i = 0; i < 50; ++i) {
            test_add_row(w, i, i % 2 ? "reply" : "command");
            ui_list_ensure_visible(w, ID_LOG, i);
        }
        EXPECT_EQ(model->rowCount(), 0);
        flushed(model, 50);
        EXPECT_EQ(model->data(model->index(49, 0)).toString(), "reply");
        auto last_in_view = [&] {
            QRect r = view->visualRect(model->index(49, 0));
            return r.top() >= 0 && r.bottom() <= view->viewport()->height();
        };
        QElapsedTimer t;
        t.start();
        while (!last_in_view() && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_TRUE(last_in_view()) << view->visualRect(model->index(49, 0)).top() << " of "
                                    << view->viewport()->height();

        test_add_row(w, 50, "pending");
        test_add_row(w, 0, "first");  // above the rows shown: shown at once, with the batch
        EXPECT_EQ(model->rowCount(), 52);
        EXPECT_EQ(model->data(model->index(0, 0)).toString(), "first");
        EXPECT_EQ(model->data(model->index(51, 0)).toString(), "pending");
    };
    run(MAIN_DIALOG, s);
}

}  // namespace

int host_run_dialog(const DialogTemplate* tmpl, UiWindow* owner, UiDialogProc proc) {
    return ui_run_watched(tmpl, owner, proc);
}

std::string host_clipboard() { return QGuiApplication::clipboard()->text().toStdString(); }

int host_message_box(UiWindow* owner, const char* text, const char* caption, uint32_t style, int answer) {
    const QMessageBox::StandardButton button = answer == UI_ANSWER_YES  ? QMessageBox::Yes
                                               : answer == UI_ANSWER_NO ? QMessageBox::No
                                                                        : QMessageBox::Ok;
    when_modal<QMessageBox>([button](QMessageBox* b) {
        if (QAbstractButton* pressed = b->button(button)) pressed->click();
    });
    return ui_message_box(owner, text, caption, style, ICON_APP);
}

long host_canvas_pixel(UiWindow* dialog, int id, int x, int y) {
    QWidget* canvas = ui_qt_control(dialog, id);
    QImage shot = canvas ? canvas->grab().toImage() : QImage();
    return shot.valid(x, y) ? static_cast<long>(shot.pixel(x, y) & 0xFFFFFF) : -1;
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui_init();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
