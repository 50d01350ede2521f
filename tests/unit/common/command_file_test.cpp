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
        {"\xEF\xBB", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(command_file_head(reinterpret_cast<const uint8_t*>(c.head.data()), c.head.size()), c.result)
            << c.head;
}

// A mark is skipped in the file itself: the first command byte comes next.
TEST(CommandFile, BeginSkipsTheMark) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fputs("\xEF\xBB\xBF" "ok\r", f);
    std::rewind(f);
    char why[64];
    EXPECT_EQ(command_file_begin(f, why, sizeof why), 1);
    EXPECT_EQ(std::fgetc(f), 'o');
    std::fclose(f);
}

}  // namespace
