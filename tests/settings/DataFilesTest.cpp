// Save and Load through the window's buttons with real files.
#include "app/MainApp.h"
#include "panes/ui/DataFilesErrors.h"
#include "resources/ControlIds.h"
#include "tests/settings/SettingsWindow.h"

#include <condition_variable>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <thread>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class DataFiles : public SettingsWindowTest {
protected:
    void SetUp() override { OpenWindow(); }

    std::string File(const char* name) const { return Scratch() + "/" + name; }

    static std::string BlockBytes(const plat::ByteBlock& block)
    {
        std::string bytes(block.Size(), '\0');
        block.Read(0, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
        return bytes;
    }
    void FillSending(const std::string& bytes)
    {
        plat::ByteBlock& block = dlg->SendingBlock();
        ASSERT_EQ(block.Resize(0), plat::BlockStatus::Ok);
        ASSERT_EQ(block.Overwrite(0, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
                  plat::BlockStatus::Ok);
    }
    void Deliver(const std::string& bytes)
    {
        dlg->ReceiveSink().Deliver(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }
    void Save(int button, const std::string& path)
    {
        AnswerFileDialog(QString::fromStdString(path));
        Click(button);
    }
    void Load(const std::string& path)
    {
        AnswerFileDialog(QString::fromStdString(path));
        Click(IDC_LOAD);
    }

    static std::string RandomBytes(std::size_t size)
    {
        std::mt19937_64 random(20261207);
        std::string bytes(size, '\0');
        for (auto& byte : bytes)
            byte = static_cast<char>(random());
        // The bytes a text mode would change, at the start, the middle and the end.
        bytes.replace(0, 4, std::string("\x00\r\n\x00", 4));
        bytes.replace(size / 2, 3, "\r\n\x1a");
        bytes.replace(size - 2, 2, "\r\n");
        return bytes;
    }
};

TEST_F(DataFiles, SixteenMebibytesRoundTripExactlyThroughBothPanes)
{
    const std::string bytes = RandomBytes(16 << 20);
    FillSending(bytes);
    Save(IDC_SAVE_SENDING, File("sending.bin"));
    EXPECT_TRUE(ReadFile(File("sending.bin")) == bytes);

    for (std::size_t at = 0; at < bytes.size(); at += 16384)
        Deliver(bytes.substr(at, 16384));
    Save(IDC_SAVE_RECEIVED, File("received.bin"));
    EXPECT_TRUE(ReadFile(File("received.bin")) == bytes);

    FillSending("previous");
    Load(File("received.bin"));
    EXPECT_TRUE(BlockBytes(dlg->SendingBlock()) == bytes);
    EXPECT_TRUE(Boxes().empty());
    // Saving changes neither pane.
    EXPECT_EQ(dlg->ReceivedTotal(), static_cast<std::int64_t>(bytes.size()));
}

TEST_F(DataFiles, SavingClearsTheModifiedMarkOfThatPaneOnly)
{
    FillSending("abc");
    dlg->SendingView().View()->SetModified(true);
    dlg->ReceivedView().View()->SetModified(true);
    Save(IDC_SAVE_SENDING, File("out.bin"));
    EXPECT_FALSE(dlg->SendingView().View()->IsModified());
    EXPECT_TRUE(dlg->ReceivedView().View()->IsModified());
}

TEST_F(DataFiles, AnEmptyPaneEmptiesAnExistingFile)
{
    WriteFile(File("old.bin"), "old contents");
    Save(IDC_SAVE_RECEIVED, File("old.bin"));
    struct stat info{};
    ASSERT_EQ(::stat(File("old.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DataFiles, LoadingANameThatDoesNotExistCreatesItEmptyAndEmptiesThePane)
{
    FillSending("to be replaced");
    Load(File("new.bin"));
    EXPECT_EQ(BlockBytes(dlg->SendingBlock()), "");
    struct stat info{};
    ASSERT_EQ(::stat(File("new.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DataFiles, CancellingTheDialogChangesNothing)
{
    FillSending("kept");
    AnswerFileDialog(std::nullopt);
    Click(IDC_LOAD);
    Click(IDC_SAVE_SENDING);
    EXPECT_EQ(BlockBytes(dlg->SendingBlock()), "kept");
    EXPECT_TRUE(Boxes().empty());
}

// A file this process may not open for writing: a mode-0400 file for an ordinary user; for root,
// who passes file modes, a read-only kernel file.
std::string FileDeniedForWriting(const std::string& scratch)
{
    if (::geteuid() != 0) {
        const std::string path = scratch + "/read-only.bin";
        SettingsWindowTest::WriteFile(path, "x");
        ::chmod(path.c_str(), 0400);
        return path;
    }
    for (const char* path : {"/sys/kernel/uevent_seqnum", "/proc/sys/kernel/osrelease", "/proc/version"}) {
        const int fd = ::open(path, O_RDWR | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        else if (errno == EACCES || errno == EROFS || errno == EPERM)
            return path;
    }
    return {};
}

TEST_F(DataFiles, LoadOfAFileThatCannotBeOpenedReportsTheCauseAndKeepsThePane)
{
    const std::string denied = FileDeniedForWriting(Scratch());
    if (denied.empty())
        GTEST_SKIP() << "no file here refuses this user";
    FillSending("as it was");
    Load(denied);
    ASSERT_EQ(BoxTexts(), std::vector<QString>{QString("Access to %1 was denied.").arg(denied.c_str())});
    EXPECT_EQ(Boxes()[0].icon, plat::MessageIcon::Stop);
    EXPECT_EQ(BlockBytes(dlg->SendingBlock()), "as it was");
}

TEST_F(DataFiles, AFileAnotherOpenerHoldsIsASharingViolationAndIsLeftUntouched)
{
    const std::string path = File("held.bin");
    WriteFile(path, "held by someone else");
    const int holder = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    FillSending("pane");

    Load(path);
    Save(IDC_SAVE_SENDING, path);
    const QString text = QString("A sharing violation occurred while accessing %1.").arg(path.c_str());
    EXPECT_EQ(BoxTexts(), (std::vector<QString>{text, text}));
    EXPECT_EQ(BlockBytes(dlg->SendingBlock()), "pane");
    EXPECT_EQ(ReadFile(path), "held by someone else");
    ::close(holder);

    // Once it is let go, the same file loads.
    ClearBoxes();
    Load(path);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(BlockBytes(dlg->SendingBlock()), "held by someone else");
}

TEST_F(DataFiles, WriteAndPathFailuresNameTheirCause)
{
    FillSending("some bytes");
    Save(IDC_SAVE_SENDING, "/dev/full");
    Save(IDC_SAVE_SENDING, Scratch());
    Save(IDC_SAVE_SENDING, File("no-such-folder/out.bin"));
    Load(File("no-such-folder/in.bin"));
    EXPECT_EQ(BoxTexts(), (std::vector<QString>{
                              "Disk full while accessing /dev/full.",
                              QString("%1 contains an invalid path.").arg(Scratch().c_str()),
                              QString("%1 was not found.").arg(File("no-such-folder/out.bin").c_str()),
                              QString("%1 was not found.").arg(File("no-such-folder/in.bin").c_str()),
                          }));
    EXPECT_EQ(BlockBytes(dlg->SendingBlock()), "some bytes");
    // A failed save leaves the mark: the bytes are not stored anywhere yet.
    dlg->SendingView().View()->SetModified(true);
    Save(IDC_SAVE_SENDING, "/dev/full");
    EXPECT_TRUE(dlg->SendingView().View()->IsModified());
}

TEST_F(DataFiles, SavingToAPipeThatNobodyReadsEndsWithAClearMessage)
{
    ASSERT_TRUE(CMainApp::StartSockets()) << "a reader that went away must not kill the process, as in the program";
    const std::string fifo = File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    FillSending(RandomBytes(1 << 20));
    const QString text = QString("Nothing is reading from %1, so the data could not be written.").arg(fifo.c_str());

    // No reader at all.
    Save(IDC_SAVE_SENDING, fifo);
    // A reader that never reads: the pipe fills and stays full. Should the save block anyway, the
    // reader goes away after a while, so that the test ends and reports it.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::mutex lock;
    std::condition_variable saved;
    bool done = false;
    bool rescued = false;
    std::thread rescue([&] {
        std::unique_lock guard(lock);
        rescued = !saved.wait_for(guard, std::chrono::seconds(30), [&] { return done; });
        if (rescued)
            ::close(reader);
    });
    Save(IDC_SAVE_SENDING, fifo);
    {
        std::lock_guard guard(lock);
        done = true;
    }
    saved.notify_one();
    rescue.join();
    EXPECT_EQ(BoxTexts(), (std::vector<QString>{text, text}));
    EXPECT_FALSE(rescued) << "the save blocked the window until the reader went away";
    if (!rescued)
        ::close(reader);
}

TEST_F(DataFiles, APipeWhoseReaderLeavesMidwayEndsWithAClearMessage)
{
    ASSERT_TRUE(CMainApp::StartSockets()) << "a reader that went away must not kill the process, as in the program";
    const std::string fifo = File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    FillSending(RandomBytes(1 << 20));
    // The reader takes one piece once the save has filled the pipe, then closes its end.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::thread readOnce([reader] {
        pollfd ready{reader, POLLIN, 0};
        ::poll(&ready, 1, -1);
        char piece[4096];
        [[maybe_unused]] const ssize_t n = ::read(reader, piece, sizeof piece);
        ::close(reader);
    });
    Save(IDC_SAVE_SENDING, fifo);
    readOnce.join();
    EXPECT_EQ(BoxTexts(), std::vector<QString>{
                              QString("The reader of %1 closed it before all the data was written.").arg(fifo.c_str())});
}

TEST_F(DataFiles, APipeWithAReaderGetsEveryByte)
{
    const std::string fifo = File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string bytes = RandomBytes(1 << 20);
    FillSending(bytes);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string received;
    std::thread readAll([&] {
        char piece[65536];
        pollfd ready{reader, POLLIN, 0};
        while (received.size() < bytes.size() && ::poll(&ready, 1, -1) > 0) {
            const ssize_t n = ::read(reader, piece, sizeof piece);
            if (n == 0)
                break;  // the writer has closed its end
            if (n > 0)
                received.append(piece, static_cast<std::size_t>(n));
        }
    });
    Save(IDC_SAVE_SENDING, fifo);
    readAll.join();
    ::close(reader);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(received == bytes);
}

TEST_F(DataFiles, ErrorNumbersMapToTheirCause)
{
    // The causes the tests above cannot provoke on this machine.
    EXPECT_EQ(FileErrorText(FileErrorFromErrno(EMFILE), "f"), "f could not be opened because there are too many open files.");
    EXPECT_EQ(FileErrorText(FileErrorFromErrno(EIO), "f"), "A hardware I/O error was reported while accessing f.");
    EXPECT_EQ(FileErrorText(FileErrorFromErrno(EDQUOT), "f"), "Disk full while accessing f.");
    EXPECT_EQ(FileErrorText(FileErrorFromErrno(ETXTBSY), "f"), "A sharing violation occurred while accessing f.");
    EXPECT_EQ(FileErrorText(FileErrorFromErrno(ENAMETOOLONG), "f"), "f contains an invalid path.");
    EXPECT_EQ(FileErrorText(FileErrorFromErrno(EROFS), "f"), "Access to f was denied.");
    EXPECT_EQ(FileErrorText(FileErrorFromErrno(EXDEV), "f"), "An unknown error occurred while accessing f.");
    EXPECT_EQ(FileErrorText(FileErrorFromErrno(EPIPE), "f"), "The reader of f closed it before all the data was written.");
}

} // namespace
