// Settings on the POSIX stand-in for the private-profile functions: the path rule,
// and real INI files in a temporary directory (the exact bytes, odd layouts read
// right, edits keep every other byte, failures and concurrent saves are clean). The
// cases Windows runs too are in settings_cases.cpp.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "settings/settings.h"
#include "tests/unit/settings_cases.h"

namespace {

TEST(SettingsPath, FollowsTheExtensionRule) {
    const std::string long_stem(256, 'a');  // + ".ini" = 260, the most that fits
    const struct {
        std::string module, expected;
    } cases[] = {
        {"D:\\Tools\\term.exe", "D:\\Tools\\term.ini"},
        {"D:\\my.tools\\term", "D:\\my.tools\\term.ini"},
        {"D:\\Tools\\term.x", "D:\\Tools\\term.ini"},
        {"C:term", "C:term.ini"},
        {"/opt/my.tools/term", "/opt/my.tools/term.ini"},
        {"/usr/bin/zorvtalk", "/usr/bin/zorvtalk.ini"},
        {"/opt/term.", "/opt/term.ini"},
        {"term", "term.ini"},
        {"", ""},
        {long_stem, long_stem + ".ini"},
        {long_stem + "b", ""},
        {"/" + std::string(255, 'c') + ".exe", "/" + std::string(255, 'c') + ".ini"},
        {"/" + std::string(300, 'c') + ".exe", ""},
    };
    for (const auto& c : cases) {
        char out[SETTINGS_TEXT_SIZE] = "junk";
        int n = settings_path_from_module(c.module.c_str(), out, sizeof out);
        EXPECT_EQ(std::string(out), c.expected) << c.module;
        EXPECT_EQ(n, int(c.expected.size())) << c.module;
    }
    char small[6] = "junk";
    EXPECT_EQ(settings_path_from_module("ab.exe", small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(settings_path_from_module(nullptr, small, sizeof small), 0);
}

TEST(SettingsPath, ComesFromTheExecutableWithoutOverride) {
    settings_use_path(nullptr);
    std::string path = settings_path();
    const std::string tail = "/settings_unit_test.ini";
    ASSERT_GT(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
    EXPECT_EQ(path[0], '/');
}

TEST(SettingsPath, StaysBesideTheProgramUnlessItsFolderCannotHoldIt) {
    const std::string long_dir = "/" + std::string(250, 'u');  // + "/zorvtalk.ini" is too long
    const char* const user = "/home/u/.config/zorvtalk";
    const std::string user_ini = std::string(user) + "/zorvtalk.ini";
    const struct {
        const char* beside;
        int writable, exists, system;
        const char* user_dir;
        std::string expected;
    } cases[] = {
        {"/opt/zt/bin/zorvtalk.ini", 1, 0, 0, user, "/opt/zt/bin/zorvtalk.ini"},
        {"/opt/zt/zorvtalk.ini", 0, 1, 0, user, "/opt/zt/zorvtalk.ini"},  // an admin's preset copy
        {"/opt/zt/zorvtalk.ini", 0, 0, 0, user, user_ini},
        // Installed: per user even for root, and a stale file there is not taken.
        {"/usr/bin/zorvtalk.ini", 1, 0, 1, user, user_ini},
        {"/usr/bin/zorvtalk.ini", 1, 1, 1, user, user_ini},
        {"/usr/bin/zorvtalk.ini", 0, 0, 1, nullptr, "/usr/bin/zorvtalk.ini"},
        {"C:\\Tools\\term.ini", 0, 0, 0, "", "C:\\Tools\\term.ini"},
        {"/usr/bin/zorvtalk.ini", 0, 0, 1, long_dir.c_str(), "/usr/bin/zorvtalk.ini"},
        {"", 1, 1, 0, "/home/u", ""},
        {nullptr, 1, 1, 0, "/home/u", ""},
    };
    for (const auto& c : cases) {
        char out[SETTINGS_TEXT_SIZE] = "junk";
        EXPECT_EQ(settings_path_choose(c.beside, c.writable, c.exists, c.system, c.user_dir, out, sizeof out),
                  int(c.expected.size()));
        EXPECT_EQ(std::string(out), c.expected) << (c.beside ? c.beside : "null");
    }
}

// The runner and the window must land on one file, wherever that file then lives.
TEST(SettingsPath, RunnerSharesTheWindowsFile) {
    const struct {
        const char *own, *expected;
    } cases[] = {
        {"/opt/zt/zorvtalk-cli.ini", "/opt/zt/zorvtalk.ini"},
        {"C:\\zt\\ZORVTALK-CLI.INI", "C:\\zt\\ZORVTALK.ini"},
        {"/opt/zt-cli.ini/term.ini", "/opt/zt-cli.ini/term.ini"},
        {"/opt/-cli.ini", "/opt/-cli.ini"},
    };
    for (const auto& c : cases) {
        char out[SETTINGS_TEXT_SIZE] = "junk";
        EXPECT_EQ(settings_window_path(c.own, out, sizeof out), int(std::strlen(c.expected)));
        EXPECT_STREQ(out, c.expected) << c.own;
    }
}

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

TEST(SettingsPath, PerUserFolderFollowsXdgConfigHome) {
    const struct {
        const char *xdg, *home, *expected;
    } cases[] = {
        {"/cfg", "/home/u", "/cfg/zorvtalk"},
        {"/cfg/", "/home/u", "/cfg/zorvtalk"},
        {nullptr, "/home/u", "/home/u/.config/zorvtalk"},
        {"", "/home/u", "/home/u/.config/zorvtalk"},
        {"relative/cfg", "/home/u", "/home/u/.config/zorvtalk"},
        {nullptr, nullptr, ""},
        {nullptr, "relative", ""},
    };
    for (const auto& c : cases) {
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg), home("HOME", c.home);
        char out[SETTINGS_TEXT_SIZE] = "junk";
        EXPECT_EQ(profile_user_dir(out, sizeof out), int(std::strlen(c.expected)));
        EXPECT_STREQ(out, c.expected) << (c.xdg ? c.xdg : "unset");
    }
}

TEST_F(SettingsFile, FolderThatCannotHoldTheFileSendsItToTheUserFolder) {
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir + "/cfg").c_str());
    char out[SETTINGS_TEXT_SIZE];
    ASSERT_EQ(settings_locate(ini.c_str(), out, sizeof out), int(ini.size()));
    EXPECT_EQ(std::string(out), ini);
    // A missing folder is not writable even for root.
    const std::string user_ini = dir + "/cfg/zorvtalk/term.ini";
    ASSERT_EQ(settings_locate((dir + "/gone/term.ini").c_str(), out, sizeof out), int(user_ini.size()));
    EXPECT_EQ(std::string(out), user_ini);

    // The first save there makes the folders, private to the user.
    settings_use_path(user_ini.c_str());
    ASSERT_NE(settings_write_int("Connection", "Port", 6), 0);
    EXPECT_EQ(read_raw(user_ini), "[Connection]\nPort=6\n");
    struct stat st;
    ASSERT_EQ(stat((dir + "/cfg/zorvtalk").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(SettingsFile, WritesTheDocumentedBytes) {
    ASSERT_NE(settings_write_int("Connection", "Port", 3), 0);
    ASSERT_NE(settings_write_int("Connection", "Baud", 115200), 0);
    ASSERT_NE(settings_write_string("Connection", "Startup", ""), 0);
    EXPECT_EQ(read_raw(ini), "[Connection]\nPort=3\nBaud=115200\nStartup=\n");
}

TEST_F(SettingsFile, ReadsOddFilesTheWindowsWay) {
    const struct {
        std::string file;
        const char *section, *key, *expected;
    } cases[] = {
        {"[Connection]\r\nPort=5\r\nBaud=9600\r\n", "Connection", "Port", "5"},
        {"[Connection]\nStartup=/tmp/a b.txt", "Connection", "Startup", "/tmp/a b.txt"},
        {"[Connection]\nPort=1\nport=2\n", "Connection", "PORT", "1"},
        {"[Connection]\nBaud=1\n[connection]\nPort=2\n", "Connection", "Port", ""},
        {"[CONNECTION]\nPORT=7\n", "connection", "port", "7"},
        {"  [ Connection ]  \n\t Port  =  9 \t\n", " Connection ", "Port ", "9"},
        {"[Connection]\nStartup=\"C:\\x y\"\n", "Connection", "Startup", "C:\\x y"},
        {"[Connection]\nStartup='a'\n", "Connection", "Startup", "a"},
        {"[Connection]\nStartup=\"a\n", "Connection", "Startup", "\"a"},
        {"[Connection]\nStartup='\n", "Connection", "Startup", "'"},
        {"[Connection]\nStartup=a=b\n", "Connection", "Startup", "a=b"},
        {"[Connection]\n;Port=1\nPort=2\n", "Connection", "Port", "2"},
        {"[Connection]\nPort\n", "Connection", "Port", ""},
        {"Port=1\n[Connection]\n", "Connection", "Port", ""},
        {"[Other]\nPort=1\n", "Connection", "Port", ""},
        {"[Con]nection]\nPort=6\n", "Con]nection", "Port", "6"},
        {std::string("[Connection]\nJunk=a\0b\n\0\0\nPort=4\n", 32), "Connection", "Port", "4"},
        {std::string("[Connection]\nJunk=a\0b\n", 22), "Connection", "Junk", "a"},
        {"[Connection]\nPort=" + std::string(100000, '1') + "\nBaud=3\n", "Connection", "Baud", "3"},
    };
    for (const auto& c : cases) {
        write_raw(ini, c.file);
        EXPECT_STREQ(settings_read_string(c.section, c.key), c.expected) << c.file;
    }
}

TEST_F(SettingsFile, ProfileReadsAreCutToTheBuffer) {
    ASSERT_NE(settings_write_string("Connection", "Startup", std::string(300, 'v').c_str()), 0);
    char buf[4];
    EXPECT_EQ(profile_get_string("Connection", "Missing", "default", buf, sizeof buf, ini.c_str()), 3);
    EXPECT_STREQ(buf, "def");
    EXPECT_EQ(profile_get_string("Connection", "Startup", "", buf, 1, ini.c_str()), 0);
    EXPECT_STREQ(buf, "");
}

TEST_F(SettingsFile, EditsKeepEveryOtherByte) {
    const struct {
        std::string before;
        const char *key, *value;
        std::string after;
    } cases[] = {
        {"; top\r\n[Other]\r\nA = 1\r\n\r\n[Connection]\r\nPort=1\r\nBaud=9600\r\n", "Port", "3",
         "; top\r\n[Other]\r\nA = 1\r\n\r\n[Connection]\r\nPort=3\r\nBaud=9600\r\n"},
        {"[Connection]\nPort=1\n\n[Other]\nx=y\n", "Baud", "9600",
         "[Connection]\nPort=1\nBaud=9600\n\n[Other]\nx=y\n"},
        {"[Connection]\n; note\n\n[B]\n", "Port", "3", "[Connection]\nPort=3\n; note\n\n[B]\n"},
        {"[A]\nx=1", "Port", "3", "[A]\nx=1\n[Connection]\nPort=3\n"},
        {"[Connection]\nPort=1", "Baud", "9600", "[Connection]\nPort=1\nBaud=9600"},
        {"[A]\r\nx=1\r\n", "Port", "3", "[A]\r\nx=1\r\n[Connection]\r\nPort=3\r\n"},
        {"[connection]\n  PORT = 1 ; c\n", "Port", "3", "[connection]\n  PORT=3\n"},
        {"[Connection]\nPort=1\nPort=2\n", "Port", "3", "[Connection]\nPort=3\nPort=2\n"},
        {"[Connection]\nPort=3\n[Connection]\nBaud=1\n", "Baud", "2",
         "[Connection]\nPort=3\nBaud=2\n[Connection]\nBaud=1\n"},
        {"", "Port", "3", "[Connection]\nPort=3\n"},
        {std::string("[X]\nk=\0\xff\n", 9), "Port", "3",
         std::string("[X]\nk=\0\xff\n[Connection]\nPort=3\n", 29)},
    };
    for (const auto& c : cases) {
        write_raw(ini, c.before);
        ASSERT_NE(settings_write_string("Connection", c.key, c.value), 0) << c.before;
        EXPECT_EQ(read_raw(ini), c.after) << c.before;
    }
}

TEST_F(SettingsFile, BadPathsReadEmptyAndWriteNothing) {
    mkfifo((dir + "/fifo.ini").c_str(), 0600);
    const std::string paths[] = {dir, dir + "/missing/term.ini", dir + "/fifo.ini",
                                 std::string(SETTINGS_TEXT_SIZE, 'x')};
    for (const auto& p : paths) {
        settings_use_path(p.c_str());
        EXPECT_STREQ(settings_read_string("Connection", "Port"), "") << p;
        EXPECT_EQ(settings_read_int("Connection", "Port"), 0) << p;
        EXPECT_EQ(settings_write_int("Connection", "Port", 3), 0) << p;
        char keys[8] = "junk";
        EXPECT_EQ(settings_read_keys("Connection", keys, sizeof keys), 0) << p;
        EXPECT_EQ(keys[0], '\0');
    }
    EXPECT_EQ(entries(), std::vector<std::string>{"fifo.ini"});
}

TEST_F(SettingsFile, ReplacementKeepsModeLinksAndOldFileOnFailure) {
    write_raw(ini, "[Connection]\nPort=1\n");
    chmod(ini.c_str(), 0640);
    ASSERT_NE(settings_write_int("Connection", "Port", 2), 0);
    struct stat st;
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    const std::string link = dir + "/link.ini";
    ASSERT_EQ(symlink(ini.c_str(), link.c_str()), 0);
    ASSERT_NE(profile_write_int(link.c_str(), "Connection", "Port", 5), 0);
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_raw(ini), "[Connection]\nPort=5\n");

    if (geteuid() == 0) GTEST_SKIP() << "root ignores permission bits";
    chmod(dir.c_str(), 0500);  // the file stays writable, the directory does not
    EXPECT_EQ(settings_write_int("Connection", "Port", 7), 0);
    EXPECT_EQ(read_raw(ini), "[Connection]\nPort=5\n");
    chmod(dir.c_str(), 0700);
    chmod(ini.c_str(), 0);
    EXPECT_STREQ(settings_read_string("Connection", "Port"), "");
    EXPECT_EQ(settings_write_int("Connection", "Port", 7), 0);
    EXPECT_EQ(entries().size(), 2u);  // term.ini and link.ini, no temporaries
}

pid_t dead_pid() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

TEST_F(SettingsFile, SavesLeaveNoLitter) {
    const std::string tmp = ini + ".tmp", dead = std::to_string(dead_pid());
    // What a killed save leaves: its temporary, and earlier versions' per-process ones.
    write_raw(tmp, "half a file that is longer than the new one");
    for (const std::string& name : std::vector<std::string>{"term.ini.tmp" + dead, "term.ini.tmp" + dead + "-2",
                                    "term.ini.tmp" + std::to_string(getpid()), "term.ini.tmpx",
                                    "other.ini.tmp" + dead})
        write_raw(dir + "/" + name, "x");
    ASSERT_NE(settings_write_int("Connection", "Port", 4), 0);
    EXPECT_EQ(read_raw(ini), "[Connection]\nPort=4\n");
    auto names = entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"other.ini.tmp" + dead, "term.ini",
                                               "term.ini.tmp" + std::to_string(getpid()),
                                               "term.ini.tmpx"}));

