// Serial receive throughput: bytes written into a pseudo-terminal pair and handed through the
// receiver's event thread to a sink, next to what plain reads get through the same kind of pair
// (socat's own relay between two ptys), measured in the same run.
//
// Usage: serial_receive_bench [MiB per measurement, default 64]

#include "serial/SerialReceiver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class CountingSink : public CReceiveSink {
public:
protected:
    void AppendReceivedData(const unsigned char*, int size) override
    {
        std::lock_guard lock(m_countLock);
        m_count += static_cast<size_t>(size);
        m_grown.notify_all();
    }
public:
    bool WaitFor(size_t count)
    {
        std::unique_lock lock(m_countLock);
        return m_grown.wait_for(lock, std::chrono::seconds(120), [&] { return m_count >= count; });
    }

private:
    std::mutex m_countLock;
    std::condition_variable m_grown;
    size_t m_count = 0;
};

// socat relaying between two ptys, as a null-modem cable.
class SocatPair {
public:
    SocatPair()
    {
        char tmpl[] = "/tmp/relvanto-bench-XXXXXX";
        m_dir = ::mkdtemp(tmpl);
        a = m_dir + "/a";
        b = m_dir + "/b";
        const std::string argA = "pty,raw,echo=0,link=" + a, argB = "pty,raw,echo=0,link=" + b;
        m_pid = ::fork();
        if (m_pid == 0) {
            int devnull = ::open("/dev/null", O_RDWR);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
            ::execlp("socat", "socat", argA.c_str(), argB.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 1000 && (::access(a.c_str(), F_OK) != 0 || ::access(b.c_str(), F_OK) != 0); ++i)
            ::usleep(10000);
    }
    ~SocatPair()
    {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        std::filesystem::remove_all(m_dir);
    }
    std::string a, b;

private:
    std::string m_dir;
    pid_t m_pid = -1;
};

int OpenRaw(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

void WriteAll(int fd, const std::vector<unsigned char>& data, size_t total)
{
    size_t done = 0;
    while (done < total) {
        size_t chunk = std::min(data.size(), total - done);
        ssize_t n = ::write(fd, data.data(), chunk);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            return;
    }
}

// Times `receive` while a writer thread pushes total bytes into writeFd. MB/s, or 0 on failure.
double Measure(int writeFd, size_t total, const std::function<bool()>& receive)
{
    std::vector<unsigned char> chunk(65536);
    for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<unsigned char>(i * 131);
    const auto start = Clock::now();
    std::thread writer([&] { WriteAll(writeFd, chunk, total); });
    const bool ok = receive();
    writer.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return ok ? static_cast<double>(total) / seconds / 1e6 : 0.0;
}

double PlainReadsThroughSocat(size_t total)
{
    SocatPair pair;
    int writeFd = OpenRaw(pair.a), readFd = OpenRaw(pair.b);
    double rate = Measure(writeFd, total, [&] {
        std::vector<unsigned char> buffer(16384);
        size_t got = 0;
        while (got < total) {
            ssize_t n = ::read(readFd, buffer.data(), buffer.size());
            if (n < 0 && errno != EINTR)
                return false;
            got += n > 0 ? static_cast<size_t>(n) : 0;
        }
        return true;
    });
    ::close(writeFd);
    ::close(readFd);
    return rate;
}

double ReceiverOn(const std::string& path, int writeFd, size_t total)
{
    CountingSink sink;
    CSerialReceiver receiver;
    receiver.AllocateReceiveBuffer();
    receiver.SetOwner(&sink);
    if (receiver.Open(path, 16384, 16384) != 0 || receiver.SetHandshaking(HandshakingNone) != 0 ||
        receiver.StartEventThread() != 0)
        return 0.0;
    double rate = Measure(writeFd, total, [&] { return sink.WaitFor(total); });
    receiver.Close();
    return rate;
}

double ReceiverThroughSocat(size_t total)
{
    SocatPair pair;
    int writeFd = OpenRaw(pair.a);
    double rate = ReceiverOn(pair.b, writeFd, total);
    ::close(writeFd);
    return rate;
}

double ReceiverOnOpenpty(size_t total)
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return 0.0;
    ::close(slave);
    double rate = ReceiverOn(name, master, total);
    ::close(master);
    return rate;
}

} // namespace

int main(int argc, char** argv)
{
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const size_t total = mib << 20;
    std::printf("serial receive throughput, %zu MiB per measurement\n", mib);
    const double socat = PlainReadsThroughSocat(total);
    const double ours = ReceiverThroughSocat(total);
    const double direct = ReceiverOnOpenpty(total);
    std::printf("  socat pty pair, plain reads (socat's own relay): %8.1f MB/s\n", socat);
    std::printf("  socat pty pair, through CSerialReceiver:         %8.1f MB/s\n", ours);
    std::printf("  ratio receiver / socat:                          %8.2f\n", socat > 0 ? ours / socat : 0.0);
    std::printf("  openpty pair, through CSerialReceiver:           %8.1f MB/s\n", direct);
    return socat > 0 && ours > 0 && direct > 0 ? 0 : 1;
}
