// The words of the simulated controller's command language: splitting a line and
// reading its numbers, hexadecimal bytes and axis names.
#include "words.h"

std::string lower(const std::string& s) {
    std::string r = s;
    for (char& ch : r)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return r;
}

namespace {
bool is_blank(char ch) { return ch == ' ' || ch == '\t'; }
}  // namespace

std::vector<std::string> split_words(const std::string& s) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && is_blank(s[i])) i++;
        size_t start = i;
        while (i < s.size() && !is_blank(s[i])) i++;
        if (i > start) words.push_back(s.substr(start, i - start));
    }
    return words;
}

bool parse_int(const std::string& s, int64_t lo, int64_t hi, int64_t* out) {
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    if (i == s.size() || s.size() - i > 18) return false;
    int64_t v = 0;
    for (; i < s.size(); i++) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    if (neg) v = -v;
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool parse_hex_byte(const std::string& s, uint8_t* out) {
    size_t i = (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) ? 2 : 0;
    if (s.size() - i < 1 || s.size() - i > 2) return false;
    unsigned v = 0;
    for (; i < s.size(); i++) {
        char ch = s[i];
        unsigned d;
        if (ch >= '0' && ch <= '9') d = static_cast<unsigned>(ch - '0');
        else if (ch >= 'a' && ch <= 'f') d = static_cast<unsigned>(ch - 'a' + 10);
        else if (ch >= 'A' && ch <= 'F') d = static_cast<unsigned>(ch - 'A' + 10);
        else return false;
        v = v * 16 + d;
    }
    *out = static_cast<uint8_t>(v);
    return true;
}

// X, Y, Z, W are 0..3; Q is 4.
int axis_index(const std::string& word) {
    std::string w = lower(word);
    if (w == "x") return 0;
    if (w == "y") return 1;
    if (w == "z") return 2;
    if (w == "w") return 3;
    if (w == "q") return 4;
    return -1;
}
