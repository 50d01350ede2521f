// The real main window (offscreen) against zorv-sim on a pty: connecting, typed
// commands and their colours, Pause/Continue/Stop, the window-menu tools while a
// command runs, exiting mid-command, resizing and command files. Driven by Qt input
// events; every wait has a deadline.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "console/app.h"
#include "console/log_view.h"
#include "console/main_dialog.h"
#include "console/session.h"
#include "platform/ui.h"
#include "resources/dialogs.h"
#include "settings/settings.h"
#include "tests/integration/sim_process.h"

// Failures show texts, not UTF-16 code units.
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

constexpr int WAIT_MS = 5000;
constexpr uint32_t BLACK = 0x000000, BLUE = 0x0000FF;

// Runs pending events until cond holds; fails the test after ms. Blocks in the event
// loop between checks (a short wake-up timer), so nested waits of the program run on.
bool wait_until(const std::function<bool()>& cond, const char* what, int ms = WAIT_MS) {
    QElapsedTimer clock;
    clock.start();
    while (!cond()) {
        if (clock.elapsed() > ms) {
            ADD_FAILURE() << "timed out waiting for " << what;
            return false;
        }
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(5);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

template <class T>
T* top_level(const std::function<bool(T*)>& match) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (T* t = qobject_cast<T*>(w); t && t->isVisible() && match(t)) return t;
    return nullptr;
}

QDialog* main_window() {
    return top_level<QDialog>([](QDialog* d) {
        return !qobject_cast<QMessageBox*>(d) && !qobject_cast<QFileDialog*>(d) &&
               d->windowTitle().startsWith(QLatin1String("ZORVTalk"));
    });
}

QDialog* pin_panel() {
    return top_level<QDialog>([](QDialog* d) { return d->windowTitle() == QLatin1String("ZORV as LPT"); });
}

QMessageBox* message_box(const char* title) {
    return top_level<QMessageBox>([title](QMessageBox* b) { return b->windowTitle() == QLatin1String(title); });
}

// The backend tags every control with its template id.
QWidget* control(QWidget* dialog, int id) {
    if (!dialog) return nullptr;
    for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QVariant v = w->property("zorv_id");
        if (v.isValid() && v.toInt() == id) return w;
    }
    return nullptr;
}

template <class T>
T* control_as(QWidget* dialog, int id) {
    T* t = qobject_cast<T*>(control(dialog, id));
    EXPECT_NE(t, nullptr) << "control " << id;
    return t;
}

QPushButton* button(QWidget* d, int id) { return control_as<QPushButton>(d, id); }
QLineEdit* edit(QWidget* d, int id) { return control_as<QLineEdit>(d, id); }
QCheckBox* check_box(QWidget* d, int id) { return control_as<QCheckBox>(d, id); }

void click(QWidget* w) {
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

struct Row {
    QString text;
    uint32_t colour;
};

// The session of the window under test, for the kinds of its log's rows.
const Session* g_session = nullptr;

bool is_note_row(int row) {
    const LogModel& log = g_session->log.rows;
    return row >= 0 && row < log_model_count(log) && log_model_kind(log, row) == LOG_NOTE;
}

std::vector<Row> log_rows(QWidget* d) {
    std::vector<Row> out;
    auto* view = control_as<QAbstractItemView>(d, ID_LOG);
    if (!view) return out;
    QAbstractItemModel* m = view->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        if (is_note_row(r)) continue;  // the session's notes: connected, ...
        QModelIndex i = m->index(r, 0);
        QColor c = m->data(i, Qt::ForegroundRole).value<QColor>();
        out.push_back({m->data(i, Qt::DisplayRole).toString(), static_cast<uint32_t>(c.rgb() & 0xFFFFFF)});
    }
    return out;
}

// Commands black, replies blue, in this order. New rows reach the view in batches,
// so the view is given its turn first.
void expect_log(QWidget* d, const std::vector<QString>& texts) {
    wait_until([&] { return log_rows(d).size() >= texts.size(); }, "the log rows");
    std::vector<Row> rows = log_rows(d);
    ASSERT_EQ(rows.size(), texts.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r].text, texts[r]) << "row " << r;
        EXPECT_EQ(rows[r].colour, (r % 2) ? BLUE : BLACK) << "row " << r;
    }
}

