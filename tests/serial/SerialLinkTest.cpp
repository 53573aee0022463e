// The serial link without a window, over real pseudo-terminals mapped to COM numbers in a store of
// its own: the opening with what is stored, its refusals, the lost device, the trial opening of new
// settings, a close while the far end floods the line, and the reopening of a device that comes back.
#include "serial/link/SerialLink.h"
#include "tests/serial/RecordedDevices.h"
#include "tests/serial/SerialTestSupport.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kPort = 5;

// What the link showed, and the work it queued for the window's thread, run when the test says.
class RecordingView : public SerialLinkView {
public:
    void ShowSerialState(const std::string& text) override { states.push_back(text); }
    void ShowSerialButtons(bool startEnabled) override { startShownEnabled = startEnabled; }
    void ShowSerialMessage(const std::string& text) override { messages.push_back(text); }
    void ShowSerialSettings(const SerialSettings& settings) override { shown = settings; }
    void TearDownLink() override
    {
        ++teardowns;
        link->Close();
    }
    void QueueForView(std::function<void()> work) override
    {
        std::lock_guard guard(m_lock);
        m_queued.push_back(std::move(work));
        m_added.notify_all();
    }
    // Runs the next queued work once it has come; false when none came.
    bool RunQueued()
    {
        std::function<void()> work;
        {
            std::unique_lock guard(m_lock);
            if (!m_added.wait_for(guard, std::chrono::seconds(60), [this] { return !m_queued.empty(); }))
                return false;
            work = std::move(m_queued.front());
            m_queued.pop_front();
        }
        work();
        return true;
    }
    std::size_t Queued()
    {
        std::lock_guard guard(m_lock);
        return m_queued.size();
    }

    SerialLink* link = nullptr;
    std::vector<std::string> states;
    std::vector<std::string> messages;
    SerialSettings shown;
    bool startShownEnabled = true;
    int teardowns = 0;

private:
    std::mutex m_lock;
    std::condition_variable m_added;
    std::deque<std::function<void()>> m_queued;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class SerialLinkTest : public ::testing::Test {
protected:
    SerialLinkTest() { view.link = &link; }
    ~SerialLinkTest() override { link.EndEventThreads(); }

    std::string MachineFolder() const { return m_root.Path() + "/machine"; }
    std::string KeyFile() const { return MachineFolder() + "/Software/Relvanto.reg"; }
    void MapComPort(int port, const std::string& device)
    {
        const std::string folder = MachineFolder() + "/dosdevices";
        std::filesystem::create_directories(folder);
        std::filesystem::remove(folder + "/com" + std::to_string(port));
        std::filesystem::create_symlink(device, folder + "/com" + std::to_string(port));
    }
    // The stored settings: COM5 on the pseudo-terminal, then `values`.
    void Store(const std::string& values)
    {
        MapComPort(kPort, pty.SlavePath());
        std::filesystem::create_directories(MachineFolder() + "/Software");
        std::ofstream(KeyFile(), std::ios::binary) << "\"ComPort\"=dword:00000005\n" + values;
    }
    // Whether another opener could take the device now.
    bool DeviceIsFree()
    {
        const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    }

    TempFolder m_root;
    ScopedEnv m_machineEnv{"RELVANTO_MACHINE_STORE", MachineFolder()};
    ScopedEnv m_userEnv{"RELVANTO_USER_STORE", m_root.Path() + "/user"};
    PtyPair pty;
    RecordingView view;
    RecordingSink sink;
    SerialLink link{view, sink};
};

TEST_F(SerialLinkTest, OpensWithTheStoredSettingsAndBytesFlowBothWaysUntilTheEnd)
{
    Store("\"BaudRates\"=dword:0001c200\n\"StopBits\"=dword:00000002\n");
    ASSERT_EQ(link.Open(), 0u);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.states, std::vector<std::string>{"Opened"});
    EXPECT_FALSE(view.startShownEnabled);
    EXPECT_EQ(view.shown.baudRate, 115200);
    EXPECT_FALSE(DeviceIsFree());
    termios line{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &line), 0);
    EXPECT_EQ(::cfgetospeed(&line), B115200);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CSTOPB));

    const std::string inbound("\x00\r\n\xff in", 7);
    pty.WriteMaster(inbound.data(), inbound.size());
    ASSERT_TRUE(sink.WaitForBytes(inbound.size()));
    EXPECT_EQ(sink.Bytes(), std::vector<unsigned char>(inbound.begin(), inbound.end()));

    std::uint32_t written = 0;
    ASSERT_EQ(link.SerialWrite(reinterpret_cast<const unsigned char*>("out\r\n"), 5, &written, 5000), 0u);
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(pty.ReadMaster(5, 5000), "out\r\n");

    link.EndEventThreads();
    EXPECT_TRUE(DeviceIsFree());
}

