// Texts the window and the runner both show, worded once.
#pragma once

#include <cstdint>
#include <string>

// What is shown when no status report came.
constexpr char REPORT_NO_DATA[] = "No Data";

// "Q=-1, X=0, Y=1000, Z=-5, W=7": one status report.
std::string report_text(int16_t q, int32_t x, int32_t y, int32_t z, int32_t w);

// "(no reply: timed out after 1 s)": a command that got no reply, and why.
std::string no_reply_text(const std::string& why);
// "(not sent: WHY)": a line the link refused to send.
std::string not_sent_text(const std::string& why);

// "COM5": the name a port number goes by.
std::string com_port_name(int number);

// "COM5: 115200": what the link is opened with.
std::string connect_string(int port, int baud);

// "line 3 of 10", or "line 3" when the total is not known (negative).
std::string progress_text(long line, long total);