    // A save under way elsewhere holds the temporary: wait a bounded time, then give
    // up without touching either file.
    int holder = open(tmp.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    EXPECT_EQ(settings_write_int("Connection", "Port", 5), 0);
    EXPECT_EQ(read_raw(ini), "[Connection]\nPort=4\n");
    EXPECT_TRUE(std::filesystem::exists(tmp));
    close(holder);
    ASSERT_NE(settings_write_int("Connection", "Port", 5), 0);
    EXPECT_FALSE(std::filesystem::exists(tmp));

    // Killed after taking a read-only file's mode: the leftover must not block saves.
    write_raw(tmp, "x");
    chmod(tmp.c_str(), 0444);
    ASSERT_NE(settings_write_int("Connection", "Port", 6), 0);
    EXPECT_EQ(read_raw(ini), "[Connection]\nPort=6\n");
    EXPECT_FALSE(std::filesystem::exists(tmp));
}

TEST_F(SettingsFile, ConcurrentSavesKeepEachOthersKeys) {
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        if (children[c] == 0) {
            const std::string key = "K" + std::to_string(c);
            int ok = 1;
            for (int i = 1; i <= 20; ++i) ok &= settings_write_int("S", key.c_str(), i) != 0;
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(settings_read_int("S", "K0"), 20);
    EXPECT_EQ(settings_read_int("S", "K1"), 20);
    EXPECT_EQ(entries(), std::vector<std::string>{"term.ini"});
}

TEST_F(SettingsFile, RefusesToRewriteAnOversizedFile) {
    const std::string big = "[Connection]\nPort=8\n;" + std::string(2 << 20, 'z') + "\n";
    write_raw(ini, big);
    EXPECT_EQ(settings_read_int("Connection", "Port"), 8);  // the loaded head is read
    EXPECT_EQ(settings_write_int("Connection", "Port", 9), 0);
    EXPECT_EQ(read_raw(ini).size(), big.size());
}

TEST_F(SettingsFile, ListsTheKeysOfASection) {
    write_raw(ini, "[Ports]\nCOM3=/dev/ttyUSB0\n;COM9=x\nCOM7 = /dev/pts/3\ncom3=dup\nplain\n"
                   "[X]\nY=1\n");
    const struct {
        int size, result;
        std::string list;
    } cases[] = {
        {64, 10, std::string("COM3\0COM7\0\0", 11)},
        {11, 10, std::string("COM3\0COM7\0\0", 11)},
        {10, 5, std::string("COM3\0\0", 6)},
        {2, 0, std::string("\0\0", 2)},
        {1, 0, std::string("\0", 1)},
    };
    for (const auto& c : cases) {
        std::vector<char> buf(size_t(c.size), 'j');
        EXPECT_EQ(settings_read_keys("ports", buf.data(), c.size), c.result) << c.size;
        EXPECT_EQ(std::string(buf.data(), c.list.size()), c.list) << c.size;
    }
    char buf[8] = "junk";
    EXPECT_EQ(settings_read_keys("Missing", buf, sizeof buf), 0);
    EXPECT_EQ(std::string(buf, 2), std::string("\0\0", 2));
    EXPECT_EQ(profile_get_string("Ports", nullptr, "", buf, sizeof buf, ini.c_str()), 5);
}

}  // namespace
