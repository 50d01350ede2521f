// The start of a command file: byte order marks and UTF-16.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/command_file.h"

namespace {

TEST(CommandFile, HeadTells) {
    const struct {
        std::string head;
        int result;
    } cases[] = {
        {"echo", 0},
        {"\xEF\xBB\xBF" "e", 3},
        {"\xFF\xFE" "e", -1},
        {"\xFE\xFF", -1},
        {std::string("e\0c\0", 4), -1},
        {std::string("\0e\0c", 4), -1},
        {std::string("\0" "ab\0", 4), 0},  // a skip block
        {std::string("\r\0\n\0", 4), -1},
        {"", 0},
        {"\xEF\xBB", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(command_file_head(reinterpret_cast<const uint8_t*>(c.head.data()), c.head.size()), c.result)
            << c.head;
}

TEST(CommandFile, BeginLeavesTheFileAtItsFirstCommand) {
    const struct {
        std::string bytes;
        int result;
        std::string rest;
    } cases[] = {
        {"\xEF\xBB\xBF" "echo one\r", 1, "echo one\r"},
        {"ok\r", 1, "ok\r"},
        {"o", 1, "o"},
        {std::string("\xFF\xFE" "e\0", 4), 0, ""},
    };
    for (const auto& c : cases) {
        std::FILE* f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
        std::rewind(f);
        char why[64];
        EXPECT_EQ(command_file_begin(f, why, sizeof why), c.result);
        if (c.result) {
            char rest[32] = "";
            size_t n = std::fread(rest, 1, sizeof rest, f);
            EXPECT_EQ(std::string(rest, n), c.rest);
        } else {
            EXPECT_STREQ(why, "not a text command file (UTF-16)");
        }
        std::fclose(f);
    }
}

}  // namespace
