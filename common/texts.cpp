#include "common/texts.h"

#include <cstdio>

std::string report_text(int16_t q, int32_t x, int32_t y, int32_t z, int32_t w) {
    char text[96];
    std::snprintf(text, sizeof text, "Q=%d, X=%ld, Y=%ld, Z=%ld, W=%ld", static_cast<int>(q), static_cast<long>(x),
                  static_cast<long>(y), static_cast<long>(z), static_cast<long>(w));
    return text;
}

std::string no_reply_text(const std::string& why) { return "(no reply: " + why + ")"; }

std::string not_sent_text(const std::string& why) { return "(not sent: " + why + ")"; }

std::string com_port_name(int number) { return "COM" + std::to_string(number); }

std::string connect_string(int port, int baud) { return com_port_name(port) + ": " + std::to_string(baud); }

std::string progress_text(long line, long total) {
    std::string text = "line " + std::to_string(line);
    if (total >= 0) text += " of " + std::to_string(total);
    return text;
}
