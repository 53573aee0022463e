// The line that says why an open failed, for failures made for real: a missing device, another
// process holding the port, a user outside the device's group, a file that is no serial port.

#include "serial/devices/OpenFailure.h"
#include "serial/port/SerialPort.h"
#include "tests/serial/RecordedDevices.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace serialstatus;

namespace {

class OpenFailure : public ::testing::Test {
protected:
    // Opens the name as the port would and explains the failure.
    static std::string Explained(const std::string& name)
    {
        CSerialPort port;
        const std::uint32_t status = port.Open(name, 0, 0);
        EXPECT_NE(status, kSuccess) << name;
        return ExplainOpenFailure(name, status);
    }

    TempFolder m_root;
    ScopedEnv m_user{"RELVANTO_USER_STORE", m_root.Path() + "/user"};
    ScopedEnv m_machine{"RELVANTO_MACHINE_STORE", m_root.Path() + "/machine"};
    RecordedDevices m_devices{{recorded::Ftdi("/dev/ttyUSB1"), recorded::OnBoardUart()}};
};

TEST_F(OpenFailure, MissingDeviceNamesThePortsThatArePresent)
{
    const std::string byId = "/dev/serial/by-id/usb-Gone_Adapter_Z9-if00-port0";
    std::filesystem::create_directories(m_root.Path() + "/user/dosdevices");
    std::filesystem::create_symlink(byId, m_root.Path() + "/user/dosdevices/com7");
    // The user's com1 is gone too, so no name reaches ttyS0: it is named by a number of its own.
    std::filesystem::create_symlink(byId, m_root.Path() + "/user/dosdevices/com1");
    const std::string present = "Present ports: COM34 (ttyUSB1, FTDI FT232R USB UART, A123), COM97 (ttyS0, serial).";
    EXPECT_EQ(Explained("COM7"), byId + " is not present. " + present);
    EXPECT_EQ(Explained("COM200"), "COM200 is not linked to any device. " + present);
    EXPECT_EQ(Explained("/dev/relvanto-none"), "/dev/relvanto-none is not present. " + present);
    // Explaining wrote no link.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_root.Path() + "/user/dosdevices"), {}), 2);
    EXPECT_FALSE(std::filesystem::exists(m_root.Path() + "/machine"));
}

TEST_F(OpenFailure, ALoopOfLinksIsSaidSo)
{
    const std::string links = m_root.Path() + "/user/dosdevices";
    std::filesystem::create_directories(links);
    std::filesystem::create_symlink("com15", links + "/com14");
    std::filesystem::create_symlink("com14", links + "/com15");
    EXPECT_EQ(Explained("COM14"), links + "/com14 is a loop of symbolic links that never reaches a device: point one of them at the device.");
}

TEST_F(OpenFailure, NoPortPresentIsSaidSo)
{
    RecordedDevices empty;
    EXPECT_EQ(Explained("COM200"), "COM200 is not linked to any device. No serial port is present.");
}

TEST_F(OpenFailure, FilesThatAreNoSerialPort)
{
    EXPECT_EQ(Explained("/dev/null"), "/dev/null is not a serial port.");
    const std::string file = m_root.Path() + "/data.bin";
    std::ofstream(file) << "bytes";
    EXPECT_EQ(Explained(file), file + " is not a serial port.");
    EXPECT_EQ(Explained(m_root.Path()), m_root.Path() + " is not a serial port.");
}

TEST_F(OpenFailure, BusyPortNamesTheProcessHoldingIt)
{
    PtyPair pty;
    int ready[2], quit[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(quit), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::close(quit[1]);
        ::prctl(PR_SET_NAME, "port-holder");
        CSerialPort port;
        const char opened = port.Open(pty.SlavePath(), 0, 0) == kSuccess ? 'y' : 'n';
        [[maybe_unused]] ssize_t n = ::write(ready[1], &opened, 1);
        char ignored;
        n = ::read(quit[0], &ignored, 1);
        ::_exit(0);
    }
    char opened = 0;
    ASSERT_EQ(::read(ready[0], &opened, 1), 1);
    ASSERT_EQ(opened, 'y');
    EXPECT_EQ(Explained(pty.SlavePath()),
              pty.SlavePath() + " is in use by port-holder (process " + std::to_string(holder) + ").");
    ::close(quit[1]);
    ::waitpid(holder, nullptr, 0);
    for (int fd : {ready[0], ready[1], quit[0]})
        ::close(fd);
}

TEST_F(OpenFailure, UserOutsideTheDevicesGroupIsToldHowToJoinIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to drop to another user";
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr)
        GTEST_SKIP() << "no dialout group";
    PtyPair pty;
    ASSERT_EQ(::chown(pty.SlavePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0660), 0);
    // The explanation is made in a child that runs as the unprivileged user 65534, in no group.
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        std::string text = "could not drop privileges";
        if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) {
            CSerialPort port;
            text = ExplainOpenFailure(pty.SlavePath(), port.Open(pty.SlavePath(), 0, 0));
        }
        [[maybe_unused]] ssize_t n = ::write(out[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(text, pty.SlavePath() + " belongs to group dialout, and you are not in it: run sudo adduser $USER "
                                      "dialout, then log out and in again.");
}

TEST_F(OpenFailure, ExplanationFollowsTheMessageOnALineOfItsOwn)
{
    EXPECT_EQ(WithOpenFailureExplanation("Unable to open COM-port", "/dev/null", 1),
              "Unable to open COM-port\n/dev/null is not a serial port.");
    // Nothing to add: the message stays as it is.
    EXPECT_EQ(WithOpenFailureExplanation("Unable to open COM-port", "/dev/null", kInvalidParameter),
              "Unable to open COM-port");
}

} // namespace
