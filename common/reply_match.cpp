// Reply judging on our own matcher, so that an expression means the same with every
// compiler and on every system.
#include "common/reply_match.h"

#include <cstring>

namespace {

// A long expression is named by its start in messages: 20000 parentheses say nothing.
std::string named(const char* expression) {
    size_t n = std::strlen(expression);
    return n <= 60 ? std::string(expression) : std::string(expression, 57) + "...";
}

}  // namespace

int reply_judge_add(ReplyJudge* judge, ReplyRuleKind kind, const char* expression, std::string* error) {
    if (!judge || !expression) {
        if (error) *error = "no expression";
        return 0;
    }
    std::string why;
    std::shared_ptr<EreProgram> program = ere_compile(expression, &why);
    if (!program) {
        if (error) *error = "bad regular expression '" + named(expression) + "': " + why;
        return 0;
    }
    judge->rules.push_back({kind, std::move(program)});
    return 1;
}

int reply_judge_empty(const ReplyJudge* judge) { return !judge || judge->rules.empty(); }

int reply_judge_check(const ReplyJudge* judge, const char* reply, std::string* reason) {
    return reply_judge_check(judge, reply, reply ? std::strlen(reply) : 0, reason);
}

int reply_judge_check(const ReplyJudge* judge, const char* reply, size_t length, std::string* reason) {
    if (!judge || judge->rules.empty()) return 1;
    if (!reply) length = 0;
    auto text = [&] { return std::string(reply ? reply : "", length); };
    bool any_expect = false, expected = false;
    for (const ReplyRule& rule : judge->rules) {
        bool hit = ere_search(*rule.pattern, reply ? reply : "", length);
        if (rule.kind == REPLY_FAIL_ON && hit) {
            if (reason) *reason = "reply \"" + text() + "\" matches " + judge->fail_on_name;
            return 0;
        }
        if (rule.kind == REPLY_EXPECT) {
            any_expect = true;
            expected = expected || hit;
        }
    }
    if (any_expect && !expected) {
        if (reason) *reason = "reply \"" + text() + "\" does not match " + judge->expect_name;
        return 0;
    }
    return 1;
}
