#include "LinkFixture.h"

#include <atomic>
#include <thread>

using namespace linktest;

class LinkCyclesTest : public LinkFixture {
protected:
    static constexpr int kCycles = 1000;

    // Runs one Start/Stop cycle `kCycles` times after a first one, and checks that the process
    // holds no more descriptors and threads than after that first one.
    template <class Cycle> void ExpectNothingLeftBehind(Cycle cycle)
    {
        ASSERT_TRUE(cycle());
        ASSERT_TRUE(WaitFor([&] { return (dlg->Owners().sends.SetAsideWorkers() + dlg->Owners().link.SetAsideWorkers()) == 0; }));
        const int fds = OpenDescriptorCount();
        const int threads = ThreadCount();
        for (int i = 0; i < kCycles; ++i)
            ASSERT_TRUE(cycle()) << "cycle " << i << ", State " << State().toStdString();
        EXPECT_TRUE(WaitFor([&] { return OpenDescriptorCount() <= fds; }))
            << OpenDescriptorCount() << " descriptors, " << fds << " before";
        EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= threads; }))
            << ThreadCount() << " threads, " << threads << " before";
        EXPECT_TRUE(Boxes().empty());
    }
};

TEST_F(LinkCyclesTest, ServerStartStopLeavesNoDescriptorOrThreadBehind)
{
    ChooseTcp(Num(FreeTcpPort()), QString(), QString());
    ExpectNothingLeftBehind([&] {
        Click(IDC_START);
        if (!WaitState(QStringLiteral("Listening")))
            return false;
        Click(IDC_STOP);
        return WaitState(QStringLiteral("Disconnected")) && Enabled(IDC_START);
    });
}

TEST_F(LinkCyclesTest, ClientStartStopLeavesNoDescriptorOrThreadBehind)
{
    Fd server = Listen();
    std::atomic<bool> done{false};
    // The peer serves one connection at a time and closes its end when the window closes its own.
    std::thread peer([&] {
        while (!done) {
            Fd conn = Accept(server.Get(), 100);
            if (conn)
                PeerClosed(conn.Get());
        }
    });
    ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(LocalPort(server.Get())));
    ExpectNothingLeftBehind([&] {
        Click(IDC_START);
        if (!WaitState(QStringLiteral("Connected")))
            return false;
        Click(IDC_STOP);
        return WaitState(QStringLiteral("Disconnected")) && Enabled(IDC_START);
    });
    done = true;
    peer.join();
}

TEST_F(LinkCyclesTest, UdpStartStopLeavesNoDescriptorOrThreadBehind)
{
    Type(IDC_UDP_SERVER_PORT, Num(FreeUdpPort()));
    Click(IDC_MODE_UDP);
    ExpectNothingLeftBehind([&] {
        Click(IDC_START);
        if (!WaitState(QStringLiteral("Waiting Data")))
            return false;
        Click(IDC_STOP);
        return WaitState(QStringLiteral("Disconnected")) && Enabled(IDC_START);
    });
}
