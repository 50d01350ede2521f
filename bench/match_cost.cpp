// What judging replies can cost at worst, in this process: the nastiest expressions the
// judge accepts on a longest (64 KiB) reply, against a plain ^ERR on the same reply;
// and compiling long expressions, against compiling ^ERR. Medians of rounds, in CPU
// time of this process, which other load on the machine does not inflate.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "common/reply_match.h"

namespace {

constexpr int ROUNDS = 5;

double ms_since(std::clock_t t) { return double(std::clock() - t) * 1000.0 / CLOCKS_PER_SEC; }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Milliseconds to judge reply by expression (compiled once, as the runner does); -1 when refused.
double judge_ms(const std::string& expression, const std::string& reply) {
    ReplyJudge judge;
    if (!reply_judge_add(&judge, REPLY_FAIL_ON, expression.c_str(), nullptr)) return -1;
    std::vector<double> times;
    for (int i = 0; i < ROUNDS; ++i) {
        std::clock_t t = std::clock();
        reply_judge_check(&judge, reply.data(), reply.size(), nullptr);
        times.push_back(ms_since(t));
    }
    return median(times);
}

// Each round compiles `times` times, so that a short expression outlasts the clock's tick.
double compile_ms(const std::string& expression, bool* accepted, int times = 1) {
    std::vector<double> rounds;
    for (int i = 0; i < ROUNDS; ++i) {
        std::clock_t t = std::clock();
        for (int k = 0; k < times; ++k) {
            ReplyJudge judge;
            *accepted = reply_judge_add(&judge, REPLY_FAIL_ON, expression.c_str(), nullptr);
        }
        rounds.push_back(ms_since(t) / times);
    }
    return median(rounds);
}

}  // namespace

void print_match_costs() {
    std::mt19937 rng(1);
    std::string ab(65536, 'a'), aa(65536, 'a'), text;
    for (char& c : ab) c = "ab"[rng() % 2];
    // Letters, digits, spaces and punctuation of several scripts, 1 to 3 bytes each.
    static const char* mixed[] = {"a", " ", "\xC3\xA9", "\xD0\x96", "\xE4\xB8\xAD", "\xD9\xA3", "\xE2\x80\x83", "\xC2\xAB"};
    while (text.size() < 65536) text += mixed[rng() % 8];
    const struct {
        const char* expression;
        const std::string* reply;
    } worst[] = {
        {".{255}b", &aa},
        {".{999}b", &aa},
        {"(a|b)*a(a|b){330}c", &ab},  // a new automaton state at every character
        {"(a[ab]{330}c|b[ab]{330}c|[ab]{330}d)", &ab},
        {"(.*a){330}c", &ab},
        {"((a|b|.)*){110}c", &ab},
        {"\\<\\w+\\>[[:punct:]][[:digit:]]", &text},
        {"([[:alpha:]]|\\s){300}x", &text},
        {"(\\w|\\W|[[:upper:]]|[[:lower:]]|[[:punct:]])*\\b.{300}x", &text},
    };
    double plain = std::max(judge_ms("^ERR", ab), 1e-6);
    std::printf("judging a 64 KiB reply (CPU): ^ERR %.3f ms\n", plain);
    double worst_ms = 0;
    for (const auto& w : worst) {
        double ms = judge_ms(w.expression, *w.reply);
        worst_ms = std::max(worst_ms, ms);
        std::printf("  %-40s %8.2f ms  %8.0fx ^ERR\n", w.expression, ms, ms / plain);
    }
    std::printf("worst judging of a 64 KiB reply: %.1f ms\n", worst_ms);

    std::string words;  // 999 states of alternation, the most the judge takes
    for (int i = 0; words.size() < 880; ++i) words += (i ? "|" : "") + std::string("w") + std::to_string(i);
    std::string bracket = "[";
    for (int c = 0x100; bracket.size() < 4000; c += 2) {  // 2 bytes each, every other code point
        bracket += char(0xC0 | c >> 6);
        bracket += char(0x80 | (c & 0x3F));
    }
    bracket += "]";
    std::string classes;  // every class, each in brackets of its own with one more letter
    static const char* names[] = {"alpha", "digit", "alnum", "upper", "lower", "space",
                                  "blank", "punct", "print", "graph", "cntrl", "xdigit"};
    for (int i = 0; classes.size() < 8000; ++i)
        classes += std::string("[^[:") + names[i % 12] + ":]" + char('a' + i % 26) + "]";
    std::string empties;
    for (int i = 0; i < 45000; ++i) empties += "()";
    const struct {
        const char* name;
        std::string expression;
    } long_ones[] = {
        {"() 45,000 times", empties},
        {"(((...))) 20,000 deep", std::string(20000, '(') + std::string(20000, ')')},
        {"alternation of 880 characters", words},
        {"bracket of 2,000 characters", bracket},
        {".{999}", ".{999}"},
        {"brackets of every class, 8,000 bytes", classes},
    };
    bool accepted = false;
    double short_ms = std::max(compile_ms("^ERR", &accepted, 10000), 1e-6);
    std::printf("compiling ^ERR: %.4f ms\n", short_ms);
    for (const auto& l : long_ones) {
        double ms = compile_ms(l.expression, &accepted);
        std::printf("  compiling %-32s (%6zu bytes) %8.3f ms  %8.0fx ^ERR%s\n", l.name, l.expression.size(), ms,
                    ms / short_ms, accepted ? "" : ", refused");
    }
}
