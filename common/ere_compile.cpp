// The expression compiler: grep -E's syntax parsed into a tree (refusing what cannot be
// matched as grep matches it, or not at a bounded cost), then written out as a Thompson
// automaton with its repeats copied out, for the automaton in ere_match.cpp to run.
#include <algorithm>
#include <cstring>

#include "common/ere_internal.h"
#include "common/ere_match.h"

using namespace ere;

namespace {

constexpr int MAX_COUNT = 32767;  // grep's largest repeat count
constexpr size_t MAX_DEPTH = 1000;  // of the tree, which the compiler walks recursively

struct Node {
    enum Kind { EMPTY, SET, ASSERT, CAT, ALT, REP } kind;
    explicit Node(Kind k) : kind(k) {}
    int arg = 0;  // SET: the set; ASSERT: the kind
    int min = 0, max = 0;  // REP: max -1 for no limit
    std::vector<int> kids;
    uint64_t size = 0;  // automaton states it writes out, capped just above the limit
    size_t depth = 1;
};

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
    std::vector<std::string> classes_;  // named in the bracket being read

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
        const Ranges& word = word_ranges();
        Ranges space;
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
                // Each class once: [[:alpha:][:alpha:]...] costs no more than [[:alpha:]].
                if (std::find(classes_.begin(), classes_.end(), name) != classes_.end()) return 0;
                if (!class_ranges(name, r)) return fail("unknown character class '" + whole + "'");
                classes_.push_back(name);
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
        classes_.clear();
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
    if (!prog->build_classes(error)) return nullptr;
    return prog;
}
