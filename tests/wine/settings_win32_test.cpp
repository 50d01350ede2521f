// Settings on the Windows private-profile functions: the path beside the exe, the
// documented file, integers read like atol, and texts refused before they could
// break the file into other keys or sections.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "settings/settings.h"

namespace {

void write_raw(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string read_raw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::path base = std::filesystem::temp_directory_path();
        dir = (base / ("zorv_settings_" + std::to_string(std::random_device{}()))).string();
        ASSERT_TRUE(std::filesystem::create_directory(dir));
        ini = dir + "\\term.ini";
        settings_use_path(ini.c_str());
    }
    void TearDown() override {
        settings_use_path(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string dir, ini;
};

TEST(SettingsPath, IsTheExecutablesWithIniExtension) {
    settings_use_path(nullptr);
    std::string path = settings_path();
    const std::string tail = "\\settings_unit_test.ini";
    ASSERT_GT(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
    EXPECT_EQ(path[1], ':');  // a full path with its drive

    char module[300];
    int n = profile_module_path(module, sizeof module);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(module).substr(static_cast<size_t>(n) - 4), ".exe");
    char tiny[4] = "abc";
    EXPECT_EQ(profile_module_path(tiny, sizeof tiny), 0);  // cut paths are refused
    EXPECT_STREQ(tiny, "");
}

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
    ASSERT_NE(settings_write_string("Connection", "Startup", "C:\\my files\\start up.txt"), 0);
    EXPECT_STREQ(settings_read_string("connection", "STARTUP"), "C:\\my files\\start up.txt");
}

TEST_F(SettingsFile, ReadsIntegersLikeAtol) {
    const struct {
        const char* text;
        int32_t expected;
    } cases[] = {
        {"42abc", 42}, {"-3", -3}, {"+7", 7}, {"COM3", 0}, {"", 0}, {"99999999999", 0}, {"-2147483648", INT32_MIN},
    };
    for (const auto& c : cases) {
        write_raw(ini, std::string("[Connection]\r\nPort=") + c.text + "\r\n");
        EXPECT_EQ(settings_read_int("Connection", "Port"), c.expected) << c.text;
    }
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
        {"Connection", "Startup", "a\r\nPort=9"}, {"Connection", "Startup", "a\rb"}, {"Connection", "Startup", "x\n[Evil]"},
        {"Connection", "Po\nrt", "1"},            {"Conn\nection", "Port", "1"},     {"Connection", "Port=2", "1"},
        {"Connection", ";Port", "1"},             {"Connection", "[Port]", "1"},     {"Connection", " ", "1"},
        {"", "Port", "1"},                        {nullptr, "Port", "1"},            {"Connection", nullptr, "1"},
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

TEST_F(SettingsFile, MissingFilesReadEmptyAndBadPathsWriteNothing) {
    settings_use_path((dir + "\\none.ini").c_str());
    EXPECT_STREQ(settings_read_string("Connection", "Port"), "");
    EXPECT_EQ(settings_read_int("Connection", "Port"), 0);
    settings_use_path((dir + "\\missing\\term.ini").c_str());
    EXPECT_EQ(settings_write_int("Connection", "Port", 3), 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "\\missing"));
}

TEST_F(SettingsFile, IntegerWriteOverwritesTheLastReadText) {
    write_raw(ini, "[Connection]\r\nStartup=boot.txt\r\n");
    const char* text = settings_read_string("Connection", "Startup");
    EXPECT_STREQ(text, "boot.txt");
    ASSERT_NE(settings_write_int("Connection", "Port", 42), 0);
    EXPECT_STREQ(text, "42");
}

}  // namespace
