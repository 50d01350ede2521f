// Reply judging: grep -E syntax, both kinds together, bad expressions refused.
#include <gtest/gtest.h>

#include <string>

#include "common/reply_match.h"

namespace {

TEST(ReplyMatch, JudgesRepliesAsGrepExtendedDoes) {
    const struct {
        std::vector<std::pair<ReplyRuleKind, const char*>> rules;
        const char* reply;
        const char* reason;  // "" when the reply passes
    } cases[] = {
        {{}, "anything", ""},
        {{{REPLY_FAIL_ON, "^ERR"}}, "ERR 3", "reply \"ERR 3\" matches --fail-on"},
        {{{REPLY_FAIL_ON, "^ERR"}}, "no ERR", ""},
        {{{REPLY_FAIL_ON, "ERR [0-9]+"}}, "x ERR 12", "reply \"x ERR 12\" matches --fail-on"},
        {{{REPLY_FAIL_ON, "(bad|worse)"}}, "worse", "reply \"worse\" matches --fail-on"},
        {{{REPLY_FAIL_ON, "a{2}"}}, "baab", "reply \"baab\" matches --fail-on"},
        {{{REPLY_FAIL_ON, "[[:digit:]]$"}}, "E7", "reply \"E7\" matches --fail-on"},
        {{{REPLY_FAIL_ON, "\\d"}}, "7", ""},  // not a digit class in extended syntax
        {{{REPLY_EXPECT, "^ok$"}}, "ok", ""},
        {{{REPLY_EXPECT, "^ok$"}}, "okay", "reply \"okay\" does not match --expect"},
        {{{REPLY_EXPECT, "^ok$"}, {REPLY_EXPECT, "^done$"}}, "done", ""},
        {{{REPLY_EXPECT, "^ok$"}}, "", "reply \"\" does not match --expect"},
        {{{REPLY_EXPECT, "o"}, {REPLY_FAIL_ON, "^ok "}}, "ok but", "reply \"ok but\" matches --fail-on"},
        {{{REPLY_EXPECT, ""}}, "", ""},
    };
    for (const auto& c : cases) {
        ReplyJudge judge;
        for (const auto& rule : c.rules) ASSERT_TRUE(reply_judge_add(&judge, rule.first, rule.second, nullptr));
        std::string reason;
        int ok = reply_judge_check(&judge, c.reply, &reason);
        EXPECT_EQ(ok, *c.reason == '\0') << c.reply;
        EXPECT_EQ(ok ? std::string() : reason, c.reason);
    }
}

TEST(ReplyMatch, BadExpressionsAreRefusedAndLeaveTheJudgeAsItWas) {
    for (const char* bad : {"(", "[a", "a{2", "*{", "a)(", "a)|(b"}) {
        ReplyJudge judge;
        std::string error;
        EXPECT_EQ(reply_judge_add(&judge, REPLY_FAIL_ON, bad, &error), 0) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
        EXPECT_TRUE(reply_judge_empty(&judge));
    }
    EXPECT_EQ(reply_judge_add(nullptr, REPLY_EXPECT, "x", nullptr), 0);
    EXPECT_EQ(reply_judge_check(nullptr, "x", nullptr), 1);
}

// A long reply once overflowed the stack, and nested repeats backtrack without bound.
TEST(ReplyMatch, LongRepliesAndNestedRepeatsEndQuickly) {
    std::string reply(65536, 'a');
    const struct {
        const char* expression;
        int passes;
    } cases[] = {{"(a|b)*c", 1}, {"(a*)*b", 1}, {"^(a+)+$", 0}};
    for (const auto& c : cases) {
        ReplyJudge judge;
        ASSERT_TRUE(reply_judge_add(&judge, REPLY_FAIL_ON, c.expression, nullptr));
        EXPECT_EQ(reply_judge_check(&judge, reply.c_str(), nullptr), c.passes) << c.expression;
    }
}

}  // namespace
