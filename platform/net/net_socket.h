// The socket calls of a network port; posix/ and win32/ hold the twins. A socket here
// is connected, non-blocking and has Nagle's delay off (one command line is one
// small packet that must go at once).
#pragma once

#include <cstdint>

struct NetSocket;

enum NetConnectError {
    NET_CONNECT_OK = 0,
    NET_CONNECT_NO_HOST,   // the name does not resolve
    NET_CONNECT_REFUSED,   // nobody listens there
    NET_CONNECT_TIMEOUT,   // no answer in time
    NET_CONNECT_UNREACHABLE,
    NET_CONNECT_CANCELLED,  // keep_waiting said no
    NET_CONNECT_FAILED,
};

// Connects to host:port, trying each address the name has, within timeout_ms in all.
// keep_waiting(context) runs at least every 50 ms meanwhile (window events) and ends
// the attempt when it returns 0. nullptr on failure with *error set.
NetSocket* net_socket_connect(const char* host, int port, uint32_t timeout_ms, int (*keep_waiting)(void*),
                              void* context, int* error);
// Takes up to n waiting bytes without blocking: the count, 0 when nothing waits, -1
// when the peer closed the connection or it failed.
int net_socket_recv(NetSocket* s, uint8_t* buffer, uint32_t n);
// Gives up to n bytes to the system without blocking: the count taken (0 when its
// buffer is full), -1 when the connection failed.
int net_socket_send(NetSocket* s, const uint8_t* buffer, uint32_t n);
// Blocks at most ms (UINT32_MAX: no limit) until the socket is readable (input or
// the peer's close), or writable with for_write. 1 ready, 0 timed out, -1 failed.
int net_socket_wait(NetSocket* s, uint32_t ms, int for_write);
// 1 when the peer has closed or the connection failed, looked at without taking
// input; 0 while it stands.
int net_socket_closed(NetSocket* s);
// What an event loop watches for input: the descriptor (POSIX) or an event (Windows)
// that is set on input or the peer's close. Valid until net_socket_close.
intptr_t net_socket_handle(NetSocket* s);
// Closes and frees; null is ignored.
void net_socket_close(NetSocket* s);
