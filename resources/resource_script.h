// The Windows resources written from the same tables every backend uses: the
// resource script with dialogs 101 and 103, icon 102 as a real .ico file and
// the programs' version blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources/dialogs.h"

// One dialog as resource-script text.
std::string resource_dialog_text(const DialogTemplate& dialog);
// A VERSIONINFO block (resource 1) for one program: version "1.8" gives the numbers
// 1,8,0,0 and the text 1.8 as file and product version.
std::string resource_version_text(const char* version, const char* file_name, const char* description);
// The window's script: icon 102 from icon_path, its version, then dialogs 101 and 103.
std::string resource_script(const std::string& icon_path);
// The runner's script: the same icon and its own version block.
std::string resource_cli_script(const std::string& icon_path);
// The .ico file: the artwork at each of ICON_ICO_SIZES as 32-bit images with alpha
// and a mask of the fully transparent pixels.
std::vector<uint8_t> resource_icon_file();
