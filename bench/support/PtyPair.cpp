#include "bench/support/PtyPair.h"

#include "bench/support/Processes.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace bench {

SocatPtyPair::SocatPtyPair()
{
    char tmpl[] = "/tmp/relvanto-bench-XXXXXX";
    m_dir = ::mkdtemp(tmpl);
    a = m_dir + "/a";
    b = m_dir + "/b";
    m_pid = Spawn({"socat", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b}, "/dev/null", "/dev/null");
    for (int i = 0; i < 1000 && (::access(a.c_str(), F_OK) != 0 || ::access(b.c_str(), F_OK) != 0); ++i)
        ::usleep(10000);
}

SocatPtyPair::~SocatPtyPair()
{
    Stop();
    std::filesystem::remove_all(m_dir);
}

void SocatPtyPair::Stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

int OpenRaw(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

void WriteAll(int fd, const std::vector<unsigned char>& data, std::size_t total)
{
    std::size_t done = 0;
    while (done < total) {
        const std::size_t chunk = std::min(data.size(), total - done);
        const ssize_t n = ::write(fd, data.data(), chunk);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            return;
    }
}

std::vector<unsigned char> SerialPattern()
{
    std::vector<unsigned char> chunk(65536);
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<unsigned char>(i * 131);
    return chunk;
}

Throughput CatThroughSocat(std::size_t total)
{
    Throughput result;
    SocatPtyPair pair;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return result;
    ::fcntl(out[0], F_SETPIPE_SZ, 1 << 20);
    const int writeFd = OpenRaw(pair.a);
    const int pid = Spawn({"cat", pair.b}, nullptr, nullptr, out[1]);
    ::close(out[1]);
    // cat's output is moved into /dev/null by the kernel, so that counting it costs next to nothing.
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const auto start = std::chrono::steady_clock::now();
    std::thread writer([&] { WriteAll(writeFd, SerialPattern(), total); });
    std::size_t got = 0;
    while (pid > 0 && got < total) {
        const ssize_t n = ::splice(out[0], nullptr, devNull, nullptr, 1 << 20, 0);
        if (n <= 0 && errno != EINTR)
            break;
        got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (got < total)
        pair.Stop();
    writer.join();
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        result.cpuSeconds = WaitChild(pid).cpuSeconds;
    }
    if (got == total)
        result.mbPerSecond = static_cast<double>(total) / seconds / 1e6;
    ::close(devNull);
    ::close(out[0]);
    ::close(writeFd);
    return result;
}

} // namespace bench
