// The expression is parsed into a tree, written out as a Thompson automaton (repeats
// copied out), and matched by building its deterministic states lazily while reading
// the reply: each reply character costs one table look-up once its state is known,
// and at most one pass over the automaton's states when it is not.
#include "common/ere_match.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// A character: a code point, or RAW + b for a byte b that is not part of valid UTF-8.
using Sym = uint32_t;
constexpr Sym RAW = 0x110000;
constexpr Sym SYM_MAX = RAW + 0xFF;
constexpr int MAX_COUNT = 32767;  // grep's largest repeat count
constexpr size_t MAX_DEPTH = 1000;  // of the tree, which the compiler walks recursively
constexpr size_t MAX_CLASSES = 4096;  // character classes, each a column of every state
constexpr size_t MEMBER_BITS = size_t(1) << 24;  // the set-by-class table, when it fits
constexpr size_t CACHE_BYTES = 4u << 20;  // deterministic states kept between replies

size_t decode(const unsigned char* s, size_t n, Sym* sym) {
    unsigned c = s[0];
    *sym = c < 0x80 ? c : RAW + c;
    size_t len;
    Sym cp, least;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2, cp = c & 0x1F, least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3, cp = c & 0x0F, least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4, cp = c & 0x07, least = 0x10000;
    } else {
        return 1;
    }
    if (n < len) return 1;
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 1;
        cp = cp << 6 | (s[i] & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 1;
    *sym = cp;
    return len;
}

using Ranges = std::vector<std::pair<Sym, Sym>>;

void normalize(Ranges* r) {
    std::sort(r->begin(), r->end());
    Ranges out;
    for (const auto& x : *r) {
        if (!out.empty() && x.first <= out.back().second + 1)
            out.back().second = std::max(out.back().second, x.second);
        else
            out.push_back(x);
    }
    *r = std::move(out);
}

Ranges complement(const Ranges& r) {
    Ranges out;
    Sym next = 0;
    for (const auto& x : r) {
        if (x.first > next) out.push_back({next, x.first - 1});
        next = x.second + 1;
    }
    if (next <= SYM_MAX) out.push_back({next, SYM_MAX});
    return out;
}

bool contains(const Ranges& r, Sym s) {
    auto it = std::upper_bound(r.begin(), r.end(), std::make_pair(s, SYM_MAX));
    return it != r.begin() && std::prev(it)->second >= s;
}

bool is_word(Sym c) { return c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The ASCII classes; false for an unknown name.
bool class_ranges(const std::string& name, Ranges* r) {
    static const struct {
        const char* name;
        Ranges ranges;
    } classes[] = {
        {"alpha", {{'A', 'Z'}, {'a', 'z'}}},
        {"digit", {{'0', '9'}}},
        {"alnum", {{'0', '9'}, {'A', 'Z'}, {'a', 'z'}}},
        {"upper", {{'A', 'Z'}}},
        {"lower", {{'a', 'z'}}},
        {"space", {{'\t', '\r'}, {' ', ' '}}},
        {"blank", {{'\t', '\t'}, {' ', ' '}}},
        {"punct", {{'!', '/'}, {':', '@'}, {'[', '`'}, {'{', '~'}}},
        {"print", {{' ', '~'}}},
        {"graph", {{'!', '~'}}},
        {"cntrl", {{0, 0x1F}, {0x7F, 0x7F}}},
        {"xdigit", {{'0', '9'}, {'A', 'F'}, {'a', 'f'}}},
    };
    for (const auto& c : classes)
        if (name == c.name) {
            r->insert(r->end(), c.ranges.begin(), c.ranges.end());
            return true;
        }
    return false;
}

// Zero-width tests, judged from the characters either side of a position.
enum Assert { A_BEGIN, A_END, A_WORD_EDGE, A_NOT_WORD_EDGE, A_WORD_START, A_WORD_END };
enum Side { S_EDGE, S_WORD, S_OTHER };  // start or end of the reply, a word character, another

bool holds(int kind, int before, int after) {
    bool w0 = before == S_WORD, w1 = after == S_WORD;
    switch (kind) {
    case A_BEGIN: return before == S_EDGE;
    case A_END: return after == S_EDGE;
    case A_WORD_EDGE: return w0 != w1;
    case A_NOT_WORD_EDGE: return w0 == w1;
    case A_WORD_START: return !w0 && w1;
    default: return w0 && !w1;
    }
}

struct Node {
    enum Kind { EMPTY, SET, ASSERT, CAT, ALT, REP } kind;
    explicit Node(Kind k) : kind(k) {}
    int arg = 0;  // SET: the set; ASSERT: the kind
    int min = 0, max = 0;  // REP: max -1 for no limit
    std::vector<int> kids;
    uint64_t size = 0;  // automaton states it writes out, capped just above the limit
    size_t depth = 1;
};

struct State {
    enum Op { CONSUME, SPLIT, ASSERT, MATCH } op;
    int out = -1, out1 = -1;
    int arg = 0;  // CONSUME: the set; ASSERT: the kind
};

}  // namespace

