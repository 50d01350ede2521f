// POSIX sockets for a network port: non-blocking connect bounded in time, each
// address of the name in turn, and poll() for every wait.
#include "platform/net/net_socket.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <new>

struct NetSocket {
    int fd = -1;
};

namespace {

uint64_t now_ms() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

int error_of(int e) {
    switch (e) {
        case ECONNREFUSED: return NET_CONNECT_REFUSED;
        case ETIMEDOUT: return NET_CONNECT_TIMEOUT;
        case ENETUNREACH:
        case EHOSTUNREACH: return NET_CONNECT_UNREACHABLE;
        default: return NET_CONNECT_FAILED;
    }
}

// One address: 1 connected (*fd set), 0 failed (*error), -1 out of time or cancelled.
int try_address(const addrinfo* a, uint64_t deadline, int (*keep_waiting)(void*), void* context, int* fd,
                int* error) {
    int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (s < 0) {
        *error = NET_CONNECT_FAILED;
        return 0;
    }
    if (::connect(s, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
        *error = error_of(errno);
        ::close(s);
        return 0;
    }
    for (;;) {
        pollfd pfd{s, POLLOUT, 0};
        uint64_t now = now_ms();
        if (now >= deadline) {
            *error = NET_CONNECT_TIMEOUT;
            ::close(s);
            return -1;
        }
        uint64_t left = deadline - now;
        int r = ::poll(&pfd, 1, static_cast<int>(left < 50 ? left : 50));
        if (r < 0 && errno != EINTR) {
            *error = NET_CONNECT_FAILED;
            ::close(s);
            return 0;
        }
        if (r > 0) break;
        if (keep_waiting && !keep_waiting(context)) {
            *error = NET_CONNECT_CANCELLED;
            ::close(s);
            return -1;
        }
    }
    int so_error = 0;
    socklen_t len = sizeof so_error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &so_error, &len) != 0 || so_error != 0) {
        *error = error_of(so_error);
        ::close(s);
        return 0;
    }
    *fd = s;
    return 1;
}

}  // namespace

NetSocket* net_socket_connect(const char* host, int port, uint32_t timeout_ms, int (*keep_waiting)(void*),
                              void* context, int* error) {
    *error = NET_CONNECT_FAILED;
    if (!host || port < 1 || port > 65535) return nullptr;
    uint64_t deadline = now_ms() + timeout_ms;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    char service[8];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo* list = nullptr;
    int r = ::getaddrinfo(host, service, &hints, &list);
    if (r != 0) {
        *error = r == EAI_NONAME || r == EAI_FAIL || r == EAI_NODATA ? NET_CONNECT_NO_HOST : NET_CONNECT_FAILED;
        return nullptr;
    }
    int fd = -1;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        int got = try_address(a, deadline, keep_waiting, context, &fd, error);
        if (got != 0) break;  // connected, or out of time
    }
    ::freeaddrinfo(list);
    if (fd < 0) return nullptr;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    NetSocket* s = new (std::nothrow) NetSocket;
    if (!s) {
        ::close(fd);
        *error = NET_CONNECT_FAILED;
        return nullptr;
    }
    s->fd = fd;
    *error = NET_CONNECT_OK;
    return s;
}

int net_socket_recv(NetSocket* s, uint8_t* buffer, uint32_t n) {
    if (!s || n == 0) return s ? 0 : -1;
    for (;;) {
        ssize_t got = ::recv(s->fd, buffer, n, 0);
        if (got > 0) return static_cast<int>(got);
        if (got == 0) return -1;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

int net_socket_send(NetSocket* s, const uint8_t* buffer, uint32_t n) {
    if (!s) return -1;
    for (;;) {
        ssize_t sent = ::send(s->fd, buffer, n, MSG_NOSIGNAL);
        if (sent >= 0) return static_cast<int>(sent);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

int net_socket_wait(NetSocket* s, uint32_t ms, int for_write) {
    if (!s) return -1;
    pollfd pfd{s->fd, static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
    int timeout = ms == UINT32_MAX ? -1 : ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
    int r = ::poll(&pfd, 1, timeout);
    if (r < 0) return errno == EINTR ? 1 : -1;
    return r > 0 ? 1 : 0;
}

int net_socket_closed(NetSocket* s) {
    if (!s) return 1;
    // POLLRDHUP sees the peer's close even behind input nobody has read yet.
    pollfd pfd{s->fd, POLLRDHUP, 0};
    if (::poll(&pfd, 1, 0) < 0) return errno == EINTR ? 0 : 1;
    return pfd.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL) ? 1 : 0;
}

intptr_t net_socket_handle(NetSocket* s) { return s ? s->fd : -1; }

void net_socket_close(NetSocket* s) {
    if (!s) return;
    if (s->fd >= 0) ::close(s->fd);
    delete s;
}
