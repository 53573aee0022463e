#pragma once
// The real window with a Sending pane to fill and UDP peers to talk to.

#include "tests/links/LinkFixture.h"

#include "platform/hexview/HexView.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

struct Datagram {
    std::vector<unsigned char> bytes;
    std::uint16_t fromPort = 0;
};

class SendFixture : public LinkFixture {
protected:
    // The window as TCP client of a test peer; returns the peer's end.
    linktest::Fd Connect()
    {
        m_server = linktest::Listen();
        ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(linktest::LocalPort(m_server.Get())));
        Click(IDC_START);
        linktest::Fd peer = linktest::Accept(m_server.Get());
        EXPECT_TRUE(WaitState(QStringLiteral("Connected")));
        return peer;
    }
    void FillSending(const std::vector<unsigned char>& bytes)
    {
        ASSERT_EQ(dlg->Owners().sending.Block().Resize(0), plat::BlockStatus::Ok);
        ASSERT_EQ(dlg->Owners().sending.Block().Insert(0, bytes.data(), bytes.size()), plat::BlockStatus::Ok);
        dlg->ControlAs<plat::HexView>(IDC_HEX_SENDING)->update();
    }
    std::vector<unsigned char> Pane()
    {
        std::vector<unsigned char> out(dlg->Owners().sending.Block().Size());
        out.resize(dlg->Owners().sending.Block().Read(0, out.data(), out.size()));
        return out;
    }
    plat::HexView* View() { return dlg->ControlAs<plat::HexView>(IDC_HEX_SENDING); }
    QString SenderState()
    {
        Settle();
        return Widget<QLineEdit>(IDC_SENDER_STATE)->text();
    }
    bool WaitSenderState(const QString& text, int limitMs = 20000)
    {
        return WaitFor([&] { return Widget<QLineEdit>(IDC_SENDER_STATE)->text() == text; }, limitMs);
    }
    void CheckPeriodic(const QString& period)
    {
        Click(IDC_PERIODIC);
        Type(IDC_PERIOD, period);
    }
    // UDP mode with the three UDP fields typed in.
    void ChooseUdp(const QString& serverPort, std::uint16_t destPort)
    {
        Type(IDC_UDP_SERVER_PORT, serverPort);
        TypeAddress(IDC_UDP_DEST_IP, QStringLiteral("127.0.0.1"));
        Type(IDC_UDP_DEST_PORT, Num(destPort));
        Click(IDC_MODE_UDP);
    }

    static bool ReceiveDatagram(int fd, Datagram& out, int timeoutMs = 10000)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        out.bytes.resize(65536);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(fd, out.bytes.data(), out.bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return false;
        out.bytes.resize(static_cast<std::size_t>(n));
        out.fromPort = ntohs(from.sin_port);
        return true;
    }
    static void SendDatagram(int fd, std::uint16_t port, const std::vector<unsigned char>& bytes)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    linktest::Fd m_server;
};