struct EreProgram {
    std::vector<Ranges> sets;
    std::vector<State> states;
    int start = 0;
    // Characters split into classes that no set tells apart (and word or not):
    // class k runs from bounds[k] to bounds[k + 1] - 1.
    std::vector<Sym> bounds;
    int ascii_class[128] = {};
    std::vector<uint8_t> class_side;
    std::vector<uint64_t> member;  // bit set * classes + class: the set holds the class; empty when too large

    bool holds_class(int set, int k) const {
        if (member.empty()) return contains(sets[size_t(set)], bounds[size_t(k)]);
        size_t bit = size_t(set) * bounds.size() + size_t(k);
        return member[bit / 64] >> (bit % 64) & 1;
    }

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

    int class_of(Sym s) const {
        if (s < 128) return ascii_class[s];
        return int(std::upper_bound(bounds.begin(), bounds.end(), s) - bounds.begin()) - 1;
    }

    // Follows every empty move from kernel (and the start, as a search may begin
    // anywhere) with the characters either side known; the consuming states reached go
    // to `consume`. True when the whole expression has matched.
    // With k >= 0, the states entered on a character of class k go to *entered instead.
    bool close(const std::vector<int>& kernel, int before, int after, int k = -1,
               std::vector<int>* entered = nullptr) const {
        if (++generation == 0) {
            std::fill(mark.begin(), mark.end(), 0);
            generation = 1;
        }
        stack.assign(kernel.begin(), kernel.end());
        stack.push_back(start);
        consume.clear();
        while (!stack.empty()) {
            int s = stack.back();
            stack.pop_back();
            if (mark[s] == generation) continue;
            mark[s] = generation;
            const State& st = states[s];
            switch (st.op) {
            case State::CONSUME:
                if (k < 0)
                    consume.push_back(s);
                else if (holds_class(st.arg, k))
                    entered->push_back(st.out);
                break;
            case State::SPLIT:
                stack.push_back(st.out1);
                stack.push_back(st.out);
                break;
            case State::ASSERT:
                if (holds(st.arg, before, after)) stack.push_back(st.out);
                break;
            case State::MATCH: return true;
            }
        }
        return false;
    }

    int add_dstate(int before, std::vector<int> kernel) const {
        std::string key(1, char(before));
        key.append(reinterpret_cast<const char*>(kernel.data()), kernel.size() * sizeof(int));
        auto it = dindex.find(key);
        if (it != dindex.end()) return it->second;
        size_t cost = key.size() * 2 + (bounds.size() + kernel.size()) * sizeof(int) + 128;
        if (dbytes + cost > CACHE_BYTES && !dstates.empty()) reset_cache();
        dbytes += cost;
        dstates.push_back({before, std::move(kernel), std::vector<int>(bounds.size(), UNKNOWN), -1});
        dindex.emplace(std::move(key), int(dstates.size()) - 1);
        return int(dstates.size()) - 1;
    }

    void reset_cache() const {
        dstates.clear();
        dindex.clear();
        dbytes = 0;
        ++resets;
        add_dstate(S_EDGE, {});  // the start is always state 0
    }

    // The rest of a search without building states: the automaton's states themselves
    // are followed, from `from`, over text[0, length).
    bool follow(const DState& from, const unsigned char* text, size_t length) const {
        std::vector<int> kernel = from.kernel, next;
        int before = from.before;
        for (size_t i = 0; i < length;) {
            Sym sym;
            i += decode(text + i, length - i, &sym);
            int k = class_of(sym);
            int side = class_side[size_t(k)];
            next.clear();
            if (close(kernel, before, side, k, &next)) return true;
            kernel.swap(next);
            before = side;
        }
        return close(kernel, before, S_EDGE);
    }

