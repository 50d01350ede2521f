// The link's read speed on Windows, side by side in one run against zorv-sim on a COM
// port (under Wine: tests/wine/with-sims maps it): a 64 KiB reply through the link,
// through a plain Win32 reader that takes what the port holds in each ReadFile, and
// through the calls the link made per byte before it read into a buffer (two queries
// and an overlapped one-byte read). Five rounds; the medians are printed.
//   tests/wine/with-sims build/linux/bin/zorv-sim 27 -- tests/wine/wine-run build/win64/bin/link_bench.exe
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/link.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int ROUNDS = 5;
constexpr int REPLY = 65536;

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double through_link(int port) {
    TargetLink* link = link_connect(("COM" + std::to_string(port) + ": 115200").c_str());
    if (!link) return -1;
    static char reply[LINK_WHOLE_REPLY_MAX + 1];
    auto t = Clock::now();
    int ok = link_exchange_whole(link, ("len " + std::to_string(REPLY)).c_str(), reply, sizeof reply);
    double s = seconds_since(t);
    link_close(&link);
    return ok ? s : -1;
}

// A plain reader: reads return at once with what is there. per_byte: the link's calls
// of before instead, for each byte two ClearCommError and an overlapped ReadFile.
double through_raw(int port, bool per_byte) {
    std::string path = "\\\\.\\COM" + std::to_string(port);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           per_byte ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    COMMTIMEOUTS to{};
    if (!per_byte) to.ReadIntervalTimeout = MAXDWORD;
    SetCommTimeouts(h, &to);
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::string command = "len " + std::to_string(REPLY) + "\r";
    auto io = [&](bool write, void* buffer, DWORD count, DWORD* done) {
        OVERLAPPED ov{};
        ov.hEvent = event;
        BOOL ok = write ? WriteFile(h, buffer, count, nullptr, &ov) : ReadFile(h, buffer, count, nullptr, &ov);
        if (!ok && GetLastError() != ERROR_IO_PENDING) return false;
        return GetOverlappedResult(h, &ov, done, TRUE) != 0;
    };
    DWORD n = 0;
    auto t = Clock::now();
    bool ok = io(true, &command[0], static_cast<DWORD>(command.size()), &n);
    std::vector<char> buf(4096);
    for (bool done = false; ok && !done;) {
        if (seconds_since(t) > 120) ok = false;
        n = 0;
        if (per_byte) {
            DWORD errors = 0;
            COMSTAT stat{};
            ClearCommError(h, &errors, &stat);
            ClearCommError(h, &errors, &stat);
            if (stat.cbInQue > 0 && !io(false, buf.data(), 1, &n)) ok = false;
        } else if (!ReadFile(h, buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr)) {
            ok = false;
        }
        if (n == 0) Sleep(1);
        for (DWORD i = 0; i < n; ++i) done = done || buf[i] == '\r';
    }
    double s = seconds_since(t);
    CloseHandle(event);
    CloseHandle(h);
    return ok ? s : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int port = argc > 1 ? std::atoi(argv[1]) : 27;
    std::vector<double> link_s, bulk_s, byte_s;
    for (int round = 1; round <= ROUNDS; ++round) {
        double l = through_link(port), b = through_raw(port, false), o = through_raw(port, true);
        if (l < 0 || b < 0 || o < 0) {
            std::fprintf(stderr, "link_bench: COM%d failed (link %.3f, plain %.3f, per byte %.3f)\n", port, l, b, o);
            return 1;
        }
        link_s.push_back(l);
        bulk_s.push_back(b);
        byte_s.push_back(o);
        std::printf("round %d: 64 KiB reply: link %.3f s, plain reader %.3f s, per byte as before %.3f s\n", round, l, b,
                    o);
    }
    double l = median(link_s), b = median(bulk_s), o = median(byte_s);
    std::printf("64 KiB reply through the link: %.3f s (%.0f KB/s)\n", l, REPLY / l / 1000);
    std::printf("speed-up over the per-byte reads of before: %.1fx\n", o / l);
    std::printf("ratio plain reader/link: %.2f\n", b / l);
    return 0;
}
