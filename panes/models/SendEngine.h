#pragma once
// The send engine: Send, Periodic and Stop for the three links. Each Send gets a send thread of its
// own link, which runs one frame (start texts, stop polls, the pause between passes, the end) around
// that link's pass. Nothing here touches a widget: what the window shows goes through SendView, and
// the links are reached through SendLinks.

#include "panes/models/SendJob.h"
#include "panes/models/SendTicket.h"
#include "platform/net/Socket.h"
#include "platform/sync/Event.h"
#include "platform/sync/WorkerThreads.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// What the send threads show in the window. Called from the send threads; each call queues its work
// for the window's thread and never waits for it, except ShowSendMessage.
class SendView {
public:
    virtual ~SendView() = default;
    // These two come from the send threads with the send lock held (so that a send replaced by a
    // later one cannot land after it): each must only queue its work for the window's thread.
    // The Sender State field.
    virtual void ShowSenderState(const std::string& text) = 0;
    // Send disabled and Stop enabled while a send runs; the reverse once it has ended.
    virtual void ShowSendButtons(bool sending) = 0;
    // Without any lock held: a message box of the send thread's own; returns when it has been
    // dismissed.
    virtual void ShowSendMessage(const std::string& text) = 0;
};

// The links as the send threads use them; called from the send threads.
class SendLinks {
public:
    virtual ~SendLinks() = default;
    // The connected TCP socket, or null.
    virtual plat::SocketRef TcpConnection() = 0;
    // The socket for UDP sends, or null with `failure` set to the message that says why.
    virtual plat::SocketRef UdpSocket(std::string& failure) = 0;
    // One write to the serial port, waiting at most `waitMs` for the device to take the bytes: 0,
    // 6 (the port is not open), 1460 (the time ran out; nothing already queued for the line is
    // dropped) or another status code, and the bytes written.
    virtual std::uint32_t SerialWrite(const unsigned char* data, std::uint32_t size, std::uint32_t* written,
                                      std::uint32_t waitMs) = 0;
};

class SendEngine {
public:
    // Largest payload of one UDP datagram; serial writes are at most kSerialWriteSize bytes.
    static constexpr std::size_t kUdpChunkSize = 512;
    static constexpr std::size_t kSerialWriteSize = 2048;
    // Most datagrams handed to the kernel in one call.
    static constexpr std::size_t kUdpBatch = 64;
    // How often a send waiting for the peer looks for a Stop, and how long after a Stop a pass
    // that the peer keeps taking may still run.
    static constexpr int kStopLookMs = 100;
    static constexpr std::chrono::milliseconds kStopPatience{400};

    SendEngine(SendView& view, SendLinks& links);
    // JoinWorkers must have run.
    ~SendEngine();
    SendEngine(const SendEngine&) = delete;
    SendEngine& operator=(const SendEngine&) = delete;

    // Window thread. Starts a send of `bytes` on `link`; a send still running on that link is asked
    // to stop and nobody waits for it. The send keeps its snapshot until its thread ends. False when
    // no thread could be made for it: nothing was sent and the view was not told.
    bool Start(SendLink link, plat::BlockSnapshot bytes);
    // Window thread. Asks every running send to stop; does not wait. A stop is meant only for the
    // sends running when it is made.
    void StopAll();
    // Window thread. Read live by the send threads: unchecking Periodic ends a periodic send after
    // its pass or pause; checking it makes a running single send repeat.
    void SetPeriodic(bool periodic);
    void SetPeriodMs(std::int32_t periodMs);
    // Window thread. Where UDP sends go; read again before every pass.
    void SetUdpDestination(const std::string& ip, std::uint16_t port);

    // Window thread, when the window goes: ends every pause at once (a Stop still waits for it).
    void Quit();
    // Window thread, when the window goes: after StopAll and Quit, and after the send threads'
    // message boxes have been closed, waits for every send thread.
    void JoinWorkers();
    // Send threads set aside and not yet joined (for tests).
    std::size_t SetAsideWorkers() { return m_workers.SetAsideCount(); }

private:
    // How a pass or the frame around it ended.
    enum class Ending { Done, Stopped, StoppedInPass, Failed };

    // The send thread.
    void SendThread(SendLink link, std::shared_ptr<SendTicket> ticket);
    Ending TcpPass(const plat::BlockSnapshot& bytes, const SendTicket& ticket);
    // `passes` whole passes, one after the other, without a stop poll between them.
    Ending UdpPass(const plat::SocketRef& socket, const plat::BlockSnapshot& bytes, std::size_t passes,
                   const SendTicket& ticket);
    // Waits until the socket takes more: true on room or an error for the next send to report.
    // False after a Stop (looked at every kStopLookMs) once the peer takes nothing for that long,
    // or kStopPatience after the Stop was first seen (`stopSeen`, kept by the pass).
    bool WaitForRoom(int fd, const SendTicket& ticket, std::chrono::steady_clock::time_point& stopSeen);
    // How many passes of a periodic send with no pause go out at once: enough for one batch.
    std::size_t UdpPassesAtOnce(const plat::BlockSnapshot& bytes);
    Ending SerialPass(const plat::BlockSnapshot& bytes, const SendTicket& ticket);
    bool Periodic();
    bool StopRequested(const SendTicket& ticket);
    // The pause between two passes; false when the window is closing.
    bool Pause();
    void ShowBegin(const SendTicket& ticket, bool periodic);
    // Ends a send: the Sender State text (none when empty), Send enabled and Stop disabled.
    void ShowEnd(SendLink link, const SendTicket& ticket, const std::string& text);
    std::shared_ptr<std::atomic<bool>>& RunningStop(SendLink link) { return m_runningStop[static_cast<std::size_t>(link)]; }

    SendView& m_view;
    SendLinks& m_links;

    // Guards m_runningStop, m_lastSend and the UDP destination of m_job.
    std::mutex m_sendLock;
    // The stop request of the send running on each link, none when none runs; a new one per Send.
    std::array<std::shared_ptr<std::atomic<bool>>, 3> m_runningStop;
    std::uint64_t m_lastSend = 0;
    SendJob m_job;
    // Set when the window goes: the event ends the pauses of periodic sends at once; the flag is what
    // the passes test, without a system call.
    plat::Event m_quit{plat::Event::Kind::ManualReset};
    std::atomic<bool> m_quitting{false};

    std::array<std::thread, 3> m_threads;
    WorkerThreads m_workers;
};
