// The live status readings: a ring of timestamped reports and their CSV text. Both
// front ends keep and write readings through these; no window or OS call here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One report as taken in. mono_ms orders and spaces the readings (a clock that never
// jumps); wall_ms (milliseconds since 1970-01-01 UTC) is what the CSV shows.
struct Sample {
    uint64_t mono_ms = 0;
    int64_t wall_ms = 0;
    int16_t q = 0;
    int32_t x = 0, y = 0, z = 0, w = 0;
};

// The last readings, oldest first; a full ring drops its oldest.
struct SampleRing {
    std::vector<Sample> buffer;
    size_t first = 0;  // index of the oldest reading in buffer
    size_t count = 0;
};

// Enough for 60 s at the fastest sampling (50 ms) with room to spare.
constexpr size_t SAMPLES_DEFAULT_CAPACITY = 2048;

// Empties the ring and sizes it for capacity readings (at least 1). 0 for a null ring.
int samples_init(SampleRing* ring, size_t capacity);
// Forgets every reading, keeping the capacity.
void samples_clear(SampleRing* ring);
// Appends a reading, dropping the oldest when full. A reading older (mono_ms) than the
// newest is refused, so the ring stays in time order: 1 when kept, else 0.
int samples_add(SampleRing* ring, const Sample* sample);
// Readings held; 0 for a null ring.
size_t samples_count(const SampleRing* ring);
// The i-th reading, 0 the oldest; nullptr past the end or for a null ring.
const Sample* samples_at(const SampleRing* ring, size_t i);
// The index of the oldest reading at or after mono_ms (samples_count when none).
size_t samples_first_since(const SampleRing* ring, uint64_t mono_ms);

// The CSV header line, without a line end.
extern const char SAMPLES_CSV_HEADER[];  // "time,q,x,y,z,w"
// "2026-12-09T11:00:30.123Z": ISO 8601, UTC, milliseconds. Years past 9999 or
// before 0 are clamped to those ends. Returns the length written (size must be at
// least 32), 0 when buffer or size is short.
size_t samples_iso_time(int64_t wall_ms, char* buffer, size_t size);
// One CSV line for the reading, without a line end; the length, 0 when it does not fit
// (size 96 always fits).
size_t samples_csv_line(const Sample* sample, char* buffer, size_t size);
// The header and every reading, each line ended by LF: a whole CSV file.
std::string samples_csv_text(const SampleRing* ring);
