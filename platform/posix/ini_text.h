// The text of a private-profile INI file, read and edited by the Windows rules with no
// file access: profile.cpp loads the file, asks here, and replaces it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct IniRange {
    size_t begin = 0, end = 0;
};

enum IniLineKind { INI_LINE_OTHER, INI_LINE_SECTION, INI_LINE_KEY };

struct IniLine {
    size_t begin = 0;        // first byte of the line
    size_t content_end = 0;  // end of the text, before CR LF or LF
    size_t next = 0;         // first byte of the following line
    bool has_end = false;    // the line is ended by LF
    IniLineKind kind = INI_LINE_OTHER;
    IniRange name;   // section or key name, trimmed
    IniRange value;  // key value, trimmed, quotes still on
};

// Where a section starts and ends, and the key of interest inside it.
struct IniFound {
    bool section = false;
    IniLine header;
    size_t section_end = 0;  // start of the next header or end of data
    bool key = false;
    IniLine key_line;
    bool any_key = false;
    IniLine last_key;  // last key line of the section
};

// A caller's name (null: ""), trimmed the way names in the file are.
std::string ini_trimmed(const char* text);

// The first section named section (ASCII case ignored) wins, and within it the first
// key named *key; key may be null when only the section is wanted.
IniFound ini_find(const std::string& s, const std::string& section, const std::string* key);

// A key's value without one pair of matching quotes ('' or "") around it.
IniRange ini_unquoted(const std::string& s, IniRange value);

// The names of the keys of the section f found, in file order, each once (names that
// differ only in ASCII case are one); empty names and names holding a NUL are left out.
std::vector<std::string> ini_key_names(const std::string& s, const IniFound& f);

// The file's text s with section sec's key name set to val, added where missing.
std::string ini_with_value(std::string s, const std::string& sec, const std::string& name, const std::string& val);
