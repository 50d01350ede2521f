// Which device stands behind "COM<n>".
//
// Linux numbering when nothing is assigned: COM1..COM32 are /dev/ttyS0..ttyS31,
// COM33..COM64 are /dev/ttyUSB0..31, COM65..COM96 are /dev/ttyACM0..31. A settings
// file or a test assigns any number to any device path with ports_assign.
#pragma once

// From now on "COM<number>" opens device_path. number 1..255 and a non-empty path
// shorter than 260 characters; 1 on success, 0 otherwise. nullptr or "" removes the
// assignment (returns 1).
int ports_assign(int number, const char* device_path);

// Writes the device path for COM<number> into out (size bytes, NUL-ended).
// 1 on success; 0 when number is out of range or out is too small.
int ports_device_path(int number, char* out, int size);
