#pragma once
// The TCP and UDP links: their sockets, the link epochs and the workers that connect, listen, accept
// and receive. Nothing here touches a widget: what the window shows goes through LinkView, and every
// received byte goes to the receive sink.
//
// Link epochs: every Start and every teardown begins a new one. A worker publishes its socket, and
// touches Start and Stop, only while its epoch is current, so a worker that outlives a teardown can
// neither slip a socket past it nor change the buttons of a later link. It writes the State field
// until a later Start.

#include "platform/net/Socket.h"
#include "core/ReceiveSink.h"
#include "platform/sync/WorkerThreads.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// What the link workers show in the window. Called from the workers' threads; each call queues its
// work for the window's thread and never waits for it, except ShowLinkMessage.
class LinkView {
public:
    virtual ~LinkView() = default;
    // The State field. Called with the link lock held (so that a text of an earlier Start's worker
    // cannot land after a later one's): it must only queue its work for the window's thread. The
    // other calls come without a lock held.
    virtual void ShowLinkState(const std::string& text) = 0;
    // Start enabled and Stop disabled, or the reverse. Applied on the window's thread only if
    // `linkEpoch` is still current there (LinkSession::IsLinkCurrent): otherwise a "Start disabled"
    // still on its way would land after the teardown of a Stop had enabled Start again.
    virtual void ShowLinkButtons(std::uint64_t linkEpoch, bool startEnabled) = 0;
    // A message box of the worker's own; returns when it has been dismissed.
    virtual void ShowLinkMessage(const std::string& text) = 0;
    // The local port the link listens or is bound on, once it is known: the system chooses it when
    // the port field is empty, 0, or its low 16 bits are 0.
    virtual void ShowLocalPort(std::uint16_t port) = 0;
    // The datagrams the system dropped at the UDP endpoint's socket since its Start (0 at Start).
    // Applied only while `linkEpoch` is current, as ShowLinkButtons.
    virtual void ShowDatagramsLost(std::uint64_t linkEpoch, std::uint64_t count) = 0;
};

// The socket a UDP send uses, or the message that says why there is none.
struct UdpSendSocket {
    plat::SocketRef socket;
    const char* failure = nullptr;
};

class LinkSession {
public:
    // What the user is told when a worker thread could not be made.
    static constexpr const char* kNoThreadText = "Unable to start the link: no thread could be created.";

    LinkSession(LinkView& view, CReceiveSink& sink);
    // JoinWorkers must have run.
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // Window thread: Start of each link with the port read from its field (its low 16 bits are used).
    // A Start gives up what an earlier Start's worker may still be attempting. False when no thread
    // could be made for the worker: nothing started and the view was not told.
    bool StartTcpServer(std::int32_t port);
    bool StartTcpClient(std::int32_t port, const std::string& destIp);
    bool StartUdp(std::int32_t port);
    // Window thread: shuts every link socket down, so that every blocked worker wakes and ends; the
    // link port goes back to 0. Nobody waits for the workers.
    void TearDown();
    // Window thread, when the window goes: after TearDown, and after the workers' message boxes have
    // been closed, waits for every link worker.
    void JoinWorkers();

    // Any thread.
    bool IsLinkCurrent(std::uint64_t linkEpoch);
    std::int32_t LinkPort() const { return m_linkPort.load(); }
    // Workers set aside and not yet joined (for tests).
    std::size_t SetAsideWorkers() { return m_workers.SetAsideCount(); }

    // Send workers, any thread. The connected TCP socket, or null.
    plat::SocketRef TcpConnection() const { return m_tcpConn.Get(); }
    // The socket of UDP sends: the receive loop's when there is one, so that datagrams leave from the
    // port the endpoint receives on; else the one an earlier send made; else a new one, bound to the
    // link port when there is one. A socket that failed to bind stays and later sends use it unbound.
    UdpSendSocket ChooseUdpSendSocket();

private:
    // Link workers, one thread each; each acts for the epoch of the Start that began it.
    void TcpClientWorker(std::uint64_t linkEpoch);
    void TcpServerWorker(std::uint64_t linkEpoch);
    void TcpReceiveWorker(std::uint64_t linkEpoch, plat::SocketRef conn, plat::SocketRef listen);
    void UdpReceiveWorker(std::uint64_t linkEpoch);
    // Connect and accept workers, once the connection exists.
    void StartTcpReceive(std::uint64_t linkEpoch, plat::SocketRef conn, plat::SocketRef listen);

    // Window thread: a new epoch and a worker for it; false when the thread could not be made.
    template <class Work> bool LaunchLinkWorker(std::thread& member, Work work);
    // Any thread, under m_linkLock inside.
    std::uint64_t BeginLinkStart();
    bool PublishLinkSocket(plat::SocketSlot& slot, plat::SocketRef socket, std::uint64_t linkEpoch);
    // Takes `socket` out of `slot` when the slot still names it.
    void ReleaseLinkSocket(plat::SocketSlot& slot, const plat::SocketRef& socket);
    void ShowLinkState(std::uint64_t linkEpoch, const char* text);
    // Whether no Start came after the one that began this epoch.
    bool IsLatestStart(std::uint64_t linkEpoch);
    // A failure's box, shown only for the latest Start: an attempt a later Start replaced ends
    // without a word.
    void ReportFailure(std::uint64_t linkEpoch, const char* text);

    LinkView& m_view;
    CReceiveSink& m_sink;

    // Guards the epochs, the publishing of sockets into the slots and m_destIp.
    std::mutex m_linkLock;
    // Changed under m_linkLock; atomic so that the received lock can check a receiver's claim.
    std::atomic<std::uint64_t> m_linkEpoch{0};
    std::uint64_t m_startEpoch = 0;
    std::string m_destIp;
    // Read by workers while a teardown may reset it.
    std::atomic<std::int32_t> m_linkPort{0};

    plat::SocketSlot m_tcpListen;
    plat::SocketSlot m_tcpConn;
    plat::SocketSlot m_udpRecv;
    plat::SocketSlot m_udpSend;   // may name the same socket as m_udpRecv

    std::thread m_tcpServerThread;
    std::thread m_tcpClientThread;
    std::thread m_tcpRecvThread;
    std::thread m_udpRecvThread;
    WorkerThreads m_workers;
};
