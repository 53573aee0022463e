#include <thread>
#include "tests/serial/SerialTestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    int slave = -1;
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    m_slaveKeeper = slave;
    m_slavePath = name;
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Holding the slave open is not needed once the port has it; an extra opener would also
    // keep the pair from hanging up, so let go now.
    ::close(m_slaveKeeper);
    m_slaveKeeper = -1;
}

PtyPair::~PtyPair()
{
    CloseMaster();
}

void PtyPair::CloseMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PtyPair::WriteMaster(const void* data, size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(m_master, bytes + done, size - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            throw std::runtime_error("write to master failed");
    }
}

std::string PtyPair::ReadMaster(size_t size, int timeoutMs)
{
    std::string out;
    pollfd p{m_master, POLLIN, 0};
    while (out.size() < size && ::poll(&p, 1, timeoutMs) > 0) {
        char buffer[4096];
        ssize_t n = ::read(m_master, buffer, std::min(sizeof buffer, size - out.size()));
        if (n <= 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

SocatPair::SocatPair()
{
    char tmpl[] = "/tmp/relvanto-socat-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_dir = tmpl;
    m_a = m_dir + "/a";
    m_b = m_dir + "/b";
    const std::string a = "pty,raw,echo=0,link=" + m_a;
    const std::string b = "pty,raw,echo=0,link=" + m_b;
    m_pid = ::fork();
    if (m_pid == 0) {
        int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ::execlp("socat", "socat", a.c_str(), b.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Socat makes the links once both ends exist.
    for (int i = 0; i < 1000; ++i) {
        if (::access(m_a.c_str(), F_OK) == 0 && ::access(m_b.c_str(), F_OK) == 0)
            return;
        ::usleep(10000);
    }
    throw std::runtime_error("socat links did not appear");
}

SocatPair::~SocatPair()
{
    Kill();
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void SocatPair::Kill()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

void RecordingSink::AppendReceivedData(const unsigned char* data, int size)
{
    OnAppend(data, size);
    std::lock_guard lock(m_stateLock);
    m_bytes.insert(m_bytes.end(), data, data + size);
    m_blocks.push_back(size);
    m_threads.push_back(std::this_thread::get_id());
    m_grown.notify_all();
}

bool RecordingSink::WaitForBytes(size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_stateLock);
    return m_grown.wait_for(lock, timeout, [&] { return m_bytes.size() >= count; });
}

std::vector<unsigned char> RecordingSink::Bytes()
{
    std::lock_guard lock(m_stateLock);
    return m_bytes;
}

std::vector<int> RecordingSink::BlockSizes()
{
    std::lock_guard lock(m_stateLock);
    return m_blocks;
}

std::vector<std::thread::id> RecordingSink::Threads()
{
    std::lock_guard lock(m_stateLock);
    return m_threads;
}

TempFolder::TempFolder()
{
    char tmpl[] = "/tmp/relvanto-serial-XXXXXX";
    if (::mkdtemp(tmpl) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name)
{
    if (const char* old = std::getenv(name)) {
        m_had = true;
        m_old = old;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (m_had)
        ::setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

int ThreadCount()
{
    // ThreadSanitizer starts a helper thread of its own with the first thread of the process:
    // start one first so that it is counted in every reading, not just the later ones.
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        ::closedir(dir);
    }
    return count;
}

double ProcessCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::vector<unsigned char> PatternBytes(size_t size, unsigned seed)
{
    std::vector<unsigned char> bytes(size);
    unsigned state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return bytes;
}
