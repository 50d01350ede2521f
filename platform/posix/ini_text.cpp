#include "platform/posix/ini_text.h"

#include <set>

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

IniRange trim(const std::string& s, IniRange r) {
    while (r.begin < r.end && is_blank(s[r.begin])) ++r.begin;
    while (r.end > r.begin && is_blank(s[r.end - 1])) --r.end;
    return r;
}

bool same_name(const std::string& s, IniRange r, const std::string& name) {
    if (r.end - r.begin != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (lower(s[r.begin + i]) != lower(name[i])) return false;
    return true;
}

// Parses the line starting at pos (pos < s.size()).
IniLine parse_line(const std::string& s, size_t pos) {
    IniLine line;
    line.begin = pos;
    size_t lf = s.find('\n', pos);
    line.has_end = lf != std::string::npos;
    line.next = line.has_end ? lf + 1 : s.size();
    line.content_end = line.has_end ? lf : s.size();
    if (line.content_end > pos && s[line.content_end - 1] == '\r') --line.content_end;

    IniRange all = trim(s, IniRange{pos, line.content_end});
    if (all.begin == all.end || s[all.begin] == ';') return line;
    if (s[all.begin] == '[') {
        // The last ']' closes the name, as Windows reads it.
        size_t close = s.rfind(']', all.end - 1);
        if (close != std::string::npos && close > all.begin) {
            line.kind = INI_LINE_SECTION;
            line.name = trim(s, IniRange{all.begin + 1, close});
            return line;
        }
    }
    size_t eq = s.find('=', all.begin);
    if (eq == std::string::npos || eq >= all.end) return line;  // no '=': not a key
    line.kind = INI_LINE_KEY;
    line.name = trim(s, IniRange{all.begin, eq});
    line.value = trim(s, IniRange{eq + 1, all.end});
    return line;
}

}  // namespace

std::string ini_trimmed(const char* text) {
    std::string s = text ? text : "";
    IniRange r = trim(s, IniRange{0, s.size()});
    return s.substr(r.begin, r.end - r.begin);
}

IniFound ini_find(const std::string& s, const std::string& section, const std::string* key) {
    IniFound f;
    size_t pos = 0;
    while (pos < s.size()) {
        IniLine line = parse_line(s, pos);
        pos = line.next;
        if (!f.section) {
            if (line.kind == INI_LINE_SECTION && same_name(s, line.name, section)) {
                f.section = true;
                f.header = line;
                f.section_end = s.size();
            }
            continue;
        }
        if (line.kind == INI_LINE_SECTION) {
            f.section_end = line.begin;
            break;
        }
        if (line.kind != INI_LINE_KEY) continue;
        f.any_key = true;
        f.last_key = line;
        if (key && !f.key && same_name(s, line.name, *key)) {
            f.key = true;
            f.key_line = line;
        }
    }
    return f;
}

IniRange ini_unquoted(const std::string& s, IniRange v) {
    if (v.end - v.begin >= 2 && (s[v.begin] == '"' || s[v.begin] == '\'') && s[v.end - 1] == s[v.begin]) {
        ++v.begin;
        --v.end;
    }
    return v;
}

std::vector<std::string> ini_key_names(const std::string& s, const IniFound& f) {
    std::vector<std::string> names;
    if (!f.section) return names;
    std::set<std::string> seen;  // lower-cased, so a repeated key is listed once
    size_t pos = f.header.next;
    while (pos < f.section_end) {
        IniLine line = parse_line(s, pos);
        pos = line.next;
        if (line.kind != INI_LINE_KEY || line.name.begin == line.name.end) continue;
        std::string name = s.substr(line.name.begin, line.name.end - line.name.begin);
        if (name.find('\0') != std::string::npos) continue;
        std::string folded = name;
        for (char& c : folded) c = lower(c);
        if (seen.insert(folded).second) names.push_back(name);
    }
    return names;
}

std::string ini_with_value(std::string s, const std::string& sec, const std::string& name, const std::string& val) {
    // New lines follow the file's own line ends; a new file gets LF, the Linux way.
    size_t first_lf = s.find('\n');
    std::string eol = (first_lf != std::string::npos && first_lf > 0 && s[first_lf - 1] == '\r')
                          ? "\r\n"
                          : "\n";

    IniFound f = ini_find(s, sec, &name);
    if (f.key) {
        // Keep the key's spelling and indentation as found; only the value changes.
        const IniLine& k = f.key_line;
        std::string line = s.substr(k.name.begin, k.name.end - k.name.begin) + "=" + val;
        s.replace(k.name.begin, k.content_end - k.name.begin, line);
    } else if (f.section) {
        const IniLine& after = f.any_key ? f.last_key : f.header;
        std::string kv = name + "=" + val;
        s.insert(after.next, after.has_end ? kv + eol : eol + kv);
    } else {
        std::string tail;
        if (!s.empty() && s.back() != '\n') tail = eol;
        tail += "[" + sec + "]" + eol + name + "=" + val + eol;
        s += tail;
    }
    return s;
}
