// The command log's rows and the texts made from them.
#include "console/log_model.h"

#include <cstdio>
#include <cstring>

#include "common/clock_stamp.h"

namespace {

bool has_row(const LogModel& m, int row) { return row >= 0 && static_cast<size_t>(row) < m.texts.size(); }

char kind_marker(LogRowKind kind) {
    switch (kind) {
        case LOG_COMMAND: return '>';
        case LOG_REPLY: return '<';
        case LOG_FAILED: return '!';
        default: return '#';
    }
}

// Where a tip line that starts at `at` ends: LOG_TIP_LINE bytes on, moved back to the
// start of a character so that none is split (a byte that is no UTF-8 stays alone).
size_t tip_line_end(const std::string& text, size_t at) {
    size_t end = at + LOG_TIP_LINE;
    if (end >= text.size()) return text.size();
    size_t back = end;
    while (back > at + 1 && end - back < 3 && (static_cast<unsigned char>(text[back]) & 0xC0) == 0x80) --back;
    return (static_cast<unsigned char>(text[back]) & 0xC0) == 0x80 ? end : back;
}

}  // namespace

int log_model_count(const LogModel& m) { return static_cast<int>(m.texts.size()); }

int log_model_insert(LogModel* m, int at, const char* text, LogRowKind kind, int64_t ms) {
    if (!m) return -1;
    int count = log_model_count(*m);
    if (at < 0 || at > count) at = count;
    size_t i = static_cast<size_t>(at);
    if (i < m->times.size() && m->times[i] < ms) ms = m->times[i];
    m->texts.insert(m->texts.begin() + at, text ? text : "");
    m->kinds.insert(m->kinds.begin() + at, kind);
    m->times.insert(m->times.begin() + at, ms);
    return at;
}

void log_model_clear(LogModel* m) {
    if (!m) return;
    std::vector<std::string>().swap(m->texts);
    std::vector<uint8_t>().swap(m->kinds);
    std::vector<int64_t>().swap(m->times);
}

const std::string& log_model_text(const LogModel& m, int row) {
    static const std::string none;
    return has_row(m, row) ? m.texts[static_cast<size_t>(row)] : none;
}

LogRowKind log_model_kind(const LogModel& m, int row) {
    if (!has_row(m, row)) return (row & 1) ? LOG_REPLY : LOG_COMMAND;
    return static_cast<LogRowKind>(m.kinds[static_cast<size_t>(row)]);
}

int64_t log_model_time(const LogModel& m, int row) { return has_row(m, row) ? m.times[static_cast<size_t>(row)] : 0; }

void log_model_shown(const LogModel& m, int row, std::string* out) {
    out->clear();
    if (!has_row(m, row)) return;
    char stamp[32];
    int64_t ms = log_model_time(m, row);
    if (m.show_times && ms && clock_stamp(ms, false, stamp, sizeof stamp) > 0) {
        *out += stamp;
        *out += "  ";
    }
    *out += m.texts[static_cast<size_t>(row)];
}

void log_model_tip(const LogModel& m, int row, int text_px, int column_px, const char* line_end, std::string* out) {
    out->clear();
    if (!has_row(m, row)) return;
    // The date too: a long session runs past midnight.
    char stamp[32];
    int64_t ms = log_model_time(m, row);
    if (ms && clock_stamp(ms, true, stamp, sizeof stamp) > 0) *out = stamp;
    if (text_px <= column_px - LOG_TIP_MARGIN_PX) return;
    const std::string& text = m.texts[static_cast<size_t>(row)];
    for (size_t at = 0, end; at < text.size(); at = end) {
        end = tip_line_end(text, at);
        if (!out->empty()) *out += line_end;
        out->append(text, at, end - at);
    }
}

void log_model_copy_text(const LogModel& m, const std::vector<int>& rows, const char* line_end, std::string* out) {
    out->clear();
    std::string shown;
    for (int row : rows) {
        if (!has_row(m, row)) continue;
        log_model_shown(m, row, &shown);
        if (!out->empty()) *out += line_end;
        *out += shown;
    }
}

void log_model_file_line(std::string* out, int64_t ms, LogRowKind kind, const char* text, size_t length,
                         const char* line_end, char (&stamp)[32]) {
    if (clock_stamp(ms, true, stamp, sizeof stamp) <= 0) std::snprintf(stamp, sizeof stamp, "-");
    *out += stamp;
    *out += ' ';
    *out += kind_marker(kind);
    *out += ' ';
    size_t start = out->size();
    if (text) out->append(text, length);
    for (size_t i = start; i < out->size(); ++i)
        if ((*out)[i] == '\r' || (*out)[i] == '\n') (*out)[i] = ' ';
    *out += line_end;
}

std::string log_model_file_text(const LogModel& m, const char* line_end) {
    std::string out;
    char stamp[32];
    for (int i = 0; i < log_model_count(m); ++i) {
        const std::string& text = m.texts[static_cast<size_t>(i)];
        log_model_file_line(&out, m.times[static_cast<size_t>(i)], log_model_kind(m, i), text.data(), text.size(),
                            line_end, stamp);
    }
    return out;
}