// Types into the command line as the operator does: click into it, then the keys.
void type_command(QDialog* d, const char* text) {
    QLineEdit* line = edit(d, ID_COMMAND);
    ASSERT_NE(line, nullptr);
    click(line);
    QTest::keyClicks(line, QString::fromUtf8(text));
}

// Returns once the reply row is in (the exchange waits inside the key handler).
void press_enter(QDialog* d) { QTest::keyClick(edit(d, ID_COMMAND), Qt::Key_Return); }

QAction* menu_item(QDialog* d, const char* text) {
    for (QMenu* menu : d->findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            if (a->text() == QLatin1String(text)) return a;
    ADD_FAILURE() << "no window-menu item " << text;
    return nullptr;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int next_port = 201;
        port_ = next_port++;
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(sim_start(&sim_, port_));
        ini_ = dir_.filePath(QStringLiteral("zorvtalk.ini")).toStdString();
        QFile f(QString::fromStdString(ini_));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[Connection]\nPort=%1\nBaud=115200\n").arg(port_).toUtf8());
        f.close();
        settings_use_path(ini_.c_str());
        session = Session{};
        g_session = &session;
        scope_ = std::make_unique<QObject>();
    }

    void TearDown() override {
        scope_.reset();  // pollers of a failed test must not fire in the next one
        settings_use_path(nullptr);
        sim_stop(&sim_);
    }

    // Polls cond from the event loop, nested loops included (modal boxes, the link's
    // waits), and runs action once when it holds. The flag tells whether it ran.
    std::shared_ptr<bool> when(std::function<bool()> cond, std::function<void()> action, const char* what,
                               int ms = WAIT_MS) {
        auto ran = std::make_shared<bool>(false);
        auto* poll = new QTimer(scope_.get());
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        // Stopped, never deleted, from its own tick: the action may run nested loops.
        QObject::connect(poll, &QTimer::timeout, poll, [=]() {
            if (cond()) {
                poll->stop();
                *ran = true;
                action();
            } else if (clock->elapsed() > ms) {
                poll->stop();
                ADD_FAILURE() << "timed out waiting for " << what;
            }
        });
        poll->start(5);
        return ran;
    }

    // Runs the program's main window; driver gets it once it shows. A window still
    // open after the driver is closed (disconnecting on the way).
    void run_app(const std::function<void(QDialog*)>& driver) {
        bool driven = false;
        when([] { return main_window() != nullptr; },
             [&] {
                 QPointer<QDialog> d = main_window();
                 driver(d);
                 driven = true;
                 if (d && d->isVisible()) close_window(d);
             },
             "the main window");
        EXPECT_EQ(app_main(&session), 0);
        EXPECT_TRUE(driven);
        EXPECT_EQ(main_window(), nullptr);
        EXPECT_EQ(session.link, nullptr);
        EXPECT_EQ(session.connected, 0);
    }

    void close_window(QDialog* d) {
        if (d->windowTitle() != QLatin1String("ZORVTalk"))
            when([] { return message_box("Exit") != nullptr; },
                 [] { message_box("Exit")->button(QMessageBox::Yes)->click(); }, "the exit question");
        QTest::keyClick(d, Qt::Key_Escape);
    }

    // Presses Connect; returns once the controller has been greeted.
    void connect_window(QDialog* d) {
        click(button(d, ID_CONNECT));
        EXPECT_EQ(d->windowTitle(), QStringLiteral("ZORVTalk - COM%1: 115200").arg(port_));
    }

    // Opens "ZORV Report" through the window menu (Alt+Space, then a click on the
    // item) and returns the box's text after pressing OK.
    QString report(QDialog* d) {
        QString text;
        auto seen = when([] { return message_box("ZORV Report") != nullptr; },
                         [&text] {
                             QMessageBox* box = message_box("ZORV Report");
                             text = box->text();
                             EXPECT_FALSE(box->iconPixmap().isNull());  // the program icon
                             click(box->button(QMessageBox::Ok));
                         },
                         "the report box");
        QAction* item = menu_item(d, "ZORV &Report");
        if (!item) return text;
        QTest::keyClick(d, Qt::Key_Space, Qt::AltModifier);
        QMenu* menu = qobject_cast<QMenu*>(item->parent());
        if (wait_until([menu] { return menu && menu->isVisible(); }, "the window menu"))
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        EXPECT_TRUE(*seen);
        return text;
    }

    std::string settings_text() const {
        QFile f(QString::fromStdString(ini_));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll().toStdString();
    }

    QTemporaryDir dir_;
    SimProcess sim_;
    int port_ = 0;
    std::string ini_;
    Session session;
    std::unique_ptr<QObject> scope_;
};

