// Sampling for zorvtalk-cli --watch. Readings are looked at, never taken in, from
// the dispatch hook: the waiting exchange (or the watch's own wait) takes the report
// in at the head of the input, where it cannot be confused with a reply.
#include "cli/cli_watch.h"

#include <cerrno>
#include <chrono>
#include <cstdint>

#include "common/samples.h"
#include "link/link.h"

namespace {

int64_t wall_now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void print_reading(CliWatch* watch, FILE* out, const Sample& s) {
    char line[96];
    errno = 0;
    if (samples_csv_line(&s, line, sizeof line)) {
        std::fputs(line, out);
        std::fputc('\n', out);
    }
    // A reader at the other end of a pipe wants each reading as it comes; once it has
    // gone, watching on would only spin.
    if (std::fflush(out) != 0 || std::ferror(out)) {
        if (!watch->output_failed) watch->write_error = errno ? errno : EIO;
        watch->output_failed = true;
    }
    ++watch->printed;
}

// A reading came (or watching ended): the outage, if one ran, is over and to be said.
void end_outage(CliWatch* watch) {
    watch->outage_ended += watch->missed;
    watch->missed = 0;
}

}  // namespace

void cli_watch_start(CliWatch* watch, uint32_t period_ms, long limit, uint64_t now, FILE* out) {
    *watch = CliWatch();
    // A run that ends before its first reading still leaves a well-formed CSV.
    std::fputs(SAMPLES_CSV_HEADER, out);
    std::fputc('\n', out);
    std::fflush(out);
    watch->active = true;
    watch->period_ms = period_ms ? period_ms : 1;
    watch->limit = limit > 0 ? limit : 0;
    watch->due = now;
}

void cli_watch_stop(CliWatch* watch) {
    if (watch->active) end_outage(watch);
    watch->active = false;
    watch->asked = false;
}

int cli_watch_done(const CliWatch* watch) {
    return watch->output_failed || (watch->limit && watch->printed >= watch->limit) ? 1 : 0;
}

int cli_watch_poll(CliWatch* watch, TargetLink* link, uint64_t now, FILE* out) {
    if (!watch->active) return 0;
    if (cli_watch_done(watch)) return 1;
    if (watch->asked && !link_report_outstanding(link)) {
        watch->asked = false;
        Sample s;
        s.mono_ms = now;
        s.wall_ms = wall_now_ms();
        // A report whose body failed leaves no values: that reading is missed and the
        // next period asks again.
        if (link_report_values(link, &s.q, &s.x, &s.y, &s.z, &s.w)) {
            end_outage(watch);
            print_reading(watch, out, s);
        } else {
            ++watch->missed;
        }
        if (cli_watch_done(watch)) return 1;
    } else if (watch->asked && now - watch->asked_at >= CLI_READING_LOST_MS) {
        // Never answered: a request kept outstanding would stop every later reading.
        link_forget_report(link);
        watch->asked = false;
        ++watch->missed;
    }
    if (!watch->asked && now >= watch->due) {
        // Outstanding already (the report box, --report): that answer serves us too.
        if (link_request_report(link)) {
            if (!watch->missed) watch->waiting_since = now;
            watch->asked = true;
            watch->asked_at = now;
        }
        // A slow answer delays the readings; it never makes them come in a burst.
        watch->due += watch->period_ms;
        if (watch->due <= now) watch->due = now + watch->period_ms;
    }
    return 0;
}

int cli_watch_last(CliWatch* watch, TargetLink* link, uint32_t ms, uint64_t now, FILE* out) {
    if (!watch->active || cli_watch_poll(watch, link, now, out)) return 0;
    // Stopped first, so that the dispatch during the wait below does not print this
    // reading a second time; an outage under way goes on into this last reading.
    watch->active = false;
    watch->asked = false;
    Sample s;
    int got = link_query_report_within(link, ms, &s.q, &s.x, &s.y, &s.z, &s.w);
    if (!got) ++watch->missed;
    end_outage(watch);
    if (!got) return 0;
    s.mono_ms = now;
    s.wall_ms = wall_now_ms();
    print_reading(watch, out, s);
    return 1;
}

uint32_t cli_watch_due_in(const CliWatch* watch, uint64_t now) {
    if (!watch->active || cli_watch_done(watch)) return UINT32_MAX;
    uint64_t at = watch->asked ? watch->asked_at + CLI_READING_LOST_MS : watch->due;
    if (at <= now) return 0;
    uint64_t left = at - now;
    return left < UINT32_MAX ? static_cast<uint32_t>(left) : UINT32_MAX - 1;
}

uint64_t cli_watch_waiting_ms(const CliWatch* watch, uint64_t now) {
    bool waiting = watch->active && (watch->asked || watch->missed);
    return waiting && now > watch->waiting_since ? now - watch->waiting_since : 0;
}

std::string cli_watch_missed_text(long count) {
    std::string text = "(no report: ";
    text += count == 1 ? "1 reading" : std::to_string(count) + " readings in a row";
    return text + " did not come within " + std::to_string(CLI_READING_LOST_MS / 1000) + " s)";
}
