// Recursive locks for the link: a nested handler on the owning thread may take a
// lock it already holds; other threads are excluded.
#pragma once

struct PlatformLock;

// A new unlocked recursive lock, or nullptr when memory runs out.
PlatformLock* lock_create();
// Blocks until the calling thread holds the lock (immediately if it already does).
void lock_enter(PlatformLock* lock);
// Releases one take; null is ignored.
void lock_leave(PlatformLock* lock);
// Destroys an unheld lock; null is ignored.
void lock_destroy(PlatformLock* lock);