TEST_F(WindowTest, ConnectSavesSettingsAndEchoes) {
    run_app([&](QDialog* d) {
        auto* port = control_as<QComboBox>(d, ID_PORT);
        auto* baud = control_as<QComboBox>(d, ID_BAUD);
        ASSERT_TRUE(port && baud);
        EXPECT_EQ(port->currentText(), QStringLiteral("COM%1").arg(port_));
        EXPECT_EQ(baud->currentText(), QStringLiteral("115200"));
        EXPECT_EQ(d->windowTitle(), QStringLiteral("ZORVTalk"));
        EXPECT_FALSE(edit(d, ID_COMMAND)->isEnabled());

        connect_window(d);
        EXPECT_EQ(button(d, ID_CONNECT)->text(), QStringLiteral("Disconnect"));
        EXPECT_FALSE(port->isEnabled());
        EXPECT_TRUE(edit(d, ID_COMMAND)->isEnabled());
        std::string ini = settings_text();
        for (std::string line : {"Port=" + std::to_string(port_), std::string("Baud=115200"), std::string("Startup=")})
            EXPECT_NE(ini.find(line + "\n"), std::string::npos) << line << " in\n" << ini;

        type_command(d, "");
        press_enter(d);  // an empty line sends nothing
        expect_log(d, {});

        type_command(d, "echo hello");
        press_enter(d);
        expect_log(d, {"echo hello", "hello"});
        EXPECT_EQ(edit(d, ID_COMMAND)->text(), QString());
        EXPECT_TRUE(edit(d, ID_COMMAND)->isEnabled());
        // Up recalls the command typed before, Down past it gives an empty line.
        QTest::keyClick(edit(d, ID_COMMAND), Qt::Key_Up);
        EXPECT_EQ(edit(d, ID_COMMAND)->text(), QStringLiteral("echo hello"));
        QTest::keyClick(edit(d, ID_COMMAND), Qt::Key_Down);
        EXPECT_EQ(edit(d, ID_COMMAND)->text(), QString());
        EXPECT_TRUE(button(d, ID_CONNECT)->isEnabled());
    });
}

// Escape during the reset ends the program before anything reaches the controller.
TEST_F(WindowTest, EscapeDuringTheResetSendsNothing) {
    run_app([&](QDialog* d) {
        auto during = when([d] { return !button(d, ID_CONNECT)->isEnabled(); },
                           [d] { QTest::keyClick(d, Qt::Key_Escape); }, "the reset");
        click(button(d, ID_CONNECT));
        EXPECT_TRUE(*during);
    });
    // Once the simulator has seen the port closed, nothing more can reach it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return sim_log(&sim_).find("peer closed") != std::string::npos; }, 5000))
        << sim_log(&sim_);
    EXPECT_EQ(sim_log(&sim_).find("|A|"), std::string::npos) << sim_log(&sim_);
}

