// Decimal numbers read out of texts people type and files hold ("COM5", "9600 baud",
// a settings value). Header only: the link reads its connect string with it too.
#pragma once

#include <cstdint>

// A run of decimal digits: where it ends, and its value when that is within the limit.
struct DigitRun {
    const char* end;  // just past the last digit; where reading began when there is none
    int64_t value;    // 0 when there is no digit or the run passes the limit
    bool fits;        // false: the run passes the limit (value 0)
};

inline bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits at the start of text (limit at most 2^62). A run past the limit
// is still read to its end, so what follows it is not taken for another number.
inline DigitRun read_digits(const char* text, int64_t limit = INT32_MAX) {
    DigitRun run{text, 0, true};
    if (!text) return run;
    for (; is_decimal_digit(*run.end); ++run.end) {
        if (!run.fits) continue;
        run.value = run.value * 10 + (*run.end - '0');
        if (run.value > limit) {
            run.fits = false;
            run.value = 0;
        }
    }
    return run;
}

// Skips to the first digit in text, then reads as read_digits does.
inline DigitRun read_first_digits(const char* text, int64_t limit = INT32_MAX) {
    if (!text) return read_digits(text, limit);
    while (*text && !is_decimal_digit(*text)) ++text;
    return read_digits(text, limit);
}

// The first number in text, 0 when there is none or it passes 31 bits: a port or a
// rate with too many digits is refused, never wrapped into another.
inline int32_t number_in_text(const char* text) { return static_cast<int32_t>(read_first_digits(text).value); }
