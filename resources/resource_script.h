// The Windows resources written from the same tables every backend uses: the
// resource script with dialogs 101 and 103, and icon 102 as a real .ico file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources/dialogs.h"

// The window class a dialog template names for a control class.
const char* resource_class_name(UiClass cls);
// One dialog as resource-script text.
std::string resource_dialog_text(const DialogTemplate& dialog);
// The whole script: icon 102 from icon_path, then dialogs 101 and 103.
std::string resource_script(const std::string& icon_path);
// The .ico file: the 32x32 and 16x16 images at 4 bits per pixel with the icon
// palette; palette index 15 becomes the transparent part of the mask.
std::vector<uint8_t> resource_icon_file();
