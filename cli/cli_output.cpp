// Escaping for terminal output. Only what a terminal acts on is touched, so an
// operator still reads replies as sent, and a pipe gets them byte for byte (the
// caller escapes only when the stream is a terminal).
#include "cli/cli_output.h"

std::string cli_terminal_safe(const char* text) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    if (!text) return out;
    for (const char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            out += "\\x";
            out += HEX[c >> 4];
            out += HEX[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}
