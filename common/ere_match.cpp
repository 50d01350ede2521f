// The automaton that runs a compiled expression: its deterministic states are built
// lazily while reading the reply, so each reply character costs one table look-up once
// its state is known, and at most one pass over the automaton's states when it is not.
#include <algorithm>
#include <cstring>

#include "common/ere_internal.h"
#include "common/ere_match.h"

using namespace ere;

namespace {

constexpr size_t MAX_CLASSES = 4096;  // character classes, each a column of every state
constexpr size_t MEMBER_BITS = size_t(1) << 24;  // the set-by-class table, when it fits
constexpr size_t CACHE_BYTES = 4u << 20;  // deterministic states kept between replies

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

}  // namespace

namespace ere {

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

}  // namespace ere

bool EreProgram::build_classes(std::string* error) {
    bool words = false;
    for (const State& st : states)
        words = words || (st.op == State::ASSERT && st.arg != A_BEGIN && st.arg != A_END);
    std::vector<const Ranges*> parts;
    for (const Ranges& r : sets) parts.push_back(&r);
    if (words) parts.push_back(&word_ranges());

    // Every part's edges split the characters into ranges that no part tells apart.
    std::vector<Sym> b{0};
    for (const Ranges* r : parts)
        for (const auto& x : *r) {
            b.push_back(x.first);
            if (x.second < SYM_MAX) b.push_back(x.second + 1);
        }
    std::sort(b.begin(), b.end());
    b.erase(std::unique(b.begin(), b.end()), b.end());

    // A range's class is the parts that hold it: ranges held by the same ones share it.
    size_t width = parts.size() / 64 + 1;
    std::vector<uint64_t> held(b.size() * width, 0);
    for (size_t p = 0; p < parts.size(); ++p)
        for (const auto& x : *parts[p])
            for (size_t i = size_t(std::lower_bound(b.begin(), b.end(), x.first) - b.begin());
                 i < b.size() && b[i] <= x.second; ++i)
                held[i * width + p / 64] |= uint64_t(1) << (p % 64);
    std::unordered_map<std::string, int> ids;
    range_class.resize(b.size());
    for (size_t i = 0; i < b.size(); ++i) {
        std::string key(reinterpret_cast<const char*>(&held[i * width]), width * sizeof(uint64_t));
        auto got = ids.emplace(std::move(key), int(class_lo.size()));
        if (got.second) {
            class_lo.push_back(b[i]);
            bool word = words && (held[i * width + sets.size() / 64] >> (sets.size() % 64) & 1);
            class_side.push_back(word ? S_WORD : S_OTHER);
        }
        range_class[i] = got.first->second;
    }
    if (class_lo.size() > MAX_CLASSES) {
        if (error) *error = "too large: it tells apart more than " + std::to_string(MAX_CLASSES) + " kinds of character";
        return false;
    }
    bounds = std::move(b);
    for (Sym c = 0; c < 128; ++c)
        ascii_class[c] = range_class[size_t(std::upper_bound(bounds.begin(), bounds.end(), c) - bounds.begin() - 1)];
    size_t classes = class_lo.size(), bits = sets.size() * classes;
    if (bits <= MEMBER_BITS) {
        member.assign((bits + 63) / 64, 0);
        for (size_t set = 0; set < sets.size(); ++set)
            for (size_t k = 0; k < classes; ++k)
                if (contains(sets[set], class_lo[k])) {
                    size_t bit = set * classes + k;
                    member[bit / 64] |= uint64_t(1) << (bit % 64);
                }
    }
    mark.assign(states.size(), 0);
    reset_cache();
    return true;
}

bool EreProgram::holds_class(int set, int k) const {
    if (member.empty()) return contains(sets[size_t(set)], class_lo[size_t(k)]);
    size_t bit = size_t(set) * class_lo.size() + size_t(k);
    return member[bit / 64] >> (bit % 64) & 1;
}

int EreProgram::class_of(Sym s) const {
    if (s < 128) return ascii_class[s];
    return range_class[size_t(std::upper_bound(bounds.begin(), bounds.end(), s) - bounds.begin()) - 1];
}

// Follows every empty move from kernel (and the start, as a search may begin
// anywhere) with the characters either side known; the consuming states reached go
// to `consume`. True when the whole expression has matched.
// With k >= 0, the states entered on a character of class k go to *entered instead.
bool EreProgram::close(const std::vector<int>& kernel, int before, int after, int k,
                       std::vector<int>* entered) const {
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

int EreProgram::add_dstate(int before, std::vector<int> kernel) const {
    std::string key(1, char(before));
    key.append(reinterpret_cast<const char*>(kernel.data()), kernel.size() * sizeof(int));
    auto it = dindex.find(key);
    if (it != dindex.end()) return it->second;
    size_t cost = key.size() * 2 + (class_lo.size() + kernel.size()) * sizeof(int) + 128;
    if (dbytes + cost > CACHE_BYTES && !dstates.empty()) reset_cache();
    dbytes += cost;
    dstates.push_back({before, std::move(kernel), std::vector<int>(class_lo.size(), UNKNOWN), -1});
    dindex.emplace(std::move(key), int(dstates.size()) - 1);
    return int(dstates.size()) - 1;
}

void EreProgram::reset_cache() const {
    dstates.clear();
    dindex.clear();
    dbytes = 0;
    ++resets;
    add_dstate(S_EDGE, {});  // the start is always state 0
}

// The rest of a search without building states: the automaton's states themselves
// are followed, from `from`, over text[0, length).
bool EreProgram::follow(const DState& from, const unsigned char* text, size_t length) const {
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

int EreProgram::step(int d, int k) const {
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
