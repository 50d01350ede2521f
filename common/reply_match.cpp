// Reply judging on std::regex: its "extended" grammar is the POSIX one grep -E reads.
#include "common/reply_match.h"

#include <cstring>

namespace {

// libstdc++'s default matcher recurses once per input character (a long reply
// overflows the stack) and backtracks without bound on expressions like (a*)*b. Its
// breadth-first matcher keeps to the size of the expression; it cannot search, so the
// rule is matched whole as ".*(EXPR).*" (in this grammar "." is any byte but NUL, which
// a reply never holds). An extended expression has no back-references, which that
// matcher could not do.
#ifdef __GLIBCXX__
constexpr std::regex::flag_type MATCH_FLAGS =
    std::regex::extended | std::regex::nosubs | std::regex_constants::__polynomial;
#else
constexpr std::regex::flag_type MATCH_FLAGS = std::regex::extended | std::regex::nosubs;
#endif

}  // namespace

int reply_judge_add(ReplyJudge* judge, ReplyRuleKind kind, const char* expression, std::string* error) {
    if (!judge || !expression) {
        if (error) *error = "no expression";
        return 0;
    }
    // std::regex reports a bad expression by throwing; nothing else here can throw
    // but running out of memory.
    try {
        // Compiled alone first, so that "a)|(b" cannot pass as half of the wrapper.
        std::regex alone(expression, MATCH_FLAGS);
        // "." is any byte but NUL here, and a reply may hold one; a negated bracket
        // takes it.
        const std::string any = "(.|[^.])*";
        std::string whole = *expression ? any + "(" + expression + ")" + any : any;
        judge->rules.push_back({kind, std::regex(whole, MATCH_FLAGS)});
    } catch (const std::regex_error& e) {
        if (error) *error = std::string("bad regular expression '") + expression + "': " + e.what();
        return 0;
    }
    return 1;
}

int reply_judge_empty(const ReplyJudge* judge) { return !judge || judge->rules.empty(); }

int reply_judge_check(const ReplyJudge* judge, const char* reply, std::string* reason) {
    return reply_judge_check(judge, reply, reply ? std::strlen(reply) : 0, reason);
}

int reply_judge_check(const ReplyJudge* judge, const char* reply, size_t length, std::string* reason) {
    if (!judge || judge->rules.empty()) return 1;
    const std::string text = reply ? std::string(reply, length) : std::string();
    bool any_expect = false, expected = false;
    for (const ReplyRule& rule : judge->rules) {
        bool hit = false;
        try {
            hit = std::regex_match(text.begin(), text.end(), rule.pattern);
        } catch (const std::regex_error&) {
            // The matcher gave up (too complex for this reply): a reply that cannot be
            // judged is not a good one.
            if (reason) *reason = std::string("reply \"") + text + "\" could not be matched";
            return 0;
        }
        if (rule.kind == REPLY_FAIL_ON && hit) {
            if (reason) *reason = std::string("reply \"") + text + "\" matches " + judge->fail_on_name;
            return 0;
        }
        if (rule.kind == REPLY_EXPECT) {
            any_expect = true;
            expected = expected || hit;
        }
    }
    if (any_expect && !expected) {
        if (reason) *reason = std::string("reply \"") + text + "\" does not match " + judge->expect_name;
        return 0;
    }
    return 1;
}