TEST_F(SerialLinkTest, EachRefusedStepIsToldAndNothingReportsOpened)
{
    Store("\"Handshaking\"=dword:00000005\n");
    EXPECT_NE(link.Open(), 0u);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Unable to set Handshaking setting"});
    // Open without listening: the next Start, Change Setting or teardown closes it.
    EXPECT_TRUE(link.Port().IsOpen());

    // 256 must not pass as "no parity", nor 264 as 8 data bits.
    for (const char* values : {"\"ParityBits\"=dword:00000100\n", "\"DataBits\"=dword:00000108\n",
                               "\"StopBits\"=dword:ffffffff\n", "\"BaudRates\"=dword:00000000\n"}) {
        SCOPED_TRACE(values);
        view.messages.clear();
        std::filesystem::remove_all(MachineFolder());
        Store(values);
        EXPECT_NE(link.Open(), 0u);
        EXPECT_EQ(view.messages, std::vector<std::string>{"Unable to set COM-port setting"});
    }

    RecordedDevices present;
    view.messages.clear();
    MapComPort(kPort, m_root.Path() + "/gone");
    EXPECT_NE(link.Open(), 0u);
    EXPECT_EQ(view.messages, std::vector<std::string>{"Unable to open COM-port\n" + m_root.Path() +
                                                      "/gone is not present. No serial port is present."});
    EXPECT_FALSE(link.Port().IsOpen());
    EXPECT_TRUE(view.states.empty());
}

TEST_F(SerialLinkTest, ALostDeviceEndsItsOwnOpeningOnceAndNeverALaterOne)
{
    Store("");
    ASSERT_EQ(link.Open(), 0u);
    pty.CloseMaster();
    ASSERT_TRUE(view.RunQueued());
    EXPECT_EQ(view.teardowns, 1);
    EXPECT_EQ(view.states.back(), "Disconnected");
    EXPECT_FALSE(link.Port().IsOpen());
    EXPECT_EQ(view.Queued(), 0u);

    // The next device loses its opening too, but the report arrives after a later Open.
    PtyPair second;
    MapComPort(kPort, second.SlavePath());
    ASSERT_EQ(link.Open(), 0u);
    second.CloseMaster();
    ASSERT_TRUE(testwait::WaitUntil([&] { return view.Queued() == 1; }));
    PtyPair third;
    MapComPort(kPort, third.SlavePath());
    ASSERT_EQ(link.Open(), 0u);
    ASSERT_TRUE(view.RunQueued());
    EXPECT_EQ(view.teardowns, 1);
    EXPECT_EQ(view.states.back(), "Opened");
    EXPECT_TRUE(link.Port().IsOpen());
    third.WriteMaster("still", 5);
    EXPECT_TRUE(sink.WaitForBytes(5));
}

TEST_F(SerialLinkTest, TrialOpeningStoresWhatTheDeviceTookAndKeepsThePreviousOtherwise)
{
    MapComPort(kPort, pty.SlavePath());
    link.LoadSettings();
    const SerialSettings previous = link.Settings();
    const std::string storedBefore = ReadFile(KeyFile());

    // A pseudo-terminal cannot keep parity: the port reads the setting back and refuses it.
    SerialSettings parity{kPort, 9600, 7, 2, 0, 0};
    ASSERT_TRUE(link.TryNewSettings(parity));
    EXPECT_EQ(view.messages,
              std::vector<std::string>{"Unable to set COM-port setting. Previous configuration is maintained."});
    EXPECT_EQ(ReadFile(KeyFile()), storedBefore);
    EXPECT_EQ(link.Settings(), previous);

    RecordedDevices present({recorded::Ftdi()});
    view.messages.clear();
    MapComPort(6, m_root.Path() + "/no-such-device");
    ASSERT_TRUE(link.TryNewSettings({6, 115200, 8, 0, 0, 0}));
    EXPECT_EQ(view.messages, std::vector<std::string>{"Unable to open COM-port. Previous configuration is maintained.\n" +
                                                      m_root.Path() +
                                                      "/no-such-device is not present. Present ports: COM33 (ttyUSB0, "
                                                      "FTDI FT232R USB UART, A123)."});
    EXPECT_EQ(ReadFile(KeyFile()), storedBefore);
    EXPECT_EQ(link.Settings(), previous);

    // Accepted: stored, in use and shown; the link was closed before and stays closed.
    ASSERT_EQ(link.Open(), 0u);
    view.messages.clear();
    view.states.clear();
    const SerialSettings accepted{kPort, 57600, 8, 0, 2, 0};
    ASSERT_TRUE(link.TryNewSettings(accepted));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(link.Settings(), accepted);
    EXPECT_EQ(view.shown, accepted);
    EXPECT_EQ(serialstore::Load(), accepted);
    EXPECT_EQ(view.states, std::vector<std::string>{"Closed"});
    EXPECT_TRUE(view.startShownEnabled);
    EXPECT_FALSE(link.Port().IsOpen());
}

