// Winsock sockets for a network port: non-blocking connect bounded in time, each
// address of the name in turn; an event (WSAEventSelect) set on input or the peer's
// close, for the kernel waits the serial port's event takes part in.
#include "platform/net/net_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <new>

struct NetSocket {
    SOCKET s = INVALID_SOCKET;
    WSAEVENT event = WSA_INVALID_EVENT;
    bool closed = false;  // FD_CLOSE seen: it is reported once, so it is kept
};

namespace {

bool started() {
    static bool ok = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}

int error_of(int e) {
    switch (e) {
        case WSAECONNREFUSED: return NET_CONNECT_REFUSED;
        case WSAETIMEDOUT: return NET_CONNECT_TIMEOUT;
        case WSAENETUNREACH:
        case WSAEHOSTUNREACH: return NET_CONNECT_UNREACHABLE;
        default: return NET_CONNECT_FAILED;
    }
}

// One address: 1 connected (*out set), 0 failed (*error), -1 out of time or cancelled.
int try_address(const addrinfo* a, ULONGLONG deadline, int (*keep_waiting)(void*), void* context, SOCKET* out,
                int* error) {
    SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
        *error = NET_CONNECT_FAILED;
        return 0;
    }
    u_long non_blocking = 1;
    ioctlsocket(s, FIONBIO, &non_blocking);
    if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
        *error = error_of(WSAGetLastError());
        closesocket(s);
        return 0;
    }
    for (;;) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            *error = NET_CONNECT_TIMEOUT;
            closesocket(s);
            return -1;
        }
        ULONGLONG left = deadline - now;
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval tv{0, static_cast<long>((left < 50 ? left : 50) * 1000)};
        int r = select(0, nullptr, &writable, &failed, &tv);
        if (r == SOCKET_ERROR) {
            *error = NET_CONNECT_FAILED;
            closesocket(s);
            return 0;
        }
        if (r > 0) {
            int so_error = 0;
            int len = sizeof so_error;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &len);
            if (FD_ISSET(s, &failed) || so_error != 0) {
                *error = error_of(so_error ? so_error : WSAECONNREFUSED);
                closesocket(s);
                return 0;
            }
            *out = s;
            return 1;
        }
        if (keep_waiting && !keep_waiting(context)) {
            *error = NET_CONNECT_CANCELLED;
            closesocket(s);
            return -1;
        }
    }
}

// Takes the recorded network events (which also resets the event); keeps a close.
void look(NetSocket* s, long* events) {
    WSANETWORKEVENTS ne{};
    *events = 0;
    if (WSAEnumNetworkEvents(s->s, s->event, &ne) != 0) {
        s->closed = true;
        return;
    }
    *events = ne.lNetworkEvents;
    if (ne.lNetworkEvents & FD_CLOSE) s->closed = true;
}

}  // namespace

NetSocket* net_socket_connect(const char* host, int port, uint32_t timeout_ms, int (*keep_waiting)(void*),
                              void* context, int* error) {
    *error = NET_CONNECT_FAILED;
    if (!host || port < 1 || port > 65535 || !started()) return nullptr;
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    char service[8];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo* list = nullptr;
    int r = getaddrinfo(host, service, &hints, &list);
    if (r != 0) {
        *error = r == WSAHOST_NOT_FOUND || r == WSANO_DATA || r == EAI_NONAME ? NET_CONNECT_NO_HOST
                                                                                : NET_CONNECT_FAILED;
        return nullptr;
    }
    SOCKET s = INVALID_SOCKET;
    for (const addrinfo* a = list; a; a = a->ai_next)
        if (try_address(a, deadline, keep_waiting, context, &s, error) != 0) break;
    freeaddrinfo(list);
    if (s == INVALID_SOCKET) return nullptr;
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    NetSocket* n = new (std::nothrow) NetSocket;
    WSAEVENT event = WSACreateEvent();
    if (!n || event == WSA_INVALID_EVENT || WSAEventSelect(s, event, FD_READ | FD_CLOSE) != 0) {
        if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
        delete n;
        closesocket(s);
        *error = NET_CONNECT_FAILED;
        return nullptr;
    }
    n->s = s;
    n->event = event;
    *error = NET_CONNECT_OK;
    return n;
}

int net_socket_recv(NetSocket* s, uint8_t* buffer, uint32_t n) {
    if (!s || n == 0) return s ? 0 : -1;
    int got = recv(s->s, reinterpret_cast<char*>(buffer), static_cast<int>(n), 0);
    if (got > 0) return got;
    if (got == 0) return -1;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    // Nothing waits: the event is reset here, and the next input sets it again. Input
    // that came in between is in the record just taken: read it now.
    long events = 0;
    look(s, &events);
    if (events & FD_READ) {
        got = recv(s->s, reinterpret_cast<char*>(buffer), static_cast<int>(n), 0);
        if (got > 0) return got;
        if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    }
    return s->closed ? -1 : 0;
}

int net_socket_send(NetSocket* s, const uint8_t* buffer, uint32_t n) {
    if (!s) return -1;
    int sent = send(s->s, reinterpret_cast<const char*>(buffer), static_cast<int>(n), 0);
    if (sent >= 0) return sent;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

int net_socket_wait(NetSocket* s, uint32_t ms, int for_write) {
    if (!s) return -1;
    if (for_write) {
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s->s, &writable);
        timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
        int r = select(0, nullptr, &writable, nullptr, ms == UINT32_MAX ? nullptr : &tv);
        return r == SOCKET_ERROR ? -1 : r > 0 ? 1 : 0;
    }
    DWORD r = WaitForSingleObject(s->event, ms == UINT32_MAX ? INFINITE : ms);
    return r == WAIT_OBJECT_0 ? 1 : r == WAIT_TIMEOUT ? 0 : -1;
}

int net_socket_closed(NetSocket* s) {
    if (!s || s->closed) return 1;
    // A close is recorded even behind unread input. The event is reset by the look;
    // input it reported is read by the next wait, which always reads before it sleeps.
    long events = 0;
    look(s, &events);
    if (events & FD_READ) WSASetEvent(s->event);
    return s->closed ? 1 : 0;
}

intptr_t net_socket_handle(NetSocket* s) { return s ? reinterpret_cast<intptr_t>(s->event) : -1; }

void net_socket_close(NetSocket* s) {
    if (!s) return;
    if (s->s != INVALID_SOCKET) closesocket(s->s);
    if (s->event != WSA_INVALID_EVENT) WSACloseEvent(s->event);
    delete s;
}
