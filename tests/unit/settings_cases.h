// The settings file on either platform's private-profile functions: the fixture (a
// fresh temporary folder holding term.ini) and the file helpers shared by the cases
// both platforms run (settings_cases.cpp) and each one's own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "settings/settings.h"

inline void write_raw(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_raw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int i = 0; i < 100 && dir.empty(); ++i) {
            std::filesystem::path p = base / ("zorv_settings_" + std::to_string(random()));
            if (std::filesystem::create_directory(p)) dir = p.string();
        }
        ASSERT_FALSE(dir.empty());
        ini = (std::filesystem::path(dir) / "term.ini").string();
        settings_use_path(ini.c_str());
    }
    void TearDown() override {
        settings_use_path(nullptr);
        std::error_code ignored;  // a case may have taken the folder's rights away
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(dir, ignored);
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
        return names;
    }
    std::string in_dir(const std::string& name) const { return (std::filesystem::path(dir) / name).string(); }
    std::string dir, ini;
};
