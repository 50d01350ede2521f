// Recursive locks on top of the standard library (also used by MinGW posix builds).
#include "platform/lock.h"

#include <mutex>
#include <new>

struct PlatformLock {
    std::recursive_mutex mutex;
};

PlatformLock* lock_create() { return new (std::nothrow) PlatformLock(); }

void lock_enter(PlatformLock* lock) {
    if (lock) lock->mutex.lock();
}

void lock_leave(PlatformLock* lock) {
    if (lock) lock->mutex.unlock();
}

void lock_destroy(PlatformLock* lock) { delete lock; }
