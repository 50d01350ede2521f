// The link's dispatch and idle-wait hooks on the Qt event loop: what is pending runs
// at once, and an idle wait blocks on events with a wake-up timer, never spinning.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "platform/dispatch.h"
#include "platform/ui.h"

namespace {

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

void ui_init() {
    platform_set_dispatch(qt_dispatch);
    platform_set_idle_wait(qt_idle_wait);
}