    int step(int d, int k) const {
        int side = class_side[size_t(k)];
        if (close(dstates[size_t(d)].kernel, dstates[size_t(d)].before, side)) {
            dstates[size_t(d)].next[size_t(k)] = MATCHED;
            return MATCHED;
        }
        std::vector<int> kernel;
        for (int s : consume)
            if (holds_class(states[size_t(s)].arg, k)) kernel.push_back(states[size_t(s)].out);
        std::sort(kernel.begin(), kernel.end());
        kernel.erase(std::unique(kernel.begin(), kernel.end()), kernel.end());
        size_t was = resets;
        int n = add_dstate(side, std::move(kernel));
        // A reset drops d itself; the new state stands alone until reached again.
        if (resets == was) dstates[size_t(d)].next[size_t(k)] = n;
        return n;
    }
};

namespace {

std::string shown(const unsigned char* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

class Parser {
public:
    explicit Parser(EreProgram* prog) : prog_(prog) {}

    // The tree's root, or -1 with error_ set. Each line is an expression of its own, any
    // of which may match, as grep reads a pattern with newlines in it.
    int parse(const char* text) {
        Node lines(Node::ALT);
        for (const char* line = text;;) {
            const char* end = std::strchr(line, '\n');
            p_ = reinterpret_cast<const unsigned char*>(line);
            n_ = end ? size_t(end - line) : std::strlen(line);
            i_ = 0;
            int root = alternation(0);
            if (root < 0) return -1;
            lines.kids.push_back(root);
            if (!end) break;
            line = end + 1;
        }
        return lines.kids.size() == 1 ? lines.kids[0] : node(std::move(lines));
    }

    std::vector<Node> nodes;
    std::string error;

private:
    const unsigned char* p_ = nullptr;
    size_t n_ = 0;
    size_t i_ = 0;
    EreProgram* prog_;
    std::unordered_map<std::string, int> set_index_;

    int fail(std::string why) {
        if (error.empty()) error = std::move(why);
        return -1;
    }

    int node(Node n) {
        n.depth = 1;
        for (int k : n.kids) n.depth = std::max(n.depth, nodes[size_t(k)].depth + 1);
        if (n.depth > MAX_DEPTH) return fail("too many repeats and groups inside one another");
        uint64_t cap = ERE_MAX_STATES + 1;
        auto sized = [&](int k) { return nodes[size_t(k)].size; };
        switch (n.kind) {
        case Node::EMPTY: n.size = 0; break;
        case Node::SET:
        case Node::ASSERT: n.size = 1; break;
        case Node::CAT:
        case Node::ALT:
            n.size = n.kind == Node::ALT ? n.kids.size() - 1 : 0;
            for (int k : n.kids) n.size = std::min(cap, n.size + sized(k));
            break;
        case Node::REP: {
            uint64_t x = sized(n.kids[0]);
            uint64_t copies = n.max < 0 ? uint64_t(n.min) + 1 : uint64_t(n.max);
            uint64_t splits = n.max < 0 ? 1 : uint64_t(n.max - n.min);
            n.size = std::min(cap, std::max<uint64_t>(x, 1) * copies + splits);  // an empty copy still costs a step to write
            break;
        }
        }
        if (n.size > uint64_t(ERE_MAX_STATES))
            return fail("too large: more than " + std::to_string(ERE_MAX_STATES) +
                        " steps to match once its repeats are written out (a{1000} is 1000)");
        nodes.push_back(std::move(n));
        return int(nodes.size()) - 1;
    }

    int set_node(Ranges r) {
        normalize(&r);
        std::string key(reinterpret_cast<const char*>(r.data()), r.size() * sizeof(r[0]));
        auto it = set_index_.find(key);
        int s;
        if (it != set_index_.end()) {
            s = it->second;
        } else {
            s = int(prog_->sets.size());
            prog_->sets.push_back(std::move(r));
            set_index_.emplace(std::move(key), s);
        }
        Node n{Node::SET};
        n.arg = s;
        return node(std::move(n));
    }

    int assert_node(int kind) {
        Node n{Node::ASSERT};
        n.arg = kind;
        return node(std::move(n));
    }

    int alternation(int depth) {
        Node alt{Node::ALT};
        for (;;) {
            int k = concatenation(depth);
            if (k < 0) return -1;
            alt.kids.push_back(k);
            if (i_ < n_ && p_[i_] == '|') {
                ++i_;
                continue;
            }
            break;
        }
        if (alt.kids.size() == 1) return alt.kids[0];
        return node(std::move(alt));
    }

    // What a repeat at i_ is: NONE (not one: '{' that starts no count is a literal),
    // or its bounds, or -1 with error_ set.
    enum { NONE = 0, REPEAT = 1 };
    int repeat_at(int* min, int* max, size_t* end) {
        unsigned char c = p_[i_];
        if (c == '*' || c == '+' || c == '?') {
            *min = c == '+' ? 1 : 0;
            *max = c == '?' ? 1 : -1;
            *end = i_ + 1;
            return REPEAT;
        }
        if (c != '{') return NONE;
        // Read as grep reads it: digits, an optional comma and digits, '}'. Anything
        // else between the braces makes the '{' a literal; a bad count is an error.
        size_t j = i_ + 1;
        auto number = [&](unsigned char* stop) -> long {
            long v = -1;
            for (;;) {
                if (j >= n_) return -2;
                unsigned char d = p_[j++];
                if (d == '}' || d == ',') {
                    *stop = d;
                    return v;
                }
                if (d == '\\' && j < n_) ++j;
                if (d < '0' || d > '9' || v == -2)
                    v = -2;
                else
                    v = v < 0 ? d - '0' : std::min<long>(MAX_COUNT + 1, v * 10 + (d - '0'));
            }
        };
        unsigned char stop1 = 0, stop2 = 0;
        long lo = number(&stop1), hi = -2;
        if (lo == -1) {
            if (stop1 != ',') {
                *end = j;
                return fail("'" + shown(p_ + i_, j - i_) + "' gives no repeat count");
            }
            lo = 0;
        }
        if (lo != -2) hi = stop1 == '}' ? lo : number(&stop2);
        if (lo == -2 || hi == -2) return NONE;
        std::string text = shown(p_ + i_, j - i_);
        if (stop1 == ',' && stop2 != '}') return fail("'" + text + "' is not a repeat count");
        if (hi != -1 && lo > hi) return fail("'" + text + "': the least count is above the most");
        if ((hi < 0 ? lo : hi) > MAX_COUNT)
            return fail("'" + text + "': repeat counts go up to " + std::to_string(MAX_COUNT));
        *min = int(lo);
        *max = int(hi);
        *end = j;
        return REPEAT;
    }

    int concatenation(int depth) {
        Node cat{Node::CAT};
        const char* after = "at the start";
        if (i_ > 0 && p_[i_ - 1] == '(') after = "after '('";
        if (i_ > 0 && p_[i_ - 1] == '|') after = "after '|'";
        while (i_ < n_) {
            unsigned char c = p_[i_];
            if (c == '|' || (c == ')' && depth > 0)) break;
            int min = 0, max = 0;
            size_t end = 0;
            int r = repeat_at(&min, &max, &end);
            if (r < 0) return -1;
            if (r == REPEAT) {
                std::string op = shown(p_ + i_, end - i_);
                if (cat.kids.empty()) return fail("'" + op + "' " + after + " has nothing to repeat");
                const Node& last = nodes[size_t(cat.kids.back())];
                if (last.kind == Node::ASSERT)
                    return fail("'" + op + "' repeats an anchor, which matches no character");
                Node rep{Node::REP};
                rep.min = min;
                rep.max = max;
                rep.kids = {cat.kids.back()};
                int k = node(std::move(rep));
                if (k < 0) return -1;
                cat.kids.back() = k;
                i_ = end;
                continue;
            }
            int k = atom(depth);
            if (k < 0) return -1;
            cat.kids.push_back(k);
        }
        if (cat.kids.empty()) return node(Node{Node::EMPTY});
        if (cat.kids.size() == 1) return cat.kids[0];
        return node(std::move(cat));
    }

    Sym literal() {
        Sym s;
        i_ += decode(p_ + i_, n_ - i_, &s);
        return s;
    }

    int atom(int depth) {
        unsigned char c = p_[i_];
        switch (c) {
        case '(': {
            if (depth >= ERE_MAX_NESTING)
                return fail("more than " + std::to_string(ERE_MAX_NESTING) + " parentheses inside one another");
            ++i_;
            int k = alternation(depth + 1);
            if (k < 0) return -1;
            if (i_ >= n_) return fail("unmatched '(': a group is not closed with ')'");
            ++i_;
            return k;
        }
        case '^': ++i_; return assert_node(A_BEGIN);
        case '$': ++i_; return assert_node(A_END);
        case '.': ++i_; return set_node({{0, SYM_MAX}});
        case '[': return bracket();
        case '\\': return escape();
        default: {
            Sym s = literal();
            return set_node({{s, s}});
        }
        }
    }

    int escape() {
        if (i_ + 1 >= n_) return fail("a '\\' ends the expression with nothing to escape");
        unsigned char c = p_[i_ + 1];
        std::string seq = shown(p_ + i_, 2);
        Ranges word{{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}}, space;
        class_ranges("space", &space);
        int k;
        switch (c) {
        case 'w': k = set_node(word); break;
        case 'W': k = set_node(complement(word)); break;
        case 's': k = set_node(space); break;
        case 'S': k = set_node(complement(space)); break;
        case 'b': k = assert_node(A_WORD_EDGE); break;
        case 'B': k = assert_node(A_NOT_WORD_EDGE); break;
        case '<': k = assert_node(A_WORD_START); break;
        case '>': k = assert_node(A_WORD_END); break;
        case '`': k = assert_node(A_BEGIN); break;
        case '\'': k = assert_node(A_END); break;
        default:
            if (c >= '1' && c <= '9')
                return fail("back-references ('" + seq + "') are not supported: their matching cost has no bound");
            if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
                return fail("'" + seq + "' is not supported (grep reads it as a plain '" + shown(p_ + i_ + 1, 1) +
                            "'): write the character itself, or a bracket such as [0-9]");
            ++i_;
            Sym s = literal();
            return set_node({{s, s}});
        }
        i_ += 2;
        return k;
    }

    // One bracket item at i_: a character (true) or a class added to *r (false); -1 on error.
    int bracket_item(Ranges* r, Sym* s) {
        if (p_[i_] == '[' && i_ + 1 < n_ && (p_[i_ + 1] == ':' || p_[i_ + 1] == '.' || p_[i_ + 1] == '=')) {
            unsigned char kind = p_[i_ + 1];
            size_t from = i_ + 2, to = from;
            while (to + 1 < n_ && !(p_[to] == kind && p_[to + 1] == ']')) ++to;
            if (to + 1 >= n_) return fail("unmatched '[': a bracket expression is not closed with ']'");
            std::string name = shown(p_ + from, to - from), whole = shown(p_ + i_, to + 2 - i_);
            i_ = to + 2;
            if (kind == ':') {
                if (!class_ranges(name, r)) return fail("unknown character class '" + whole + "'");
                return 0;
            }
            if (!name.empty() && decode(p_ + from, to - from, s) == to - from) return 1;
            return fail("'" + whole + "' is not supported: only a single character may stand there");
        }
        *s = literal();
        return 1;
    }

    int bracket() {
        size_t open = i_++;
        bool negate = i_ < n_ && p_[i_] == '^';
        if (negate) ++i_;
        size_t first = i_;
        Ranges r;
        for (;;) {
            if (i_ >= n_) return fail("unmatched '[': a bracket expression is not closed with ']'");
            if (p_[i_] == ']' && i_ > first) {
                ++i_;
                break;
            }
            Sym lo = 0, hi = 0;
            size_t item = i_;
            int got = bracket_item(&r, &lo);
            if (got < 0) return -1;
            bool range = i_ + 1 < n_ && p_[i_] == '-' && p_[i_ + 1] != ']';
            if (!range) {
                if (got) r.push_back({lo, lo});
                continue;
            }
            ++i_;
            int got_hi = bracket_item(&r, &hi);
            if (got_hi < 0) return -1;
            std::string text = shown(p_ + item, i_ - item);
            if (!got || !got_hi) return fail("range '" + text + "' begins or ends with a class");
            if (lo >= RAW || hi >= RAW) return fail("range '" + text + "' has an end that is not a UTF-8 character");
            if (lo > hi) return fail("range '" + text + "' runs backwards");
            r.push_back({lo, hi});
        }
        // grep refuses "[:alpha:]" where "[[:alpha:]]" was meant, and so do we.
        size_t close = i_ - 1;
        if (!negate && close - open >= 3 && p_[open + 1] == ':' && p_[close - 1] == ':')
            return fail("'" + shown(p_ + open, i_ - open) + "' is not a class: write it inside a bracket, [" +
                        shown(p_ + open, i_ - open) + "]");
        normalize(&r);
        return set_node(negate ? complement(r) : r);
    }
};

// Writes node k out so that it continues into state next; returns its entry state.
int emit(const std::vector<Node>& nodes, int k, int next, std::vector<State>* st) {
    const Node& n = nodes[size_t(k)];
    auto add = [&](State s) {
        st->push_back(s);
        return int(st->size()) - 1;
    };
    switch (n.kind) {
    case Node::EMPTY: return next;
    case Node::SET: return add({State::CONSUME, next, -1, n.arg});
    case Node::ASSERT: return add({State::ASSERT, next, -1, n.arg});
    case Node::CAT:
        for (size_t i = n.kids.size(); i-- > 0;) next = emit(nodes, n.kids[i], next, st);
        return next;
    case Node::ALT: {
        int entry = emit(nodes, n.kids.back(), next, st);
        for (size_t i = n.kids.size() - 1; i-- > 0;) entry = add({State::SPLIT, emit(nodes, n.kids[i], next, st), entry, 0});
        return entry;
    }
    case Node::REP: {
        int x = n.kids[0], cur = next;
        if (n.max < 0) {
            int loop = add({State::SPLIT, -1, next, 0});
            int body = emit(nodes, x, loop, st);
            (*st)[size_t(loop)].out = body;
            cur = loop;
        } else {
            for (int i = n.min; i < n.max; ++i) cur = add({State::SPLIT, emit(nodes, x, cur, st), next, 0});
        }
        for (int i = 0; i < n.min; ++i) cur = emit(nodes, x, cur, st);
        return cur;
    }
    }
    return next;
}

}  // namespace

std::shared_ptr<EreProgram> ere_compile(const char* expression, std::string* error) {
    auto prog = std::make_shared<EreProgram>();
    Parser parser(prog.get());
    int root = parser.parse(expression ? expression : "");
    if (root < 0) {
        if (error) *error = parser.error;
        return nullptr;
    }
    prog->states.push_back({State::MATCH, -1, -1, 0});
    prog->start = emit(parser.nodes, root, 0, &prog->states);

    // Class bounds: every set's edges, and the word characters' edges for \b and \w.
    std::vector<Sym> b{0, '0', '9' + 1, 'A', 'Z' + 1, '_', '_' + 1, 'a', 'z' + 1};
    for (const Ranges& r : prog->sets)
        for (const auto& x : r) {
            b.push_back(x.first);
            if (x.second < SYM_MAX) b.push_back(x.second + 1);
        }
    std::sort(b.begin(), b.end());
    b.erase(std::unique(b.begin(), b.end()), b.end());
    if (b.size() > MAX_CLASSES) {
        if (error) *error = "too large: it tells apart more than " + std::to_string(MAX_CLASSES) + " kinds of character";
        return nullptr;
    }
    prog->bounds = std::move(b);
    for (Sym c = 0; c < 128; ++c)
        prog->ascii_class[c] = int(std::upper_bound(prog->bounds.begin(), prog->bounds.end(), c) -
                                   prog->bounds.begin() - 1);
    for (Sym lo : prog->bounds) prog->class_side.push_back(is_word(lo) ? S_WORD : S_OTHER);
    size_t bits = prog->sets.size() * prog->bounds.size();
    if (bits <= MEMBER_BITS) {
        prog->member.assign((bits + 63) / 64, 0);
        for (size_t set = 0; set < prog->sets.size(); ++set)
            for (size_t k = 0; k < prog->bounds.size(); ++k)
                if (contains(prog->sets[set], prog->bounds[k])) {
                    size_t bit = set * prog->bounds.size() + k;
                    prog->member[bit / 64] |= uint64_t(1) << (bit % 64);
                }
    }
    prog->mark.assign(prog->states.size(), 0);
    prog->reset_cache();
    return prog;
}

bool ere_search(const EreProgram& prog, const char* text, size_t length) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    int d = 0;
    size_t i = 0, built = 0;
    while (i < length) {
        Sym sym;
        size_t n = decode(s + i, length - i, &sym);
        int k = prog.class_of(sym);
        int next = prog.dstates[size_t(d)].next[size_t(k)];
        if (next == EreProgram::UNKNOWN) {
            // An expression whose states keep coming new (a[ab]{900}c on random a and b)
            // is cheaper followed state by state than through a cache it only fills.
            // (.{1000} builds one state per position once, then reuses them.)
            if (++built > 2 * prog.states.size() + 64 && built * 4 > i)
                return prog.follow(prog.dstates[size_t(d)], s + i, length - i);
            next = prog.step(d, k);
        }
        if (next == EreProgram::MATCHED) return true;
        d = next;
        i += n;
    }
    EreProgram::DState& last = prog.dstates[size_t(d)];
    if (last.at_end < 0) last.at_end = prog.close(last.kernel, last.before, S_EDGE) ? 1 : 0;
    return last.at_end == 1;
}
