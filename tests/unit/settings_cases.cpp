// The settings cases both platforms run, on their own private-profile functions: the
// documented file, integers read like atol, long values, texts that would break the
// file, key lists, missing files and folders. Files are written with CR LF, as on
// Windows; the POSIX stand-in reads them the same way.
#include "tests/unit/settings_cases.h"

#include <cstdint>

#include "platform/profile.h"

namespace {

TEST_F(SettingsFile, WritesTheDocumentedFileAndReadsItBack) {
    ASSERT_NE(settings_write_int("Connection", "Port", 3), 0);
    ASSERT_NE(settings_write_int("Connection", "Baud", 115200), 0);
    ASSERT_NE(settings_write_string("Connection", "Startup", ""), 0);
    std::string file = read_raw(ini);
    for (const char* line : {"[Connection]", "Port=3", "Baud=115200", "Startup="})
        EXPECT_NE(file.find(line), std::string::npos) << line << " in " << file;
    EXPECT_EQ(settings_read_int("CONNECTION", "port"), 3);
    EXPECT_EQ(settings_read_int("Connection", "Baud"), 115200);
    EXPECT_STREQ(settings_read_string("Connection", "Startup"), "");
    for (int32_t v : {0, -1, INT32_MIN, INT32_MAX, 921600}) {
        ASSERT_NE(settings_write_int("Connection", "Port", v), 0) << v;
        EXPECT_EQ(settings_read_int("Connection", "Port"), v);
    }
    EXPECT_STREQ(settings_read_string("Connection", "Port"), "921600");
    ASSERT_NE(settings_write_string("Connection", "Startup", "C:\\my files\\start up.txt"), 0);
    EXPECT_STREQ(settings_read_string("connection", "STARTUP"), "C:\\my files\\start up.txt");
    EXPECT_EQ(entries(), std::vector<std::string>{"term.ini"});  // no temporary left
}

TEST_F(SettingsFile, ReadsIntegersLikeAtol) {
    const struct {
        const char* text;
        int32_t expected;
    } cases[] = {
        {" 42", 42},        {"42abc", 42},         {"-3", -3},
        {"+7", 7},          {"COM3", 0},           {"", 0},
        {"- 3", 0},         {"99999999999", 0},    {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},                {"2147483648", 0},
        {"-2147483649", 0}, {"0000000000000042", 42},
    };
    for (const auto& c : cases) {
        write_raw(ini, std::string("[Connection]\r\nPort=") + c.text + "\r\n");
        EXPECT_EQ(settings_read_int("Connection", "Port"), c.expected) << c.text;
    }
    EXPECT_EQ(settings_read_int("Connection", "Baud"), 0);
}

TEST_F(SettingsFile, CutsLongValuesAt260OnRead) {
    const std::string value(300, 'v');
    ASSERT_NE(settings_write_string("Connection", "Startup", value.c_str()), 0);
    EXPECT_EQ(std::string(settings_read_string("Connection", "Startup")), value.substr(0, 260));
    EXPECT_NE(read_raw(ini).find(value), std::string::npos);  // stored whole
}

TEST_F(SettingsFile, RefusesTextThatWouldBreakTheFile) {
    const std::string before = "[Connection]\r\nPort=1\r\n";
    const struct {
        const char *section, *key, *value;
    } cases[] = {
        {"Connection", "Startup", "a\r\nPort=9"}, {"Connection", "Startup", "a\nPort=9"},
        {"Connection", "Startup", "a\rb"},        {"Connection", "Startup", "x\n[Evil]"},
        {"Connection", "Po\nrt", "1"},            {"Conn\nection", "Port", "1"},
        {"Connection", "Port=2", "1"},            {"Connection", ";Port", "1"},
        {"Connection", "[Port]", "1"},            {"Connection", " ", "1"},
        {"", "Port", "1"},                        {nullptr, "Port", "1"},
        {"Connection", nullptr, "1"},
    };
    for (const auto& c : cases) {
        write_raw(ini, before);
        EXPECT_EQ(settings_write_string(c.section, c.key, c.value), 0) << (c.key ? c.key : "(null)");
        EXPECT_EQ(read_raw(ini), before);
        EXPECT_EQ(settings_read_int("Connection", "Port"), 1);
    }
}

TEST_F(SettingsFile, ListsWholeKeyNamesThatFit) {
    write_raw(ini, "[Ports]\r\nCOM3=\\\\.\\COM3\r\nCOM17=x\r\n[X]\r\nY=1\r\n");
    const struct {
        int size, result;
        std::string list;
    } cases[] = {
        {64, 11, std::string("COM3\0COM17\0\0", 12)},
        {12, 11, std::string("COM3\0COM17\0\0", 12)},
        {10, 5, std::string("COM3\0\0", 6)},
        {2, 0, std::string("\0\0", 2)},
    };
    for (const auto& c : cases) {
        std::vector<char> buf(static_cast<size_t>(c.size), 'j');
        EXPECT_EQ(settings_read_keys("ports", buf.data(), c.size), c.result) << c.size;
        EXPECT_EQ(std::string(buf.data(), c.list.size()), c.list) << c.size;
    }
    char buf[8] = "junk";
    EXPECT_EQ(settings_read_keys("Missing", buf, sizeof buf), 0);
    EXPECT_EQ(std::string(buf, 2), std::string("\0\0", 2));
}

TEST_F(SettingsFile, MissingFilesReadEmptyAndMissingFoldersTakeNoWrite) {
    settings_use_path(in_dir("none.ini").c_str());
    EXPECT_STREQ(settings_read_string("Connection", "Port"), "");
    EXPECT_EQ(settings_read_int("Connection", "Port"), 0);
    const std::string missing = in_dir("missing");
    settings_use_path((std::filesystem::path(missing) / "term.ini").string().c_str());
    EXPECT_EQ(settings_write_int("Connection", "Port", 3), 0);
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(entries(), std::vector<std::string>{});
}

TEST_F(SettingsFile, IntegerWriteOverwritesTheLastReadText) {
    write_raw(ini, "[Connection]\r\nStartup=boot.txt\r\n");
    const char* text = settings_read_string("Connection", "Startup");
    EXPECT_STREQ(text, "boot.txt");
    ASSERT_NE(settings_write_int("Connection", "Port", 42), 0);
    EXPECT_STREQ(text, "42");
    EXPECT_EQ(settings_read_string("Connection", "Missing"), text);
    EXPECT_STREQ(text, "");
}

}  // namespace
