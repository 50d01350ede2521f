// The TargetLink record's lifetime: closing, and the guard that keeps a closed record
// alive until the last operation on the stack returns. The only code that frees one.
// Kept apart from the operations: an optimiser that inlines the guard's release into
// them would see a delete followed by the caller's next use of its pointer.
#include "link/link_internal.h"

namespace {

void free_record(TargetLink* link) {
    lock_destroy(link->io_lock);
    lock_destroy(link->exchange_lock);
    lock_destroy(link->report_lock);
    delete link;
}

}  // namespace

LinkUse::LinkUse(TargetLink* link) : link_(link) {
    if (link_) ++link_->uses;
}

LinkUse::~LinkUse() {
    if (link_ && --link_->uses == 0 && link_->closed) free_record(link_);
}

bool LinkUse::ok() const { return link_ && !link_->closed && link_->port_handle; }

void link_close(TargetLink** link) {
    if (!link || !*link) return;
    TargetLink* l = *link;
    *link = nullptr;
    if (l->closed) return;
    l->closed = 1;
    serial_close(l->port_handle);
    l->port_handle = nullptr;
    l->peeked = -1;
    if (l->uses == 0) free_record(l);
}
