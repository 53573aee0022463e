#pragma once
// Ports and IPv4 socket addresses of the links, and the sockets they open. Any thread: none of
// these keeps state.

#include "platform/net/Socket.h"

#include <cstdint>
#include <netinet/in.h>
#include <string>

namespace links {

// The value of a port field as the C library's atoi reads it: leading blanks, an optional sign,
// then decimal digits up to the first other character; no digits give 0. Digits beyond the range
// of 32 bits wrap instead of overflowing, so the low 16 bits stay those of the number typed.
std::int32_t PortFieldValue(const std::string& text);

// The IPv4 socket address of `ip` (host order) and the low 16 bits of `linkPort`.
sockaddr_in Ipv4Address(std::uint32_t ip, std::int32_t linkPort);
// Every local IPv4 address and the low 16 bits of `linkPort`.
sockaddr_in AnyAddress(std::int32_t linkPort);
// A dotted-decimal address ("a.b.c.d"); 0xFFFFFFFF ("255.255.255.255", as inet_addr) when the
// text is not one.
std::uint32_t DottedAddress(const std::string& text);

// A new IPv4 socket of `type` (SOCK_STREAM, SOCK_DGRAM), closed on exec; null on failure.
plat::SocketRef OpenIpv4Socket(int type);
bool BindTo(const plat::SocketRef& socket, const sockaddr_in& address);
// The local port a bound socket has, in host order; 0 when it cannot be told.
std::uint16_t LocalPort(const plat::SocketRef& socket);

} // namespace links
