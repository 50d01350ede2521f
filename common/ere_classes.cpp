// Character sets of the matcher: ranges of characters, and the named classes as glibc
// sees them in a UTF-8 locale (what grep -E matches there), from a table made once.
#include <algorithm>
#include <cstdint>

#include "common/ere_internal.h"

namespace {
#include "common/ere_class_table.inc"
}  // namespace

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
        const uint32_t* table;
        size_t size;
    } classes[] = {
#define ZORV_CLASS(n) {#n, CLASS_##n, sizeof CLASS_##n / sizeof *CLASS_##n}
        ZORV_CLASS(alpha), ZORV_CLASS(digit), ZORV_CLASS(alnum), ZORV_CLASS(upper),
        ZORV_CLASS(lower), ZORV_CLASS(space), ZORV_CLASS(blank), ZORV_CLASS(punct),
        ZORV_CLASS(print), ZORV_CLASS(graph), ZORV_CLASS(cntrl), ZORV_CLASS(xdigit),
#undef ZORV_CLASS
    };
    for (const auto& c : classes)
        if (name == c.name) {
            Sym end = 0;
            for (size_t i = 0; i + 1 < c.size; i += 2) {
                Sym lo = end + c.table[i], hi = lo + c.table[i + 1];
                r->push_back({lo, hi});
                end = hi + 1;
            }
            return true;
        }
    return false;
}

const Ranges& word_ranges() {
    static const Ranges word = [] {
        Ranges r{{'_', '_'}};
        class_ranges("alnum", &r);
        normalize(&r);
        return r;
    }();
    return word;
}

}  // namespace ere
