#include "links/LinkAddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <sys/socket.h>

namespace links {

std::int32_t PortFieldValue(const std::string& text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    // atoi skips what isspace() calls blank.
    while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::uint32_t value = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    if (negative)
        value = 0u - value;
    return static_cast<std::int32_t>(value);
}

sockaddr_in Ipv4Address(std::uint32_t ip, std::int32_t linkPort)
{
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(ip);
    address.sin_port = htons(static_cast<std::uint16_t>(linkPort & 0xFFFF));
    return address;
}

sockaddr_in AnyAddress(std::int32_t linkPort)
{
    return Ipv4Address(INADDR_ANY, linkPort);
}

std::uint32_t DottedAddress(const std::string& text)
{
    in_addr parsed{};
    if (::inet_aton(text.c_str(), &parsed) == 0)
        return INADDR_NONE;
    return ntohl(parsed.s_addr);
}

plat::SocketRef OpenIpv4Socket(int type)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    return std::make_shared<plat::Socket>(fd);
}

bool BindTo(const plat::SocketRef& socket, const sockaddr_in& address)
{
    return ::bind(socket->Descriptor(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

std::uint16_t LocalPort(const plat::SocketRef& socket)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket->Descriptor(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

} // namespace links
