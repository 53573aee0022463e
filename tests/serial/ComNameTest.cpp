// Port names: paths, device links in the store folders, the default table.

#include "platform/registry/StoreFolders.h"
#include "serial/devices/ComName.h"
#include "serial/port/SerialPort.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace serialstatus;

TEST(ComName, DefaultTableAndPaths)
{
    TempFolder store;
    ScopedEnv user("RELVANTO_USER_STORE", store.Path() + "/user");
    ScopedEnv machine("RELVANTO_MACHINE_STORE", store.Path() + "/machine");
    EXPECT_EQ(ResolveComName("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ResolveComName("com32"), "/dev/ttyS31");
    EXPECT_EQ(ResolveComName("COM33"), "/dev/ttyUSB0");
    EXPECT_EQ(ResolveComName("COM64"), "/dev/ttyUSB31");
    EXPECT_EQ(ResolveComName("COM65"), "/dev/ttyACM0");
    EXPECT_EQ(ResolveComName("COM96"), "/dev/ttyACM31");
    EXPECT_EQ(ResolveComName("COM97"), "");
    EXPECT_EQ(ResolveComName("COM255"), "");
    EXPECT_EQ(ResolveComName("COM"), "");
    EXPECT_EQ(ResolveComName("COM1x"), "");
    EXPECT_EQ(ResolveComName("/dev/pts/3"), "/dev/pts/3");
}

TEST(ComName, UserLinkBeatsMachineLinkBeatsTable)
{
    TempFolder store;
    const std::string userFolder = store.Path() + "/user", machineFolder = store.Path() + "/machine";
    ScopedEnv user("RELVANTO_USER_STORE", userFolder);
    ScopedEnv machine("RELVANTO_MACHINE_STORE", machineFolder);
    std::filesystem::create_directories(userFolder + "/dosdevices");
    std::filesystem::create_directories(machineFolder + "/dosdevices");
    PtyPair userPty, machinePty;
    std::filesystem::create_symlink(machinePty.SlavePath(), machineFolder + "/dosdevices/com2");
    std::filesystem::create_symlink(machinePty.SlavePath(), machineFolder + "/dosdevices/com200");
    std::filesystem::create_symlink(userPty.SlavePath(), userFolder + "/dosdevices/com200");

    EXPECT_EQ(ResolveComName("COM2"), machineFolder + "/dosdevices/com2");
    EXPECT_EQ(ResolveComName("COM200"), userFolder + "/dosdevices/com200");

    // Bytes written on the user link's pty reach the port opened as COM200.
    CSerialPort port;
    ASSERT_EQ(port.Open("COM200", 16384, 16384), kSuccess);
    userPty.WriteMaster("hi", 2);
    ASSERT_EQ(port.SetReadMode(ReadModeBlocking), kSuccess);
    char buffer[2] = {};
    std::uint32_t read = 0;
    EXPECT_EQ(port.Read(buffer, 2, &read, 10000), kSuccess);
    EXPECT_EQ(std::string(buffer, read), "hi");

    // A dangling link is still the mapping: the open fails as for a missing device.
    std::filesystem::create_symlink(store.Path() + "/gone", userFolder + "/dosdevices/com5");
    CSerialPort other;
    EXPECT_EQ(other.Open("COM5", 0, 0), kFileNotFound);
}

TEST(StoreFolders, EnvironmentThenXdgThenHome)
{
    ScopedEnv machine("RELVANTO_MACHINE_STORE", "");
    ScopedEnv user("RELVANTO_USER_STORE", "");
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(plat::MachineStoreFolder(), "/etc/xdg/relvanto");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(plat::UserStoreFolder(), "/cfg/relvanto");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative");
        EXPECT_EQ(plat::UserStoreFolder(), "/home/someone/.config/relvanto");
    }
    ScopedEnv redirectedUser("RELVANTO_USER_STORE", "/tmp/u");
    ScopedEnv redirectedMachine("RELVANTO_MACHINE_STORE", "/tmp/m");
    EXPECT_EQ(plat::UserStoreFolder(), "/tmp/u");
    EXPECT_EQ(plat::MachineStoreFolder(), "/tmp/m");
}

TEST(SerialStatus, ErrnoNeverReadsAsSuccessOrNotOpen)
{
    for (int err = 0; err < 200; ++err) {
        const std::uint32_t status = FromErrno(err);
        EXPECT_NE(status, kSuccess) << err;
        EXPECT_NE(status, kNotOpen) << err;
    }
    EXPECT_EQ(FromErrno(ENOENT), 2u);
    EXPECT_EQ(FromErrno(EACCES), 5u);
    EXPECT_EQ(FromErrno(EBUSY), 32u);
    EXPECT_EQ(FromErrno(EINVAL), 87u);
    EXPECT_EQ(FromErrno(EIO), 1117u);
    EXPECT_EQ(FromErrno(EBADF), kErrnoFlag | EBADF);
}
