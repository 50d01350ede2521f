// A local serial device (posix/serial.cpp, win32/serial.cpp): the operations of
// platform/serial.h under their own names and with the same contracts, so that
// serial.h can choose between a device and a network port by the port's name
// (platform/net/serial_choice.cpp).
#pragma once

#include <cstdint>

#include "platform/serial.h"  // SerialOpenError, the escape functions

struct SerialDevice;

SerialDevice* serial_device_open(int port_number);
int serial_device_open_error(int* holder_pid);
const char* serial_device_open_path();
const char* serial_device_denied_text();
int serial_device_configure(SerialDevice* port, int baud);
int serial_device_escape(SerialDevice* port, int function);
int serial_device_purge(SerialDevice* port);
int serial_device_status(SerialDevice* port, uint32_t* in_queue, uint32_t* errors);
int serial_device_alive(SerialDevice* port);
int serial_device_read(SerialDevice* port, uint8_t* buffer, uint32_t count, uint32_t* delivered);
int serial_device_write(SerialDevice* port, const uint8_t* buffer, uint32_t count, uint32_t* written);
int serial_device_wait_event(SerialDevice* port, uint32_t ms, int queued_counts);
int serial_device_wait_handle(SerialDevice* port, int queued_counts, intptr_t* handle);
void serial_device_close(SerialDevice* port);
