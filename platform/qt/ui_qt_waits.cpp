// The link's dispatch and event-wait hooks on the Qt event loop: what is pending runs
// at once, and a wait sleeps in the loop until the port's descriptor turns readable,
// an event arrives or the deadline is due, never spinning.
#include <poll.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <climits>

#include "platform/dispatch.h"
#include "platform/ui.h"

namespace {

QTimer* g_wake = nullptr;
QSocketNotifier* g_port = nullptr;  // watches the port's descriptor during a wait

// Runs what is pending without blocking; 1 when anything ran.
int qt_dispatch() {
    if (!QCoreApplication::instance()) return 0;
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    if (!d) return 0;
    return d->processEvents(QEventLoop::AllEvents) ? 1 : 0;
}

// The notifier for fd, made once per descriptor. It switches itself off when it
// fires: input nobody has read yet must not keep waking a loop that runs meanwhile
// (a box opened by a handler inside the wait).
QSocketNotifier* port_notifier(int fd) {
    if (g_port && g_port->socket() != fd) {
        delete g_port;
        g_port = nullptr;
    }
    if (!g_port) {
        g_port = new QSocketNotifier(fd, QSocketNotifier::Read);
        g_port->setEnabled(false);
        QObject::connect(g_port, &QSocketNotifier::activated, g_port, [] { g_port->setEnabled(false); });
    }
    return g_port;
}

// Blocks in the event loop until the port's descriptor is readable (input or a
// hang-up), an event arrives and has run, or ms pass. One precise timer is re-armed
// for deadlines, never re-created; a wait without one sets no timer at all.
void qt_wait(intptr_t handle, uint32_t ms) {
    int timeout = ms == PLATFORM_WAIT_FOREVER ? -1 : ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
    QAbstractEventDispatcher* d = QCoreApplication::instance() ? QAbstractEventDispatcher::instance() : nullptr;
    if (!d) {  // no event loop: the descriptor alone
        pollfd pfd{static_cast<int>(handle), POLLIN, 0};
        ::poll(&pfd, handle == PLATFORM_NO_HANDLE ? 0 : 1, timeout);
        return;
    }
    QSocketNotifier* port = handle == PLATFORM_NO_HANDLE ? nullptr : port_notifier(static_cast<int>(handle));
    bool was_enabled = port && port->isEnabled();  // a wait further up the stack watches it too
    if (port) port->setEnabled(true);
    if (timeout >= 0) {
        if (!g_wake) {
            g_wake = new QTimer();
            g_wake->setSingleShot(true);
            g_wake->setTimerType(Qt::PreciseTimer);
        }
        g_wake->start(timeout);
    }
    d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (timeout >= 0 && g_wake) g_wake->stop();
    // A handler that ran may have closed the port and another wait replaced the
    // notifier: touch only the one that is current.
    if (g_port && g_port == port) g_port->setEnabled(was_enabled);
}

}  // namespace

void ui_init() {
    platform_set_dispatch(qt_dispatch);
    platform_set_wait(qt_wait);
}
