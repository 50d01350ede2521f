// The local clock time both front ends put before a row or a line.
#pragma once

#include <cstdint>

// "14:03:07.250" (with_date: "2026-12-09 14:03:07.250") in local time for ms since
// the epoch, into buf. Returns its length; 0 and an empty buf when it does not fit or
// the time has no local date.
int clock_stamp(int64_t ms, bool with_date, char* buf, int size);
