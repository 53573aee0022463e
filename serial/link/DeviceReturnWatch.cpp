#include "serial/link/DeviceReturnWatch.h"

#include "platform/registry/StoreFolders.h"
#include "serial/devices/ComName.h"
#include "serial/devices/SerialDeviceSource.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kByIdFolder = "/dev/serial/by-id";
// Links followed at most, as the kernel does.
constexpr int kMaxHops = 40;

// The folders whose changes can bring `name` back: the COM links' folders, then the folder of each
// link on the way from the name to the device, and the device's own.
std::vector<std::string> FoldersOnTheWay(const std::string& name)
{
    std::vector<std::string> folders;
    if (name.empty() || name[0] != '/')
        for (const std::string& store : {plat::UserStoreFolder(), plat::MachineStoreFolder()})
            folders.push_back(store + "/dosdevices");
    fs::path path = ResolveComName(name);
    std::error_code error;
    for (int hop = 0; hop < kMaxHops && !path.empty(); ++hop) {
        folders.push_back(path.parent_path().string());
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    folders.push_back(kByIdFolder);
    return folders;
}

// Whether `name` now leads to a device this process may open, with `identity` when one is asked.
bool IsBack(const std::string& name, const std::string& identity)
{
    const std::string path = ResolveComName(name);
    struct stat info{};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    // A node udev has made but not yet given its permissions is not back yet: the change of mode wakes us.
    if (::access(path.c_str(), R_OK | W_OK) != 0)
        return false;
    return identity.empty() || DeviceReturnWatch::IdentityOf(path) == identity;
}

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Watch thread: sleeps until the device is back (then calls `back`) or `wake` is written.
void Wait(const std::string& name, const std::string& identity, const std::function<void()>& back, int wake)
{
    const Fd notify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    std::unique_ptr<SerialDeviceSource> udev = OpenSerialDeviceSource();
    const int udevFd = udev ? udev->ChangeDescriptor() : -1;
    for (;;) {
        // Watched before the look, so that a return between the two still wakes us. Adding a
        // folder already watched changes nothing; a link made since adds its folder.
        if (notify.Get() >= 0)
            for (const std::string& folder : FoldersOnTheWay(name))
                ::inotify_add_watch(notify.Get(), folder.c_str(),
                                    IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR);
        if (IsBack(name, identity)) {
            back();
            return;
        }
        std::array<pollfd, 3> fds{{{wake, POLLIN, 0}, {notify.Get(), POLLIN, 0}, {udevFd, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents != 0) {
            alignas(inotify_event) char events[4096];
            while (::read(notify.Get(), events, sizeof events) > 0) {
            }
        }
        if (fds[2].revents != 0)
            udev->TakeChanges();
    }
}

} // namespace

std::string DeviceReturnWatch::Begin(const std::string& name, const std::string& identity,
                                     std::function<void()> back)
{
    End();
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wake < 0)
        return std::strerror(errno);
    try {
        m_thread = std::thread(Wait, name, identity, std::move(back), m_wake);
    } catch (const std::system_error& error) {
        ::close(m_wake);
        m_wake = -1;
        return error.what();
    }
    return {};
}

void DeviceReturnWatch::End()
{
    if (!m_thread.joinable())
        return;
    const std::uint64_t one = 1;
    // A full counter still wakes the thread; nothing else can make this write fail.
    [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
    m_thread.join();
    ::close(m_wake);
    m_wake = -1;
}

std::string DeviceReturnWatch::IdentityOf(const std::string& path)
{
    std::error_code error;
    const fs::path device = fs::canonical(path, error);
    if (error)
        return {};
    for (const fs::directory_entry& entry : fs::directory_iterator(kByIdFolder, error)) {
        std::error_code ignored;
        if (fs::canonical(entry.path(), ignored) == device)
            return entry.path().filename().string();
    }
    return {};
}
