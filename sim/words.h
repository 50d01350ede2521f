// The words of the simulated controller's command language.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ASCII lower case.
std::string lower(const std::string& s);
// The words of s, split at blanks (space, tab).
std::vector<std::string> split_words(const std::string& s);
// A decimal with an optional sign, at most 18 digits, within lo..hi: true with *out set.
bool parse_int(const std::string& s, int64_t lo, int64_t hi, int64_t* out);
// One or two hexadecimal digits, optionally after 0x: true with *out set.
bool parse_hex_byte(const std::string& s, uint8_t* out);
// X, Y, Z, W are 0..3; Q is 4; -1 for any other word.
int axis_index(const std::string& word);
