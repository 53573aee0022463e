// Line settings, handshaking and read modes, read back from the device.

#include "serial/port/SerialPort.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace serialstatus;

namespace {

// The terminal's settings as the driver holds them, seen through a descriptor of our own.
termios DeviceTermios(const std::string& path)
{
    termios t{};
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    ::tcgetattr(fd, &t);
    ::close(fd);
    return t;
}

struct Line {
    std::int64_t baud;
    int dataBits, parity, stopBits;
    bool operator==(const Line&) const = default;
};

Line ReadLine(CSerialPort& port)
{
    return {port.GetBaudRate(), port.GetDataBits(), port.GetParity(), port.GetStopBits()};
}

class SerialSettings : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(port.Open(pty.SlavePath(), 2048, 2048), kSuccess); }
    PtyPair pty;
    CSerialPort port;
};

} // namespace

TEST_F(SerialSettings, OpenPutsTheLineInRawMode)
{
    const termios t = DeviceTermios(pty.SlavePath());
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_FALSE(t.c_cflag & HUPCL);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(SerialSettings, StandardAndNonStandardRatesReadBack)
{
    EXPECT_EQ(port.SetLineSettings(230400, 8, 0, 0), kSuccess);
    EXPECT_EQ(ReadLine(port), (Line{230400, 8, 0, 0}));
    EXPECT_EQ(port.SetLineSettings(28800, 8, 0, 2), kSuccess);
    EXPECT_EQ(ReadLine(port), (Line{28800, 8, 0, 2}));
    EXPECT_EQ(port.SetLineSettings(9600, 8, 0, 0), kSuccess);
    EXPECT_EQ(ReadLine(port), (Line{9600, 8, 0, 0}));
    // Parity checking follows the parity: none here.
    EXPECT_FALSE(DeviceTermios(pty.SlavePath()).c_iflag & INPCK);
}

TEST_F(SerialSettings, RefusedSettingsKeepThePreviousOnes)
{
    ASSERT_EQ(port.SetLineSettings(28800, 8, 0, 2), kSuccess);
    const Line before{28800, 8, 0, 2};
    // One and a half stop bits exist only with 5 data bits.
    EXPECT_EQ(port.SetLineSettings(9600, 8, 0, 1), kInvalidParameter);
    EXPECT_EQ(ReadLine(port), before);
    // A pseudo-terminal accepts 7 data bits and parity without taking them: refused, and the
    // rate changed in the same call is put back too.
    EXPECT_EQ(port.SetLineSettings(115200, 7, 0, 0), kInvalidParameter);
    EXPECT_EQ(ReadLine(port), before);
    for (std::uint8_t parity = 1; parity <= 4; ++parity) {
        EXPECT_EQ(port.SetLineSettings(115200, 8, parity, 0), kInvalidParameter) << int(parity);
        EXPECT_EQ(ReadLine(port), before) << int(parity);
        EXPECT_FALSE(DeviceTermios(pty.SlavePath()).c_iflag & INPCK) << int(parity);
    }
    // Out of range values change nothing either.
    EXPECT_EQ(port.SetLineSettings(0, 8, 0, 0), kInvalidParameter);
    EXPECT_EQ(port.SetLineSettings(9600, 9, 0, 0), kInvalidParameter);
    EXPECT_EQ(port.SetLineSettings(9600, 8, 5, 0), kInvalidParameter);
    EXPECT_EQ(port.SetLineSettings(9600, 8, 0, 3), kInvalidParameter);
    EXPECT_EQ(ReadLine(port), before);
}

TEST_F(SerialSettings, HandshakingFlagsPerMode)
{
    EXPECT_EQ(port.SetHandshaking(HandshakingHardware), kSuccess);
    termios t = DeviceTermios(pty.SlavePath());
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_EQ(port.GetHandshaking(), HandshakingHardware);

    EXPECT_EQ(port.SetHandshaking(HandshakingSoftware), kSuccess);
    t = DeviceTermios(pty.SlavePath());
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(port.GetHandshaking(), HandshakingSoftware);

    // Mode 3 is refused and the device keeps the software flags.
    EXPECT_EQ(port.SetHandshaking(static_cast<HandshakingMode>(3)), kInvalidMode);
    EXPECT_EQ(DeviceTermios(pty.SlavePath()).c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(port.GetHandshaking(), HandshakingSoftware);

    EXPECT_EQ(port.SetHandshaking(HandshakingNone), kSuccess);
    t = DeviceTermios(pty.SlavePath());
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_EQ(port.GetHandshaking(), HandshakingNone);
}

TEST_F(SerialSettings, ReadModes)
{
    unsigned char buffer[10];
    std::uint32_t read = 0;
    // Mode 2 is refused; reads keep returning at once.
    EXPECT_EQ(port.SetReadMode(static_cast<ReadMode>(2)), kInvalidMode);
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &read, CSerialPort::kInfinite), kSuccess);
    EXPECT_EQ(read, 0u);

    // Mode 0 hands over what is there; mode 1 waits for the full count or times out.
    pty.WriteMaster("abcd", 4);
    ASSERT_EQ(port.SetReadMode(ReadModeBlocking), kSuccess);
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &read, 200), kTimeout);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), read), "abcd");

    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.WriteMaster("0123456789", 10);
    });
    EXPECT_EQ(port.Read(buffer, sizeof buffer, &read, CSerialPort::kInfinite), kSuccess);
    late.join();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), read), "0123456789");
}

TEST_F(SerialSettings, TimedOutWriteIsCancelled)
{
    // Nobody reads the master: the write fills the pair and then times out.
    std::vector<unsigned char> data(1 << 20, 0x55);
    std::uint32_t written = 0;
    EXPECT_EQ(port.Write(data.data(), static_cast<std::uint32_t>(data.size()), &written, 200), kTimeout);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, data.size());
    // The port is still usable afterwards.
    const std::string drained = pty.ReadMaster(data.size(), 200);
    EXPECT_LE(drained.size(), written);
    EXPECT_EQ(port.WriteString("ok", &written, 5000), kSuccess);
    EXPECT_EQ(written, 2u);
}
