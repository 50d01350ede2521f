// The note for input the link dropped.
#include <gtest/gtest.h>

#include "common/stray_input.h"

namespace {

TEST(StrayInput, SaysWhereTheBytesCameFrom) {
    const struct {
        uint32_t count, rest;
        const char* text;
    } cases[] = {
        {5, 0, "dropped 5 bytes of input that answered nothing: \"x\""},
        {1, 0, "dropped 1 byte of input that answered nothing: \"x\""},
        {6, 6, "dropped 6 bytes that ended the reply line given up before: \"x\""},
        {9, 6, "dropped 9 bytes of input that answered nothing (6 of them ended the reply line given up before): \"x\""},
    };
    for (const auto& c : cases) EXPECT_EQ(stray_input_text(c.count, "\"x\"", c.rest), c.text);
}

}  // namespace
