// Which device (or network address, rfc2217:// or tcp://) stands behind "COM<n>".
//
// Linux numbering when nothing is assigned, 32 numbers per driver: COM1..32 are
// /dev/ttyS0..31, COM33..64 /dev/ttyUSB0..31, COM65..96 /dev/ttyACM0..31,
// COM97..128 /dev/ttyAMA0..31, COM129..160 /dev/rfcomm0..31, COM161..192
// /dev/ttyXRUSB0..31. A settings file or a test assigns any number to any device
// path with ports_assign.
#pragma once

// From now on "COM<number>" opens device_path. number 1..255 and a non-empty path
// shorter than 260 characters; 1 on success, 0 otherwise. nullptr or "" removes the
// assignment (returns 1).
int ports_assign(int number, const char* device_path);

// 1 when a Port text names a device by its path and is to be opened as typed: on
// Linux it begins with '/', on Windows with "\\.\". 0 for null and other texts.
int ports_is_device_path(const char* text);
// Gives device_path a COM number for this run (the highest one that names no device,
// else 255) and returns it; 0 when the path is empty or too long.
int ports_assign_free(const char* device_path);

// Writes the device path for COM<number> into out (size bytes, NUL-ended).
// 1 on success; 0 when number is out of range or out is too small.
int ports_device_path(int number, char* out, int size);

// Lists the serial ports the system has: port_name ("COM<n>") and device_name (the
// device behind it) for each; returns how many were listed. On Linux: /dev/ttyS*
// with a real UART behind them, then USB, ACM and the other usual serial drivers,
// numbered as above.
int ports_list_system(void (*fn)(const char* port_name, const char* device_name, void* context), void* context);

// What the system knows of the adapter behind a device path, such as "FTDI FT232R
// USB UART, serial A5XK3RJH" (on Linux from the USB device in sysfs), written into
// out (size bytes, NUL-ended, cut to fit). Returns its length; 0 with out empty when
// nothing is known, always on Windows. Symlinks (/dev/serial/by-id/...) are followed.
int ports_describe(const char* device_path, char* out, int size);

// For tests: read /dev and /sys under root instead of the real ones (nullptr or ""
// restores them). Device paths handed out still read "/dev/...".
void ports_set_system_root(const char* root);
