#pragma once
// Pieces the window benchmarks share: a window set up for driving, a sender of cyclic bytes over
// TCP, and probes of how late the window's thread answers a timer and a click. Outside programs as
// yardsticks and the RESULT line come from bench/support. Called from the window's thread unless
// said otherwise.

#include "app/MainDlg.h"
#include "bench/support/BenchResult.h"
#include "bench/support/Processes.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <thread>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Bytes position i of which is Cyclic()[i % size]: a length that is no power of two, so that a
// block landing in the wrong place shows.
const std::vector<unsigned char>& Cyclic();
bool MatchesCyclic(const plat::ByteBlock& block, std::uint64_t size);

std::uint16_t FreePort(int type);
double Seconds(Clock::time_point since);
sockaddr_in LoopbackAddress(std::uint16_t port);
// A UDP socket bound to 127.0.0.1:port (0: any free port); -1 on failure.
int BindUdp(std::uint16_t port = 0);
std::uint16_t LocalPort(int fd);
// Connects to 127.0.0.1:port, retrying while nothing listens yet (for at most ten seconds).
int ConnectTcp(std::uint16_t port);
// Sends `total` cyclic bytes in writes of `chunk` bytes; closes the socket.
void SendCyclic(int fd, std::uint64_t total, std::size_t chunk = 256 * 1024);

// A bare thread that sleeps 5 ms at a time while it runs and records how late it wakes: what the
// machine itself does to a thread that asks for nothing else, beside the window's timer.
class SleepProbe {
public:
    ~SleepProbe() { Stop(); }
    void Start();
    void Stop();
    double WorstMs() const { return m_worstMs; }

private:
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    double m_worstMs = 0;
};

// Records, on the window's thread, how late a 5 ms timer fires while it runs.
class TimerProbe {
public:
    // What the window's thread did during the worst interval: ran (CPU time), stood ready while
    // other threads or the host had the cores, or blocked (waits it went into: its poll or a lock).
    struct Interval {
        double lateMs = 0;
        double endsAtMs = 0; // after Start
        double cpuMs = 0;
        double readyMs = 0; // ready to run, waiting for a core
        long waits = 0;
        long preemptions = 0;
    };
    void Start();
    void Stop();
    double WorstMs() const;
    double PercentileMs(double p) const;
    const Interval& WorstInterval() const { return m_worst; }

private:
    struct Mark {
        qint64 at = 0;
        double cpuMs = 0;
        double readyMs = 0;
        long waits = 0;
        long preemptions = 0;
    };
    Mark Now() const;

    std::unique_ptr<QTimer> m_timer;
    QElapsedTimer m_clock;
    Mark m_last;
    std::vector<double> m_lateMs;
    Interval m_worst;
};

// Records, on the window's thread, how long a click posted every 50 ms on a check box waits until
// the box has handled it. The box toggles with every click; an even number keeps its state.
class ClickProbe {
public:
    void Start(QAbstractButton* box);
    // Stops posting and waits (for at most a second) for the last click to be handled.
    void Stop();
    double WorstMs() const;
    double PercentileMs(double p) const;
    std::size_t Count() const { return m_waitMs.size(); }

private:
    std::unique_ptr<QTimer> m_timer;
    QMetaObject::Connection m_toggled;
    QAbstractButton* m_box = nullptr;
    QElapsedTimer m_clock;
    qint64 m_postedAt = -1;
    std::vector<double> m_waitMs;
};

// The window's event loop runs until `done`, asleep between events as the program's own loop is;
// `done` is checked every millisecond.
template <class Pred> void RunUntil(Pred done);

void CreateApplication(const char* name);
std::unique_ptr<CMainDlg> MakeWindow();
// The window as a listening TCP server on `port`, recording to `path` through "Record to file..."
// (the file dialog answered by a hook). The recording starts after the mode is chosen: a mode change
// would end it.
void ListenRecordingTo(CMainDlg& dlg, std::uint16_t port, const std::string& path);
void Click(CMainDlg& dlg, int id);
void Type(CMainDlg& dlg, int id, const QString& text);
void TypeAddress(CMainDlg& dlg, int id, const QString& dotted);
// The Sending pane filled with `size` cyclic bytes.
void FillSending(CMainDlg& dlg, std::size_t size);

} // namespace bench

#include <QApplication>
#include <QEventLoop>

template <class Pred> void bench::RunUntil(Pred done)
{
    // Not processEvents(flags, ms): it drops WaitForMoreEvents and would keep the window's thread
    // spinning, taking a core from the workers being measured.
    if (done())
        return;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(1);
    loop.exec();
}
