// Settings on the Windows private-profile functions: the path beside the exe. The
// file cases both platforms run are in tests/unit/settings_cases.cpp.
#include <gtest/gtest.h>

#include <string>

#include "platform/profile.h"
#include "settings/settings.h"

namespace {

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

}  // namespace
