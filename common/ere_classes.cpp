// Character sets of the matcher: ranges of characters and the named classes.
#include <algorithm>

#include "common/ere_internal.h"

namespace ere {

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

const Ranges& word_ranges() {
    static const Ranges word{{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}};
    return word;
}

}  // namespace ere
