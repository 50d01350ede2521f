// An in-memory serial port and a fake clock for the link's unit tests.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

struct FakeSerial {
    bool open_fails = false;
    int open_error = 1;  // SERIAL_OPEN_NO_DEVICE: the reason an open_fails open gives
    std::string open_path;  // the device an open_fails open names
    bool configure_fails = false;
    bool lost = false;            // every query fails from now on
    uint32_t pending_errors = 0;  // reported (and cleared) by the next query
    uint32_t write_limit = UINT32_MAX;  // bytes accepted before writes fail
    int opened_port = 0, configured_baud = 0;
    int open_count = 0, close_count = 0, purge_count = 0;
    std::vector<int> escapes;
    std::deque<uint8_t> input;    // bytes the controller has sent
    std::vector<uint8_t> output;  // bytes the link has written
    // Called after every write with the bytes just written: the controller's answer.
    std::function<void(const std::vector<uint8_t>&)> on_write;
    // Called when the link waits on the port or sleeps: time passes, bytes may arrive.
    std::function<void(uint64_t now_ms)> on_time;
    // Called at every query of the port with its count from 1: bytes may arrive
    // during one, after the caller's own look.
    std::function<void(int query)> on_status;
    int status_calls = 0;
    uint64_t now_ms = 0;
    uint64_t slept_ms = 0;
    // The link's waits on the port end on new input, a hang-up or a line error, at
    // their deadline, or on a window event: by default one arrives every
    // event_every_ms; 0 leaves only the one set for event_at_ms.
    uint32_t event_every_ms = 1;
    uint64_t event_at_ms = UINT64_MAX;
    int waits = 0;  // how often the link blocked on the port
};

// The one fake port; reset() restores a fresh state and installs the fake clock.
FakeSerial& fake_serial();
void fake_serial_reset();
void fake_push(const std::vector<uint8_t>& bytes);
void fake_push(const char* text);
