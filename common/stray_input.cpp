#include "common/stray_input.h"

std::string stray_input_text(uint32_t count, const char* excerpt, uint32_t rest) {
    std::string what = " of input that answered nothing";
    // The rest of a line given up earlier followed that command, not this one.
    if (rest && rest >= count)
        what = " that ended the reply line given up before";
    else if (rest)
        what += " (" + std::to_string(rest) + " of them ended the reply line given up before)";
    return "dropped " + std::to_string(count) + (count == 1 ? " byte" : " bytes") + what +
           (excerpt && *excerpt ? std::string(": ") + excerpt : std::string());
}
