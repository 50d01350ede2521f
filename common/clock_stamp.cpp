#include "common/clock_stamp.h"

#include <climits>
#include <cstdio>
#include <ctime>

int clock_stamp(int64_t ms, bool with_date, char* buf, int size) {
    if (!buf || size <= 0) return 0;
    buf[0] = '\0';
    // Rounded down, also before 1970, without overflowing at the far ends.
    int milli = static_cast<int>(ms % 1000);
    int64_t seconds = ms / 1000;
    if (milli < 0) {
        milli += 1000;
        --seconds;
    }
    // Saving a long log converts a million times; rows come many to a second.
    thread_local int64_t cached_second = INT64_MIN;
    thread_local std::tm cached = {};
    if (seconds != cached_second) {
        std::time_t t = static_cast<std::time_t>(seconds);
        std::tm* local = std::localtime(&t);
        if (!local) return 0;
        cached = *local;
        cached_second = seconds;
    }
    int n = with_date ? std::snprintf(buf, static_cast<size_t>(size), "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                                      cached.tm_year + 1900, cached.tm_mon + 1, cached.tm_mday, cached.tm_hour,
                                      cached.tm_min, cached.tm_sec, milli)
                      : std::snprintf(buf, static_cast<size_t>(size), "%02d:%02d:%02d.%03d", cached.tm_hour,
                                      cached.tm_min, cached.tm_sec, milli);
    if (n < 0 || n >= size) {
        buf[0] = '\0';
        return 0;
    }
    return n;
}