TEST_F(SerialLinkTest, CloseDuringAFloodEndsTheLinkWithAnUnbrokenPrefix)
{
    Store("");
    ASSERT_EQ(link.Open(), 0u);
    const std::vector<unsigned char> pattern = PatternBytes(1 << 20, 3);
    int stopPipe[2];
    ASSERT_EQ(::pipe(stopPipe), 0);
    ::fcntl(pty.Master(), F_SETFL, ::fcntl(pty.Master(), F_GETFL) | O_NONBLOCK);
    std::thread flood([&] {
        // Round and round the pattern as fast as the line takes it, until told or the line goes.
        for (std::size_t at = 0;;) {
            pollfd fds[2] = {{pty.Master(), POLLOUT, 0}, {stopPipe[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0 || (fds[0].revents & (POLLHUP | POLLERR)) != 0)
                return;
            const ssize_t n = ::write(pty.Master(), pattern.data() + at, std::min<std::size_t>(4096, pattern.size() - at));
            if (n < 0 && errno != EAGAIN)
                return;
            at = (at + static_cast<std::size_t>(std::max<ssize_t>(n, 0))) % pattern.size();
        }
    });
    const bool flowed = sink.WaitForBytes(256 << 10);
    link.Close();
    EXPECT_FALSE(link.Port().IsOpen());
    link.EndEventThreads();
    ASSERT_EQ(::write(stopPipe[1], "x", 1), 1);
    flood.join();
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);

    ASSERT_TRUE(flowed);
    const std::vector<unsigned char> got = sink.Bytes();
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], pattern[i % pattern.size()]) << "at " << i;
    // A close is no loss of the device.
    EXPECT_EQ(view.Queued(), 0u);
}

// The far end of `adapter` writes `bytes`.
void SendFromFarEnd(const SocatPair& adapter, const std::string& bytes)
{
    CSerialPort far;
    ASSERT_EQ(far.Open(adapter.EndB(), 0, 0), 0u);
    ASSERT_EQ(far.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr, CSerialPort::kInfinite), 0u);
}

TEST_F(SerialLinkTest, WithReopenALostDeviceOpensAgainWhenItsLinkComesBackUntilUntickingEndsTheWait)
{
    auto adapter = std::make_unique<SocatPair>();
    Store("");
    MapComPort(kPort, adapter->EndA());
    const std::string comLink = MachineFolder() + "/dosdevices/com5";
    link.SetReopen(true);
    ASSERT_EQ(link.Open(), 0u);
    SendFromFarEnd(*adapter, "before");
    ASSERT_TRUE(sink.WaitForBytes(6));

    // The unplug: the device and its COM link go.
    adapter->Kill();
    std::filesystem::remove(comLink);
    ASSERT_TRUE(view.RunQueued());
    EXPECT_EQ(view.states.back(), "Disconnected");
    EXPECT_TRUE(link.WaitingForReturn());
    EXPECT_FALSE(view.startShownEnabled);

    adapter = std::make_unique<SocatPair>();
    MapComPort(kPort, adapter->EndA());
    ASSERT_TRUE(view.RunQueued());
    EXPECT_EQ(view.states.back(), "Opened");
    EXPECT_TRUE(link.Port().IsOpen());
    EXPECT_FALSE(link.WaitingForReturn());
    SendFromFarEnd(*adapter, "after");
    ASSERT_TRUE(sink.WaitForBytes(11));
    const std::vector<unsigned char> bytes = sink.Bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "beforeafter");
    EXPECT_TRUE(view.messages.empty());

    // Lost again, then unticked while waiting: the device's return opens nothing.
    adapter->Kill();
    ASSERT_TRUE(view.RunQueued());
    ASSERT_TRUE(link.WaitingForReturn());
    link.SetReopen(false);
    EXPECT_FALSE(link.WaitingForReturn());
    EXPECT_TRUE(view.startShownEnabled);
    adapter = std::make_unique<SocatPair>();
    MapComPort(kPort, adapter->EndA());
    EXPECT_EQ(view.Queued(), 0u);
    EXPECT_FALSE(link.Port().IsOpen());
}

} // namespace
