// Extended regular expressions as GNU grep -E reads them, matched by an automaton whose
// cost per reply character is bounded by the size of the expression (no backtracking,
// no recursion while matching). Expressions grep reads in a way a rig author would not
// expect (a repeat with nothing before it, an unknown escape) or that cannot be matched
// at a bounded cost (back-references) are refused with a message that names the fault.
//
// Text is UTF-8: `.`, bracket expressions and literals take one character, however many
// bytes it has; a byte that is not part of valid UTF-8 is a character of its own, which
// `.`, a negated bracket and the same byte in the expression match. Classes ([:alpha:],
// \w, \s, and the word edges \b \B \< \>) hold the characters glibc puts in them in a
// UTF-8 locale (é is a letter, an em space a space), from a table, on every system.
// Ranges go by code point.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct EreProgram;

// Most nested parentheses, and most automaton states once repeats are written out
// (a{1000} is 1000 of them): the bounds on compile and match cost.
constexpr int ERE_MAX_NESTING = 200;
constexpr int ERE_MAX_STATES = 1000;

// The compiled expression, or null with the fault in *error (when not null).
std::shared_ptr<EreProgram> ere_compile(const char* expression, std::string* error);

// True when the expression matches somewhere in text[0, length). Not for two threads
// at once on one program: it keeps the automaton it has built so far.
bool ere_search(const EreProgram& program, const char* text, size_t length);
