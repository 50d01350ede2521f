// Judging a controller's reply by the operator's regular expressions: the runner's
// --fail-on and --expect, the window's StopOnReply. Compiled once, then matched per reply.
#pragma once

#include <regex>
#include <string>
#include <vector>

enum ReplyRuleKind {
    REPLY_FAIL_ON,  // a reply that matches is judged bad
    REPLY_EXPECT,   // a reply that matches none of these is judged bad
};

struct ReplyRule {
    ReplyRuleKind kind;
    std::regex pattern;
};

struct ReplyJudge {
    std::vector<ReplyRule> rules;
    std::string fail_on_name = "--fail-on";  // how the reason names each kind
    std::string expect_name = "--expect";
};

// Compiles expression as an extended regular expression (the syntax of grep -E) and
// adds it. 1 on success; 0 with a reason in *error (when error is not null) for a bad
// or null expression, the judge left as it was.
int reply_judge_add(ReplyJudge* judge, ReplyRuleKind kind, const char* expression, std::string* error);

// 1 when the judge has no rule of any kind.
int reply_judge_empty(const ReplyJudge* judge);

// 1 when reply passes: it matches (anywhere in it, as grep does) no REPLY_FAIL_ON
// rule, and at least one REPLY_EXPECT rule when there are any. 0 with *reason (when
// not null) as `reply "ERR 3" matches --fail-on` or `reply "x" does not match --expect`.
// A null judge passes everything; a null reply is the empty one.
int reply_judge_check(const ReplyJudge* judge, const char* reply, std::string* reason);
// The same for a reply of length bytes, NULs included.
int reply_judge_check(const ReplyJudge* judge, const char* reply, size_t length, std::string* reason);