TEST_F(WindowTest, PauseContinueAndStopALongCommand) {
    run_app([&](QDialog* d) {
        connect_window(d);
        type_command(d, "run 60000");
        auto inside = when([d] { return button(d, ID_STOP)->isEnabled(); },
                           [&] {
                               EXPECT_FALSE(edit(d, ID_COMMAND)->isEnabled());
                               EXPECT_EQ(edit(d, ID_COMMAND)->text(), QStringLiteral("run 60000"));
                               EXPECT_TRUE(button(d, ID_CONNECT)->isEnabled());  // Disconnect stays live
                               EXPECT_FALSE(button(d, ID_SEND_FILE)->isEnabled());
                               expect_log(d, {"run 60000"});
                               QPushButton* pause = button(d, ID_PAUSE);
                               EXPECT_TRUE(pause->isEnabled());
                               click(pause);
                               EXPECT_EQ(pause->text(), QStringLiteral("Continue"));
                               wait_until([&] { return sim_log(&sim_).find("ctrl 02") != std::string::npos; },
                                          "the pause byte");
                               click(pause);
                               EXPECT_EQ(pause->text(), QStringLiteral("Pause"));
                               click(button(d, ID_STOP));
                           },
                           "the command to start");
        QElapsedTimer clock;
        clock.start();
        press_enter(d);
        EXPECT_TRUE(*inside);
        EXPECT_LT(clock.elapsed(), 10000);  // ended by Stop, not by the 60 s
        expect_log(d, {"run 60000", "stopped"});
        EXPECT_EQ(button(d, ID_PAUSE)->text(), QStringLiteral("Pause"));
        EXPECT_FALSE(button(d, ID_PAUSE)->isEnabled());
        EXPECT_FALSE(button(d, ID_STOP)->isEnabled());
        EXPECT_TRUE(edit(d, ID_COMMAND)->isEnabled());
        std::string log = sim_log(&sim_);
        size_t p = log.find("ctrl 02"), c = log.find("ctrl 03"), s = log.find("ctrl 01");
        EXPECT_TRUE(p != std::string::npos && c != std::string::npos && s != std::string::npos && p < c && c < s)
            << log;
    });
}

TEST_F(WindowTest, StatusReportWhileACommandRuns) {
    run_app([&](QDialog* d) {
        EXPECT_EQ(report(d), QStringLiteral("No Data"));
        connect_window(d);
        type_command(d, "move x 100000 2000");
        QString during;
        auto inside = when([d] { return button(d, ID_STOP)->isEnabled(); }, [&] { during = report(d); },
                           "the move to start");
        press_enter(d);
        EXPECT_TRUE(*inside);
        // The report went out and came back inside the move's wait without touching its reply.
        expect_log(d, {"move x 100000 2000", "done"});
        QRegularExpression values(QStringLiteral("^Q=-?\\d+, X=(-?\\d+), Y=0, Z=0, W=0$"));
        QRegularExpressionMatch m = values.match(during);
        ASSERT_TRUE(m.hasMatch()) << during.toStdString();
        int x = m.captured(1).toInt();
        EXPECT_GE(x, 0);
        EXPECT_LT(x, 100000);  // asked mid-way
        QString after = report(d);
        EXPECT_EQ(values.match(after).captured(1), QStringLiteral("100000")) << after.toStdString();
    });
}

TEST_F(WindowTest, ExitWhileACommandWaits) {
    run_app([&](QDialog* d) {
        connect_window(d);
        type_command(d, "run 60000");
        QString question;
        auto inside = when(
            [d] { return button(d, ID_STOP)->isEnabled(); },
            [&] {
                // No leaves everything as it was; Yes disconnects and ends the window.
                for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
                    when([] { return message_box("Exit") != nullptr; },
                         [&question, answer] {
                             QMessageBox* box = message_box("Exit");
                             question = box->text();
                             click(box->button(answer));
                         },
                         "the exit question");
                    QTest::keyClick(d, Qt::Key_Escape);
                    if (answer == QMessageBox::No) {
                        EXPECT_TRUE(d->isVisible());
                        EXPECT_TRUE(button(d, ID_STOP)->isEnabled());
                        EXPECT_EQ(session.connected, 1);
                        EXPECT_EQ(sim_log(&sim_).find("ctrl 01"), std::string::npos);
                    }
                }
            },
            "the command to start");
        QElapsedTimer clock;
        clock.start();
        press_enter(d);  // returns once the exit has failed the waiting exchange
        EXPECT_TRUE(*inside);
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_EQ(question, QStringLiteral("Target is still connected\n\nDisconnect and exit ZORVTalk?"));
        EXPECT_FALSE(d->isVisible());
    });
    // The running command was stopped on the way out.
    EXPECT_TRUE(wait_until([&] { return sim_log(&sim_).find("ctrl 01") != std::string::npos; }, "the stop byte"))
        << sim_log(&sim_);
}

