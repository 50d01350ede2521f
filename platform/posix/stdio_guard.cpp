// Descriptors 0-2 on /dev/null when closed, so that no later open lands on them.
#include "platform/stdio_guard.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

// open() takes the lowest free number, which is fd as the lower ones are open by
// now; anything else is moved there.
// Read-only: a write to a stream that was closed still fails (EBADF), as it would
// have, so a program learns that its output goes nowhere.
bool fill(int fd) {
    int got = open("/dev/null", O_RDONLY);
    // Without /dev/null (a bare chroot) the root folder holds the slot: reads and
    // writes on it fail, and no device can land there.
    if (got < 0) got = open("/", O_RDONLY | O_DIRECTORY);
    if (got < 0) return false;
    if (got == fd) return true;
    bool ok = dup2(got, fd) == fd;
    close(got);
    return ok;
}

}  // namespace

int stdio_guard() {
    int ok = 1;
    for (int fd = 0; fd <= 2; ++fd)
        if (!is_open(fd) && !fill(fd)) ok = 0;
    return ok;
}
