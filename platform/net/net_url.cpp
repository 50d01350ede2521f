// Network port names (see net_url.h).
#include "platform/net/net_url.h"

#include <cstring>

namespace {

bool prefix(const char* text, const char* scheme) {
    size_t n = std::strlen(scheme);
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != scheme[i]) return false;
    }
    return true;
}

int fail(const char** error, const char* why) {
    if (error) *error = why;
    return 0;
}

bool host_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

}  // namespace

int net_url_kind(const char* text) {
    if (!text) return NET_NONE;
    if (prefix(text, "rfc2217://")) return NET_RFC2217;
    if (prefix(text, "tcp://")) return NET_TCP;
    return NET_NONE;
}

int net_url_parse(const char* text, NetUrl* out, const char** error) {
    NetUrl url;
    url.kind = net_url_kind(text);
    if (url.kind == NET_NONE) return fail(error, "not rfc2217:// or tcp://");
    const char* s = std::strstr(text, "://") + 3;
    const char* host = s;
    const char* host_end = nullptr;
    if (*s == '[') {  // [IPv6]
        host = s + 1;
        host_end = std::strchr(host, ']');
        if (!host_end) return fail(error, "no ']' after the IPv6 address");
        for (const char* p = host; p < host_end; ++p)
            if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F') || *p == ':' ||
                  *p == '.'))
                return fail(error, "bad character in the IPv6 address");
        s = host_end + 1;
    } else {
        while (host_char(*s)) ++s;
        host_end = s;
    }
    size_t host_len = static_cast<size_t>(host_end - host);
    if (host_len == 0) return fail(error, "no host");
    if (host_len >= sizeof url.host) return fail(error, "host name too long");
    if (*s != ':') return fail(error, *s ? "bad character in the host name" : "no port number");
    ++s;
    long port = 0;
    const char* digits = s;
    while (*s >= '0' && *s <= '9' && port <= 65535) port = port * 10 + (*s++ - '0');
    if (s == digits) return fail(error, "no port number");
    if (port < 1 || port > 65535 || (*s >= '0' && *s <= '9')) return fail(error, "port number not 1..65535");
    if (*s == '/') ++s;
    if (*s) return fail(error, "unexpected text after the port number");
    std::memcpy(url.host, host, host_len);
    url.host[host_len] = '\0';
    url.port = static_cast<int>(port);
    if (out) *out = url;
    return 1;
}

const char* net_url_note(const char* text) {
    if (net_url_kind(text) != NET_TCP) return nullptr;
    return "raw TCP (tcp://) has no modem lines: the controller was not reset (no DTR pulse)";
}
