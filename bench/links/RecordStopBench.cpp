// How long "Stop recording" holds the window's thread while the file is slow: the window, as TCP
// server, records a flood of n MiB (default 24, under the recorder's 32 MiB queue) to a FIFO whose
// reader takes at most 10 MB/s, like a USB stick. Once the pane has every byte the recording is stopped
// through its menu entry; the time that call takes is set against the time until the window reports
// the file complete ("Recorded to ..."), the writer's own drain. The FIFO's bytes are checked.
//
// bench_links_record_stop [MiB, default 24]
#include "bench/links/BenchSupport.h"

#include "panes/ui/ReceivedRecording.h"
#include "resources/ControlIds.h"

#include <QAction>
#include <sys/socket.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// Reads the FIFO at about `bytesPerSecond` until its writer closes it, checking the cyclic bytes.
void ReadSlowly(int fd, std::uint64_t bytesPerSecond, std::uint64_t& read, bool& exact)
{
    const auto& cyclic = bench::Cyclic();
    constexpr int kStepMs = 10;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(bytesPerSecond / (1000 / kStepMs)));
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n == 0)
            return;
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        for (ssize_t i = 0; i < n; ++i)
            exact = exact && buffer[static_cast<std::size_t>(i)] == cyclic[(read + static_cast<std::uint64_t>(i)) % cyclic.size()];
        if (n > 0)
            read += static_cast<std::uint64_t>(n);
        std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 24;
    const std::uint64_t total = mib << 20;
    bench::CreateApplication("bench_links_record_stop");
    const std::string path = "/tmp/relvanto-record-stop-" + std::to_string(::getpid()) + ".fifo";
    if (::mkfifo(path.c_str(), 0600) != 0) {
        std::perror("mkfifo");
        return 1;
    }
    const int readFd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);

    auto dlg = bench::MakeWindow();
    const std::uint16_t port = bench::FreePort(SOCK_STREAM);
    bench::ListenRecordingTo(*dlg, port, path);

    std::uint64_t read = 0;
    bool exact = true;
    std::thread reader([&] { ReadSlowly(readFd, 10'000'000, read, exact); });
    std::thread sender([&] { bench::SendCyclic(bench::ConnectTcp(port), total); });
    bench::RunUntil([&] { return static_cast<std::uint64_t>(dlg->ReceivedTotal()) >= total; });
    sender.join();

    const auto start = bench::Clock::now();
    dlg->Recording()->RecordAction()->trigger();
    const double stopSeconds = bench::Seconds(start);
    bench::RunUntil([&] { return dlg->Recording()->StatusText().startsWith(QStringLiteral("Recorded to")); });
    const double drainSeconds = bench::Seconds(start);
    const QString status = dlg->Recording()->StatusText();
    dlg.reset();
    reader.join();
    ::close(readFd);
    ::unlink(path.c_str());

    const bool ok = exact && read == total;
    std::printf("TCP flood of %llu MiB recorded to a FIFO read at 10 MB/s at most, then \"Stop recording\"\n",
                static_cast<unsigned long long>(mib));
    std::printf("  the stop held the window's thread %.3f ms; the file was complete %.1f ms after it; FIFO %s\n",
                stopSeconds * 1e3, drainSeconds * 1e3, ok ? "byte-exact" : "WRONG");
    std::printf("  %s\n", status.toLocal8Bit().constData());
    bench::PrintResult(("record_stop_" + std::to_string(mib) + "MiB").c_str(), ok && drainSeconds > 0 ? stopSeconds / drainSeconds : -1,
                       bench::AtMost(0.01));
    return ok ? 0 : 1;
}