TEST_F(WindowTest, ResizeKeepsRowsCentredAndGrowsTheLog) {
    run_app([&](QDialog* d) {
        std::vector<std::pair<QWidget*, QRect>> designed;
        for (QWidget* w : d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (w->property("zorv_id").isValid()) designed.emplace_back(w, w->geometry());
        ASSERT_EQ(designed.size(), static_cast<size_t>(MAIN_DIALOG.count));
        QWidget* log = control(d, ID_LOG);
        QRect log0 = log->geometry();
        QSize size0 = d->size();

        d->resize(size0 + QSize(100, 60));
        ASSERT_TRUE(wait_until([&] { return log->geometry() != log0; }, "the layout after growing"));
        EXPECT_EQ(d->size(), size0 + QSize(100, 60));
        for (auto& [w, r] : designed) {
            SCOPED_TRACE(w->property("zorv_id").toInt());
            QRect expected = w == log                  ? r.adjusted(0, 0, 100, 60)
                             : r.bottom() < log0.top() ? r.translated(50, 0)
                                                       : r.translated(50, 60);
            EXPECT_EQ(w->geometry(), expected);
        }
        auto designed_rect = [&](int id) {
            for (auto& [w, r] : designed)
                if (w == control(d, id)) return r;
            return QRect();
        };
        EXPECT_EQ(control(d, ID_STOP)->geometry(), designed_rect(ID_STOP).translated(50, 60));
        EXPECT_EQ(control(d, ID_CONNECT)->geometry(), designed_rect(ID_CONNECT).translated(50, 0));

        d->resize(size0);
        ASSERT_TRUE(wait_until([&] { return log->geometry() == log0; }, "the layout after shrinking"));
        for (auto& [w, r] : designed) EXPECT_EQ(w->geometry(), r) << w->property("zorv_id").toInt();
    });
}

// At its smallest the window cuts nothing: every control inside, none over another,
// each caption whole (the longest a button ever shows included).
TEST_F(WindowTest, SmallestWindowClipsNothing) {
    run_app([&](QDialog* d) {
        QSize designed = d->size();
        d->resize(1, 1);
        QSize smallest = d->size();
        EXPECT_EQ(smallest, d->minimumSize());
        EXPECT_LT(smallest.height(), designed.height() * 2 / 3);
        QWidget* stop = control(d, ID_STOP);
        ASSERT_TRUE(wait_until([&] { return stop->geometry().bottom() < smallest.height(); }, "the layout"));

        std::vector<QWidget*> controls;
        for (QWidget* w : d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (w->property("zorv_id").isValid()) controls.push_back(w);
        ASSERT_EQ(controls.size(), static_cast<size_t>(MAIN_DIALOG.count));
        for (size_t i = 0; i < controls.size(); ++i) {
            QRect r = controls[i]->geometry();
            EXPECT_TRUE(d->rect().contains(r)) << i;
            for (size_t j = i + 1; j < controls.size(); ++j)
                EXPECT_FALSE(r.intersects(controls[j]->geometry())) << i << " and " << j;
        }
        const struct {
            int id;  // -1: the label with that text
            const char* texts[2];
        } captions[] = {{ID_CONNECT, {"Connect", "Disconnect"}}, {ID_PAUSE, {"Pause", "Continue"}},
                        {ID_STOP, {"Stop", "Stop"}},             {ID_SEND_FILE, {"Send File", "Send File"}},
                        {ID_CHOOSE_STARTUP, {"...", "..."}},     {-1, {"Port:", "Baud:"}},
                        {-1, {"Startup:", "Startup:"}}};
        for (const auto& c : captions) {
            for (const char* text : c.texts) {
                QRect room;
                QFontMetrics fm(d->font());
                if (c.id > 0) {
                    auto* b = button(d, c.id);
                    QStyleOptionButton option;
                    option.initFrom(b);
                    option.text = QString::fromUtf8(text);
                    room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b);
                } else {
                    for (QLabel* l : d->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
                        if (l->text() == QLatin1String(text)) room = l->contentsRect();
                }
                EXPECT_LE(fm.horizontalAdvance(QString::fromUtf8(text)), room.width()) << text;
                EXPECT_LE(fm.height(), room.height()) << text;
            }
        }
    });
}

// An adapter that came after the start (here a new [Ports] line) is listed once the
// box opens, whole however long; the text in the box stays.
TEST_F(WindowTest, PortBoxListedAfreshWhenOpened) {
    run_app([&](QDialog* d) {
        auto* port = control_as<QComboBox>(d, ID_PORT);
        ASSERT_NE(port, nullptr);
        const QString entry = QStringLiteral("COM250 (/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5XK3RJH-if00-port0)");
        EXPECT_EQ(port->findText(entry), -1);
        {
            QFile f(QString::fromStdString(ini_));
            ASSERT_TRUE(f.open(QIODevice::Append));
            f.write("[Ports]\nCOM250=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5XK3RJH-if00-port0\n");
        }
        port->showPopup();
        EXPECT_GE(port->findText(entry), 0);
        EXPECT_EQ(port->currentText(), QStringLiteral("COM%1").arg(port_));
        EXPECT_GE(port->view()->viewport()->width(), port->view()->fontMetrics().horizontalAdvance(entry));
        port->hidePopup();
    });
}

TEST_F(WindowTest, PinPanelWritesDataAndShowsTheLoopback) {
    run_app([&](QDialog* d) {
        connect_window(d);
        auto inside = when(
            [] { return pin_panel() != nullptr; },
            [&] {
                QDialog* p = pin_panel();
                // The first reading: control 0x00 shows as level 0x0B (pins 1, 14, 17
                // inverted), data 0x00, status 0x80 as level 0x00.
                ASSERT_TRUE(wait_until([p] { return check_box(p, 1010)->isChecked(); }, "the first reading"));
                const struct {
                    int id;
                    bool checked;
                } first[] = {{1010, true}, {1023, true}, {1025, false}, {1026, true}, {1011, false},
                             {1018, false}, {1020, false}, {1024, false}, {1035, false}};
                for (const auto& b : first) EXPECT_EQ(check_box(p, b.id)->isChecked(), b.checked) << b.id;

                click(check_box(p, 1011));  // Data0, pin 2
                EXPECT_TRUE(check_box(p, 1011)->isChecked());
                // Data bit 0 loops back to status bit 3 (pin 15, not inverted).
                wait_until([p] { return check_box(p, 1024)->isChecked(); }, "status 3 following data 0");
                EXPECT_TRUE(check_box(p, 1011)->isChecked());
                EXPECT_FALSE(check_box(p, 1020)->isChecked());

                click(button(d, ID_CONNECT));  // "Disconnect" behind the modal panel
                EXPECT_EQ(session.connected, 1);

                QElapsedTimer clock;
                clock.start();
                QTest::keyClick(p, Qt::Key_Escape);
                EXPECT_GE(clock.elapsed(), 190);  // the closing pause
                EXPECT_FALSE(p->isVisible());
            },
            "the pin panel");
        QAction* item = menu_item(d, "ZORV as &LPT");
        ASSERT_NE(item, nullptr);
        item->trigger();  // returns when the panel has closed
        EXPECT_TRUE(*inside);
        EXPECT_EQ(pin_panel(), nullptr);

        type_command(d, "pins");
        press_enter(d);
        expect_log(d, {"pins", "data=01 status=88 control=00"});
    });
}

TEST_F(WindowTest, SendFileRunsEveryLine) {
    QString path = dir_.filePath(QStringLiteral("commands.txt"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("echo one\nok\r\necho three");  // LF, CR LF and no final line end
    }
    run_app([&](QDialog* d) {
        connect_window(d);
        QString title;
        auto chosen = when([] { return top_level<QFileDialog>([](QFileDialog*) { return true; }) != nullptr; },
                           [&] {
                               QFileDialog* fd = top_level<QFileDialog>([](QFileDialog*) { return true; });
                               title = fd->windowTitle();
                               fd->selectFile(path);
                               static_cast<QDialog*>(fd)->accept();  // QFileDialog checks the name
                           },
                           "the file chooser");
        click(button(d, ID_SEND_FILE));  // returns once the file has run
        EXPECT_TRUE(*chosen);
        EXPECT_EQ(title, QStringLiteral("Choose File to Execute"));
        expect_log(d, {"echo one", "one", "ok", "ok", "echo three", "three"});
        EXPECT_TRUE(edit(d, ID_COMMAND)->isEnabled());
        EXPECT_TRUE(button(d, ID_SEND_FILE)->isEnabled());
        EXPECT_TRUE(button(d, ID_CONNECT)->isEnabled());
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    test_runtime_dir();
    QApplication app(argc, argv);
    ui_init();
    ::testing::InitGoogleTest(&argc, argv);
    watchdog_arm(100);
    return RUN_ALL_TESTS();
}
