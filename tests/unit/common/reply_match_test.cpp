// Reply judging: grep -E syntax, both kinds together, and replies that once
// overflowed the stack or backtracked without end.
#include <gtest/gtest.h>

#include "common/reply_match.h"

namespace {

TEST(ReplyMatch, JudgesRepliesAsGrepExtendedDoes) {
    const struct {
        std::vector<std::pair<ReplyRuleKind, const char*>> rules;
        std::string reply;
        const char* reason;  // "" when the reply passes
    } cases[] = {
        {{{REPLY_FAIL_ON, "ERR [0-9]+|a{2}"}}, "x ERR 12", "reply \"x ERR 12\" matches --fail-on"},
        {{{REPLY_FAIL_ON, "^ERR"}, {REPLY_FAIL_ON, "[[:digit:]]$"}}, "no ERR", ""},
        {{{REPLY_FAIL_ON, "\\d"}}, "7", ""},  // no digit class in this syntax
        {{{REPLY_EXPECT, "^ok$"}, {REPLY_EXPECT, "^done$"}}, "done", ""},
        {{{REPLY_EXPECT, "^ok$"}}, "okay", "reply \"okay\" does not match --expect"},
        {{{REPLY_EXPECT, "o"}, {REPLY_FAIL_ON, "^ok "}}, "ok but", "reply \"ok but\" matches --fail-on"},
        {{{REPLY_FAIL_ON, "(a|b)*c"}, {REPLY_FAIL_ON, "(a*)*b"}}, std::string(65536, 'a'), ""},
        {{{REPLY_EXPECT, "^(a+)+$"}}, std::string(65536, 'a'), ""},
    };
    for (const auto& c : cases) {
        ReplyJudge judge;
        for (const auto& rule : c.rules) ASSERT_TRUE(reply_judge_add(&judge, rule.first, rule.second, nullptr));
        std::string reason;
        int ok = reply_judge_check(&judge, c.reply.c_str(), &reason);
        EXPECT_EQ(ok ? std::string() : reason, c.reason) << c.rules[0].second;
    }
}

}  // namespace
