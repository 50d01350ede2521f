#include "common/stray_input.h"

std::string stray_input_text(uint32_t count, const char* excerpt) {
    return "dropped " + std::to_string(count) + (count == 1 ? " byte" : " bytes") +
           " of input that answered nothing" + (excerpt && *excerpt ? std::string(": ") + excerpt : std::string());
}
