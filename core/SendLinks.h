#pragma once
// The links as the send threads use them, each provided by the owner of its link: the socket links
// by the link session, the serial port by the serial link. Called from the send threads.

#include "platform/net/Socket.h"

#include <cstdint>
#include <string>

class SocketSendLinks {
public:
    virtual ~SocketSendLinks() = default;
    // The connected TCP socket, or null.
    virtual plat::SocketRef TcpConnection() = 0;
    // The socket for UDP sends, or null with `failure` set to the message that says why.
    virtual plat::SocketRef UdpSocket(std::string& failure) = 0;
};

class SerialSendLink {
public:
    virtual ~SerialSendLink() = default;
    // One write to the serial port, waiting at most `waitMs` for the device to take the bytes: 0,
    // 6 (the port is not open), 1460 (the time ran out; nothing already queued for the line is
    // dropped) or another status code, and the bytes written.
    virtual std::uint32_t SerialWrite(const unsigned char* data, std::uint32_t size, std::uint32_t* written,
                                      std::uint32_t waitMs) = 0;
};
