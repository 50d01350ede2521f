// The ring of live status readings and their CSV form.
#include "common/samples.h"

#include <cstdio>

const char SAMPLES_CSV_HEADER[] = "time,q,x,y,z,w";

int samples_init(SampleRing* ring, size_t capacity) {
    if (!ring) return 0;
    ring->buffer.assign(capacity ? capacity : 1, Sample());
    ring->first = 0;
    ring->count = 0;
    return 1;
}

void samples_clear(SampleRing* ring) {
    if (!ring) return;
    ring->first = 0;
    ring->count = 0;
}

size_t samples_count(const SampleRing* ring) { return ring ? ring->count : 0; }

const Sample* samples_at(const SampleRing* ring, size_t i) {
    if (!ring || i >= ring->count || ring->buffer.empty()) return nullptr;
    return &ring->buffer[(ring->first + i) % ring->buffer.size()];
}

int samples_add(SampleRing* ring, const Sample* sample) {
    if (!ring || !sample) return 0;
    if (ring->buffer.empty()) samples_init(ring, SAMPLES_DEFAULT_CAPACITY);
    if (ring->count && sample->mono_ms < samples_at(ring, ring->count - 1)->mono_ms) return 0;
    const size_t n = ring->buffer.size();
    if (ring->count == n) {
        ring->buffer[ring->first] = *sample;
        ring->first = (ring->first + 1) % n;
    } else {
        ring->buffer[(ring->first + ring->count) % n] = *sample;
        ++ring->count;
    }
    return 1;
}

size_t samples_first_since(const SampleRing* ring, uint64_t mono_ms) {
    // Readings are in time order: a binary search keeps a redraw cheap with a full ring.
    size_t lo = 0, hi = samples_count(ring);
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (samples_at(ring, mid)->mono_ms < mono_ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian), without the C
// library's time zone or range limits.
void civil_from_days(int64_t days, int64_t* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = yoe + era * 400 + (*month <= 2 ? 1 : 0);
}

}  // namespace

size_t samples_iso_time(int64_t wall_ms, char* buffer, size_t size) {
    if (!buffer || size < 32) return 0;
    // 0000-01-01 and 9999-12-31T23:59:59.999 keep the text four digits of year.
    const int64_t MIN_MS = -62167219200000LL, MAX_MS = 253402300799999LL;
    if (wall_ms < MIN_MS) wall_ms = MIN_MS;
    if (wall_ms > MAX_MS) wall_ms = MAX_MS;
    int64_t ms = wall_ms % 1000, secs = wall_ms / 1000;
    if (ms < 0) {
        ms += 1000;
        --secs;
    }
    int64_t days = secs / 86400, rest = secs % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int64_t year = 0;
    int month = 0, day = 0;
    civil_from_days(days, &year, &month, &day);
    int n = std::snprintf(buffer, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", static_cast<int>(year), month, day,
                          static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60),
                          static_cast<int>(ms));
    return n > 0 && static_cast<size_t>(n) < size ? static_cast<size_t>(n) : 0;
}

size_t samples_csv_line(const Sample* sample, char* buffer, size_t size) {
    if (!sample || !buffer || size == 0) return 0;
    char time[32];
    if (!samples_iso_time(sample->wall_ms, time, sizeof time)) return 0;
    int n = std::snprintf(buffer, size, "%s,%d,%ld,%ld,%ld,%ld", time, static_cast<int>(sample->q),
                          static_cast<long>(sample->x), static_cast<long>(sample->y), static_cast<long>(sample->z),
                          static_cast<long>(sample->w));
    if (n <= 0 || static_cast<size_t>(n) >= size) {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n);
}

std::string samples_csv_text(const SampleRing* ring) {
    std::string text = SAMPLES_CSV_HEADER;
    text += '\n';
    char line[96];
    for (size_t i = 0; i < samples_count(ring); ++i) {
        if (samples_csv_line(samples_at(ring, i), line, sizeof line)) {
            text += line;
            text += '\n';
        }
    }
    return text;
}
