// The settings store on its own: where keys live, what a damaged file reads as, and when a write
// is refused.
#include "platform/registry/RegistryFile.h"
#include "platform/registry/RegistryKey.h"
#include "serial/store/SerialSettingsStore.h"
#include "tests/settings/SettingsWindow.h"

#include "resources/ControlIds.h"

#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using StoreTest = SettingsWindowTest;

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST_F(StoreTest, KeyIsCreatedMachineWideWithValuesInWriteOrderAndReadBack)
{
    plat::RegistryKey key;
    EXPECT_EQ(key.Open("Software\\Relvanto", plat::KeyAccess::Read), plat::regstatus::kNotFound);
    ASSERT_EQ(key.Create("Software\\Relvanto", plat::KeyAccess::ReadWrite), plat::regstatus::kSuccess);
    EXPECT_EQ(key.WritePath(), MachineKeyFile());
    ASSERT_EQ(key.SetDwords({{"B", 0xFFFFFFFFu}, {"A", 7}}), plat::regstatus::kSuccess);
    ASSERT_EQ(key.SetDword("B", 0x0001C200u), plat::regstatus::kSuccess);
    EXPECT_EQ(ReadFile(MachineKeyFile()), "\"B\"=dword:0001c200\n\"A\"=dword:00000007\n");

    plat::RegistryKey again;
    ASSERT_EQ(again.Open("Software\\Relvanto", plat::KeyAccess::Read), plat::regstatus::kSuccess);
    EXPECT_EQ(again.QueryDword("B"), 0x0001C200u);
    EXPECT_EQ(again.QueryDword("A"), 7u);
    EXPECT_EQ(again.QueryDword("C"), std::nullopt);
    // A read-only opening refuses writes.
    EXPECT_EQ(again.SetDword("A", 1), plat::regstatus::kAccessDenied);

    // Readable by every user, and no temporary file left beside it.
    struct stat info{};
    ASSERT_EQ(::stat(MachineKeyFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(FolderEntries(MachineFolder() + "/Software"), std::vector<std::string>{"Relvanto.reg"});
}

TEST_F(StoreTest, KeyPathsThatLeaveTheStoreAreRefused)
{
    plat::RegistryKey key;
    for (const char* path : {"Software\\..\\..\\etc", "", "Software\\\\Relvanto", "Software/Relvanto", "."})
        EXPECT_EQ(key.Create(path, plat::KeyAccess::ReadWrite), plat::regstatus::kInvalidName) << path;
    ASSERT_EQ(key.Create("Software\\Relvanto", plat::KeyAccess::Write), plat::regstatus::kSuccess);
    EXPECT_EQ(key.SetDword("with \"quote\"", 1), plat::regstatus::kInvalidName);
    EXPECT_EQ(key.SetDword("line\nbreak", 1), plat::regstatus::kInvalidName);
}

TEST_F(StoreTest, UnwritableMachineStoreSendsWritesToAPerUserCopyThatReadsFirst)
{
    // The machine-wide folder lies below a regular file: nobody, not even root, can create it.
    WriteFile(Scratch() + "/blocker", "x");
    ScopedEnv machine("RELVANTO_MACHINE_STORE", Scratch() + "/blocker/store");

    plat::RegistryKey key;
    ASSERT_EQ(key.Create("Software\\Relvanto", plat::KeyAccess::ReadWrite), plat::regstatus::kSuccess);
    EXPECT_EQ(key.WritePath(), UserKeyFile());
    ASSERT_EQ(key.SetDword("BaudRates", 115200), plat::regstatus::kSuccess);

    plat::RegistryKey reader;
    ASSERT_EQ(reader.Open("Software\\Relvanto", plat::KeyAccess::Read), plat::regstatus::kSuccess);
    EXPECT_EQ(reader.QueryDword("BaudRates"), 115200u);
}

TEST_F(StoreTest, PerUserCopyShadowsTheMachineKeyAndTakesItsWrites)
{
    WriteMachineKey("\"BaudRates\"=dword:00002580\n\"DataBits\"=dword:00000007\n");
    std::filesystem::create_directories(UserFolder() + "/Software");
    WriteFile(UserKeyFile(), "\"BaudRates\"=dword:0001c200\n");

    plat::RegistryKey key;
    ASSERT_EQ(key.Open("Software\\Relvanto", plat::KeyAccess::ReadWrite), plat::regstatus::kSuccess);
    EXPECT_EQ(key.QueryDword("BaudRates"), 115200u);
    // Writes go where reads look first, or the user would never see them.
    ASSERT_EQ(key.SetDword("StopBits", 2), plat::regstatus::kSuccess);
    EXPECT_EQ(ReadFile(UserKeyFile()), "\"BaudRates\"=dword:0001c200\n\"StopBits\"=dword:00000002\n");
    EXPECT_EQ(ReadFile(MachineKeyFile()), "\"BaudRates\"=dword:00002580\n\"DataBits\"=dword:00000007\n");
}

TEST_F(StoreTest, NothingWritableRefusesAndTheSettingsLoadAsDefaults)
{
    MakeStoreUnwritable();
    plat::RegistryKey key;
    EXPECT_EQ(key.Create("Software\\Relvanto", plat::KeyAccess::ReadWrite), plat::regstatus::kAccessDenied);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.SetDword("ComPort", 3), plat::regstatus::kAccessDenied);
    EXPECT_EQ(serialstore::Load(), SerialSettings{});
    serialstore::Writer writer;
    EXPECT_FALSE(writer.Open());
}

TEST_F(StoreTest, DamagedLinesAndFilesReadAsMissingValues)
{
    using namespace std::string_literals;
    WriteMachineKey("\"ComPort\"=dword:00000004\n"
                                "\"BaudRates\"=dword:1c200\n"           // too few digits
                                "\"DataBits\"=dword:0000000g\n"         // not hex
                                "\"ParityBits\"=dword:00000002\r\n"     // a CR line end still parses
                                "garbage\0\xff\xfe\n"
                                "\"StopBits\"=dword:00000001 trailing\n"
                                "\"Handshaking"s);
    const SerialSettings loaded = serialstore::Load();
    EXPECT_EQ(loaded.comPort, 4);
    EXPECT_EQ(loaded.baudRate, 19200);
    EXPECT_EQ(loaded.dataBits, 8);
    EXPECT_EQ(loaded.parity, 2);
    EXPECT_EQ(loaded.stopBits, 0);
    EXPECT_EQ(loaded.handshaking, 0);

    // Pure binary noise: every value is missing, and nothing crashes.
    std::string noise(70000, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteMachineKey(noise);
    EXPECT_EQ(serialstore::Load(), SerialSettings{});
}

TEST_F(StoreTest, AKeyFileThatIsALinkIsNeitherReadNorOpened)
{
    // A link to a file of someone else's choosing is not read.
    const std::string elsewhere = Scratch() + "/elsewhere.reg";
    WriteFile(elsewhere, "\"ComPort\"=dword:00000007\n");
    std::filesystem::create_directories(MachineFolder() + "/Software");
    std::filesystem::create_symlink(elsewhere, MachineKeyFile());
    EXPECT_EQ(serialstore::Load().comPort, 1);
    EXPECT_EQ(ReadFile(elsewhere), "\"ComPort\"=dword:00000007\n");

    // A link to a file whose read blocks (/proc/kmsg, here a FIFO without a writer) is not even
    // opened, and start-up goes on. Should the store open it anyway, the watcher plays the writer,
    // so that the test ends and says so.
    const std::string fifo = Scratch() + "/never-written";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::remove(MachineKeyFile());
    std::filesystem::create_symlink(fifo, MachineKeyFile());
    std::atomic<bool> started{false};
    std::atomic<bool> openedByTheStore{false};
    std::thread watcher([&] {
        while (!started) {
            // A FIFO opens for writing only while somebody has it open for reading.
            if (const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); writer >= 0) {
                openedByTheStore = true;
                ::close(writer);
            }
            std::this_thread::yield();
        }
    });
    OpenWindow();
    started = true;
    watcher.join();
    EXPECT_FALSE(openedByTheStore);
    EXPECT_EQ(dlg->GetText(IDC_SERIAL_PORT), "COM1");
}

TEST_F(StoreTest, AFolderLinkInsideTheStoreIsNotWrittenThrough)
{
    const std::string elsewhere = Scratch() + "/elsewhere";
    std::filesystem::create_directories(elsewhere);
    std::filesystem::create_directories(MachineFolder());
    std::filesystem::create_directory_symlink(elsewhere, MachineFolder() + "/Software");
    EXPECT_EQ(serialstore::Load(), SerialSettings{});
    // The settings went to the per-user copy, as for a machine store that cannot be written.
    EXPECT_EQ(FolderEntries(elsewhere), std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::is_regular_file(UserKeyFile()));
}

TEST_F(StoreTest, RootWritesTheMachineFolderOnlyWhenNobodyElseCanChangeIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root treats the machine folder this way";
    const uid_t nobody = 65534;
    const std::vector<std::pair<const char*, std::function<void()>>> untrusted = {
        {"writable by others", [&] { ::chmod(MachineFolder().c_str(), 0777); }},
        {"writable by its group", [&] { ::chmod(MachineFolder().c_str(), 0775); }},
        {"owned by another user", [&] { ASSERT_EQ(::chown(MachineFolder().c_str(), nobody, nobody), 0); }},
        {"a Software folder another user owns",
         [&] {
             std::filesystem::create_directories(MachineFolder() + "/Software");
             ASSERT_EQ(::chown((MachineFolder() + "/Software").c_str(), nobody, nobody), 0);
         }},
    };
    for (const auto& [what, spoil] : untrusted) {
        std::filesystem::remove_all(MachineFolder());
        std::filesystem::remove_all(UserFolder());
        ASSERT_EQ(::mkdir(MachineFolder().c_str(), 0755), 0);
        spoil();
        EXPECT_EQ(serialstore::Load(), SerialSettings{}) << what;
        EXPECT_FALSE(std::filesystem::exists(MachineKeyFile())) << what;
        EXPECT_TRUE(std::filesystem::is_regular_file(UserKeyFile())) << what;
    }
    // Owned by root and closed to others, it is the store as usual.
    std::filesystem::remove_all(MachineFolder());
    std::filesystem::remove_all(UserFolder());
    ASSERT_EQ(::mkdir(MachineFolder().c_str(), 0755), 0);
    serialstore::Load();
    EXPECT_TRUE(std::filesystem::is_regular_file(MachineKeyFile()));
    EXPECT_FALSE(std::filesystem::exists(UserKeyFile()));
}

TEST_F(StoreTest, SettingsAreWrittenAsPlainNumbersInTableOrder)
{
    serialstore::Writer writer;
    ASSERT_TRUE(writer.Open());
    ASSERT_TRUE(writer.Write(SerialSettings{12, 230400, 7, 4, 2, 1}));
    writer.Close();
    EXPECT_EQ(ReadFile(MachineKeyFile()), "\"ComPort\"=dword:0000000c\n"
                                          "\"BaudRates\"=dword:00038400\n"
                                          "\"DataBits\"=dword:00000007\n"
                                          "\"ParityBits\"=dword:00000004\n"
                                          "\"StopBits\"=dword:00000002\n"
                                          "\"Handshaking\"=dword:00000001\n");
    EXPECT_EQ(serialstore::Load(), (SerialSettings{12, 230400, 7, 4, 2, 1}));
}

} // namespace
