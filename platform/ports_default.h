// What each platform supplies to the shared COM-number table: the device a number
// names when nothing was assigned to it.
#pragma once

#include <string>

// The default device path for COM<number>, or "" when the number has none.
std::string ports_default_path(int number);
