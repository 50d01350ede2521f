// Recursive locks for the link on Win32: a critical section may be entered again by
// the thread that holds it, which is what nested handlers inside a wait need.
#include "platform/lock.h"

#include <windows.h>

#include <new>

struct PlatformLock {
    CRITICAL_SECTION section;
};

PlatformLock* lock_create() {
    PlatformLock* lock = new (std::nothrow) PlatformLock;
    if (lock) InitializeCriticalSection(&lock->section);
    return lock;
}

void lock_enter(PlatformLock* lock) {
    if (lock) EnterCriticalSection(&lock->section);
}

void lock_leave(PlatformLock* lock) {
    if (lock) LeaveCriticalSection(&lock->section);
}

void lock_destroy(PlatformLock* lock) {
    if (!lock) return;
    DeleteCriticalSection(&lock->section);
    delete lock;
}
