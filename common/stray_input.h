// The words both front ends use for input the link dropped before a command.
#pragma once

#include <cstdint>
#include <string>

// "dropped 5 bytes of input that answered nothing: "late\x0d"" for count bytes and
// the link's quoted excerpt of them; rest of them (link_dropped_rest) ended a reply
// line given up before, and the text says so.
std::string stray_input_text(uint32_t count, const char* excerpt, uint32_t rest = 0);
