// What the expression compiler (ere_compile.cpp) hands the automaton (ere_match.cpp):
// characters, character sets, the written-out automaton and the lazily built
// deterministic states. Not for use outside the matcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ere {

// A character: a code point, or RAW + b for a byte b that is not part of valid UTF-8.
using Sym = uint32_t;
constexpr Sym RAW = 0x110000;
constexpr Sym SYM_MAX = RAW + 0xFF;

// The character at s[0, n), n >= 1, in *sym; returns its length in bytes.
size_t decode(const unsigned char* s, size_t n, Sym* sym);

// A set of characters: sorted ranges that neither overlap nor touch, once normalized.
using Ranges = std::vector<std::pair<Sym, Sym>>;
void normalize(Ranges* r);
Ranges complement(const Ranges& r);
bool contains(const Ranges& r, Sym s);

// The named classes ([:alpha:] and the others) added to *r; false for an unknown name.
bool class_ranges(const std::string& name, Ranges* r);
// The word characters of \w and the word edges: [:alnum:] and '_'.
const Ranges& word_ranges();

// Zero-width tests, judged from the characters either side of a position.
enum Assert { A_BEGIN, A_END, A_WORD_EDGE, A_NOT_WORD_EDGE, A_WORD_START, A_WORD_END };
enum Side { S_EDGE, S_WORD, S_OTHER };  // start or end of the reply, a word character, another

struct State {
    enum Op { CONSUME, SPLIT, ASSERT, MATCH } op;
    int out = -1, out1 = -1;
    int arg = 0;  // CONSUME: the set; ASSERT: the kind
};

}  // namespace ere

struct EreProgram {
    std::vector<ere::Ranges> sets;
    std::vector<ere::State> states;
    int start = 0;
    // Characters split into classes that no set tells apart (nor word or not, when the
    // word edges are asked): the range from bounds[i] to bounds[i + 1] - 1 is of class
    // range_class[i]; class k holds character class_lo[k].
    std::vector<ere::Sym> bounds;
    std::vector<int> range_class;
    std::vector<ere::Sym> class_lo;
    int ascii_class[128] = {};
    std::vector<uint8_t> class_side;
    std::vector<uint64_t> member;  // bit set * classes + class: the set holds the class; empty when too large

    // Fills the classes from the sets and states; false with *error when too many.
    bool build_classes(std::string* error);

    bool holds_class(int set, int k) const;
    int class_of(ere::Sym s) const;

    struct DState {
        int before;
        std::vector<int> kernel;  // states entered by the last character, sorted
        std::vector<int> next;  // per class: UNKNOWN, MATCHED or a DState index
        int at_end = -1;
    };
    static constexpr int UNKNOWN = -1, MATCHED = -2;
    mutable std::vector<DState> dstates;
    mutable std::unordered_map<std::string, int> dindex;
    mutable size_t dbytes = 0;
    mutable size_t resets = 0;
    mutable std::vector<uint32_t> mark;
    mutable uint32_t generation = 0;
    mutable std::vector<int> stack, consume;

    bool close(const std::vector<int>& kernel, int before, int after, int k = -1,
               std::vector<int>* entered = nullptr) const;
    int add_dstate(int before, std::vector<int> kernel) const;
    void reset_cache() const;
    bool follow(const DState& from, const unsigned char* text, size_t length) const;
    int step(int d, int k) const;
};
