// A serial port reached over the network (platform/net/net_url.h names it): the
// operations of platform/serial.h on a socket, with the Com Port Control Option for
// the rate, the modem lines and purges (rfc2217://), or raw bytes (tcp://).
#pragma once

#include <cstdint>

struct NetPort;

// Connects and, for rfc2217://, agrees binary transmission and Com Port Control with
// the server. Window events run during the waits (each at most 3 s). nullptr on
// failure: *error is a SerialOpenError and reason (size bytes) says why in the
// operator's words.
NetPort* net_port_open(const char* url, int* error, char* reason, uint32_t size);
// Makes the open under way on this thread give up at its next look.
void net_port_cancel_open();
// The operations of platform/serial.h, with the same contracts.
int net_port_configure(NetPort* p, int baud);
int net_port_escape(NetPort* p, int function);
int net_port_purge(NetPort* p);
int net_port_status(NetPort* p, uint32_t* in_queue, uint32_t* errors);
int net_port_alive(NetPort* p);
int net_port_read(NetPort* p, uint8_t* buffer, uint32_t count, uint32_t* delivered);
int net_port_write(NetPort* p, const uint8_t* buffer, uint32_t count, uint32_t* written);
int net_port_wait_event(NetPort* p, uint32_t ms, int queued_counts);
int net_port_wait_handle(NetPort* p, int queued_counts, intptr_t* handle);
void net_port_close(NetPort* p);
