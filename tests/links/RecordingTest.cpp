// Recording the Received pane to a file through the window: real loopback TCP, real files,
// /dev/full, and a recording process killed outright. Menu entries are triggered through their
// actions; the file dialog and the size question are answered through their seams.
#include "tests/links/LinkFixture.h"

#include "panes/ui/PaneTextExport.h"
#include "panes/ui/ReceivedRecording.h"
#include "platform/hexview/HexView.h"
#include "platform/toolkit/FileDialogs.h"

#include <QAction>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace linktest;

extern char** environ;

namespace {

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string AsText(const std::vector<unsigned char>& bytes)
{
    return {bytes.begin(), bytes.end()};
}

// A FIFO to record to, with its reader: it reads nothing until opened (a writer with more than the
// FIFO holds then cannot finish), and then everything until the window closes its end. Opened
// when it goes, so that a test that ends early does not leave a recording stuck.
class HeldFifo {
public:
    explicit HeldFifo(std::string path) : path_(std::move(path))
    {
        if (::mkfifo(path_.c_str(), 0600) == 0)
            fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); // the window may open it then
    }
    ~HeldFifo()
    {
        Open();
        if (reader_.joinable())
            reader_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    // After the window opened it for writing: reads once opened, at most `pace` bytes every 2 ms
    // (0: as fast as it can).
    void StartReading(std::size_t pace = 0)
    {
        reader_ = std::thread([this, pace] {
            while (!open_.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::vector<char> buffer(pace != 0 ? pace : 65536);
            for (;;) {
                const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
                if (n > 0)
                    read_.append(buffer.data(), static_cast<std::size_t>(n));
                else if (n == 0)
                    return; // the window closed its end
                else if (errno != EAGAIN && errno != EINTR)
                    return;
                if (n < 0 || pace != 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    void Open() { open_ = true; }
    // Everything read, once the window has closed its end.
    std::string ReadAll()
    {
        Open();
        if (reader_.joinable())
            reader_.join();
        return read_;
    }

private:
    std::string path_;
    int fd_ = -1;
    std::atomic<bool> open_{false};
    std::thread reader_;
    std::string read_;
};

} // namespace

class RecordingTest : public LinkFixture {
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        folder = testing::TempDir() + "/recording-" + std::to_string(::getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(folder);
    }
    void TearDown() override
    {
        LinkFixture::TearDown();
        plat::SetFileDialogHook(nullptr);
        ReceivedRecording::SetKeepSizeHook(nullptr);
        std::filesystem::remove_all(folder);
    }

    ReceivedRecording& Recording() { return *dlg->Recording(); }
    void StartRecording(const std::string& path, bool withTimes = false)
    {
        plat::SetFileDialogHook([path](plat::FileDialogKind) { return std::optional<QString>(QString::fromStdString(path)); });
        (withTimes ? Recording().RecordWithTimesAction() : Recording().RecordAction())->trigger();
        Settle();
    }
    QString ReceivedTip()
    {
        Settle();
        return Widget<QLineEdit>(IDC_RECEIVED_STATE)->toolTip();
    }
    // The status the window shows once the writer has reported the file complete.
    static QString RecordedText(const std::string& path, std::size_t bytes)
    {
        return QStringLiteral("Recorded to %1: %2 bytes").arg(QString::fromStdString(path)).arg(bytes);
    }
    bool WaitRecorded(const std::string& path, std::size_t bytes)
    {
        return WaitFor([&] { return Widget<QLineEdit>(IDC_RECEIVED_STATE)->toolTip() == RecordedText(path, bytes); });
    }
    // The window as a TCP client of a server of the test's own, connected.
    Fd Connect(Fd& server)
    {
        server = Listen();
        ChooseTcp(QString(), QStringLiteral("127.0.0.1"), Num(LocalPort(server.Get())));
        Click(IDC_START);
        Fd peer = Accept(server.Get());
        EXPECT_TRUE(WaitState(QStringLiteral("Connected")));
        return peer;
    }
    // Sends `data` in bursts from a thread and waits until the pane has counted all of it.
    bool Flood(int peer, const std::vector<unsigned char>& data, std::int64_t before = 0)
    {
        std::thread sender([&] {
            for (std::size_t at = 0; at < data.size(); at += 200000)
                SendAll(peer, data.data() + at, std::min<std::size_t>(200000, data.size() - at));
        });
        const bool all = WaitFor([&] { return dlg->ReceivedTotal() >= before + static_cast<std::int64_t>(data.size()); });
        sender.join();
        return all;
    }

    std::string folder;
};

TEST_F(RecordingTest, AFloodIsRecordedByteExactAndStopEndsTheRecordingWithNothingLost)
{
    Fd server;
    Fd peer = Connect(server);
    const std::string path = folder + "/flood.bin";
    EXPECT_EQ(Recording().RecordAction()->text(), QStringLiteral("&Record to file..."));
    StartRecording(path);
    ASSERT_TRUE(Recording().IsRecording());
    EXPECT_EQ(Recording().RecordAction()->text(), QStringLiteral("Stop &recording"));
    EXPECT_FALSE(Recording().RecordWithTimesAction()->isEnabled());
    EXPECT_TRUE(ReceivedTip().startsWith(QStringLiteral("Recording to %1: ").arg(QString::fromStdString(path))));

    const auto data = Pattern(24 << 20, 7);
    ASSERT_TRUE(Flood(peer.Get(), data));
    // The tooltip catches up with the writer a few times a second.
    ASSERT_TRUE(WaitFor([&] { return ReceivedTip() == QStringLiteral("Recording to %1: %2 bytes").arg(QString::fromStdString(path)).arg(data.size()); }));

    Click(IDC_STOP);
    EXPECT_FALSE(Recording().IsRecording());
    EXPECT_EQ(Recording().RecordAction()->text(), QStringLiteral("&Record to file..."));
    EXPECT_TRUE(Recording().RecordWithTimesAction()->isEnabled());
    ASSERT_TRUE(WaitRecorded(path, data.size())) << ReceivedTip().toStdString();
    EXPECT_TRUE(FileText(path) == AsText(data)) << "the file must hold every byte, in order";
    EXPECT_TRUE(Received() == data) << "the pane shows the same bytes";
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordingTest, TheMenuEntryStopsARecordingAndTheTimesFileHasALinePerBurst)
{
    Fd server;
    Fd peer = Connect(server);
    const std::string path = folder + "/menu.bin";
    StartRecording(path, true);
    ASSERT_TRUE(Recording().IsRecording());
    const auto data = Pattern(100000, 3);
    ASSERT_TRUE(Flood(peer.Get(), data));
    // A quiet spell well over the gap, then a second burst.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const auto second = Pattern(7, 4);
    ASSERT_TRUE(Flood(peer.Get(), second, static_cast<std::int64_t>(data.size())));
    Recording().RecordAction()->trigger();
    Settle();
    EXPECT_FALSE(Recording().IsRecording());
    auto all = data;
    all.insert(all.end(), second.begin(), second.end());
    ASSERT_TRUE(WaitRecorded(path, all.size())) << ReceivedTip().toStdString();
    EXPECT_TRUE(FileText(path) == AsText(all));
    // The first burst at offset 0 and the last at the second burst's offset, each with its time.
    const QStringList lines = QString::fromStdString(FileText(path + ".times")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    const QRegularExpression line(QStringLiteral("^\\d+\t\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));
    for (const QString& text : lines)
        EXPECT_TRUE(line.match(text).hasMatch()) << text.toStdString();
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("0\t")));
    EXPECT_TRUE(lines.last().startsWith(QStringLiteral("%1\t").arg(data.size()))) << lines.last().toStdString();
    // Bytes after the stop are shown but not recorded.
    const auto more = Pattern(1000, 9);
    ASSERT_TRUE(Flood(peer.Get(), more, static_cast<std::int64_t>(all.size())));
    EXPECT_TRUE(FileText(path) == AsText(all));
}

TEST_F(RecordingTest, AModeChangeAndClosingTheWindowEndTheRecordingWithNothingLost)
{
    Fd server;
    Fd peer = Connect(server);
    const std::string first = folder + "/mode.bin";
    StartRecording(first);
    const auto data = Pattern(3 << 20, 11);
    ASSERT_TRUE(Flood(peer.Get(), data));
    Click(IDC_MODE_UDP);
    EXPECT_FALSE(Recording().IsRecording());
    ASSERT_TRUE(WaitRecorded(first, data.size())) << ReceivedTip().toStdString();
    EXPECT_TRUE(FileText(first) == AsText(data));

    // Again over TCP, and the window goes while the recording runs.
    Click(IDC_MODE_UDP);
    Fd server2;
    Fd peer2 = Connect(server2);
    const std::string second = folder + "/close.bin";
    StartRecording(second);
    const auto more = Pattern(5 << 20, 12);
    ASSERT_TRUE(Flood(peer2.Get(), more));
    dlg.reset();
    EXPECT_TRUE(FileText(second) == AsText(more));
}

TEST_F(RecordingTest, AFullDiskIsCountedInTheTooltipAndToldOnce)
{
    Fd server;
    Fd peer = Connect(server);
    StartRecording("/dev/full");
    ASSERT_TRUE(Recording().IsRecording());
    const auto data = Pattern(2 << 20, 5);
    ASSERT_TRUE(Flood(peer.Get(), data));
    ASSERT_TRUE(WaitBoxes(1));
    const auto more = Pattern(1 << 20, 6);
    ASSERT_TRUE(Flood(peer.Get(), more, static_cast<std::int64_t>(data.size())));
    Click(IDC_STOP);
    ASSERT_TRUE(WaitFor([&] {
        return Widget<QLineEdit>(IDC_RECEIVED_STATE)->toolTip().startsWith(QStringLiteral("Recorded to /dev/full"));
    }));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << "one message for the recording, not one per block";
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("Disk full while accessing /dev/full."))) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].onWindowThread);
    EXPECT_EQ(ReceivedTip(), QStringLiteral("Recorded to /dev/full: 0 bytes; %1 bytes could not be written").arg(data.size() + more.size()));
}

TEST_F(RecordingTest, AnExportIsRefusedTheFileBeingRecorded)
{
    Fd server;
    Fd peer = Connect(server);
    const std::string path = folder + "/rx.bin";
    StartRecording(path);
    const auto data = Pattern(100000, 13);
    ASSERT_TRUE(Flood(peer.Get(), data));
    auto* exporter = dlg->Control(IDC_HEX_RECEIVED)->findChild<PaneTextExport*>();
    ASSERT_TRUE(exporter);
    QAction* exportEntry = nullptr;
    for (QAction* action : dlg->Control(IDC_HEX_RECEIVED)->actions())
        if (action->text() == QStringLiteral("&Export as text..."))
            exportEntry = action;
    ASSERT_TRUE(exportEntry);
    exportEntry->trigger();
    ASSERT_TRUE(WaitFor([&] { return !exporter->IsRunning(); }));
    ASSERT_TRUE(WaitBoxes(1));
    EXPECT_EQ(Boxes()[0].text, QStringLiteral("A sharing violation occurred while accessing %1.").arg(QString::fromStdString(path)));
    Click(IDC_STOP);
    ASSERT_TRUE(WaitRecorded(path, data.size())) << ReceivedTip().toStdString();
    EXPECT_TRUE(FileText(path) == AsText(data)) << "the recording is untouched";
}

TEST_F(RecordingTest, RecordWithTimesHasBothFilesBeforeItEmptiesEither)
{
    const std::string path = folder + "/y.bin";
    { std::ofstream(path) << "earlier bytes"; }
    std::filesystem::create_directory(path + ".times");
    StartRecording(path, true);
    EXPECT_FALSE(Recording().IsRecording());
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, QStringLiteral("%1.times is a folder, not a file.").arg(QString::fromStdString(path)));
    EXPECT_EQ(FileText(path), "earlier bytes");
}

TEST_F(RecordingTest, ClosingWhileARecordingDrainsSaysWhatIsLeftAndCanStopWaiting)
{
    HeldFifo fifo(folder + "/drain.fifo");
    ASSERT_TRUE(fifo.Ok());
    Fd server;
    Fd peer = Connect(server);
    StartRecording(fifo.Path());
    fifo.StartReading(1024); // half a megabyte a second
    fifo.Open();
    const auto data = Pattern(4 << 20, 81);
    ASSERT_TRUE(Flood(peer.Get(), data));

    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    dlg->close();
    ASSERT_TRUE(WaitFor([&] { return Recording().CloseProgress() && Recording().CloseProgress()->isVisible(); }));
    EXPECT_TRUE(dlg->isVisible()) << "the window stays until the file is complete or the wait is stopped";
    const QString label = Recording().CloseProgress()->labelText();
    EXPECT_TRUE(label.startsWith(QStringLiteral("Finishing the recording to %1: ").arg(QString::fromStdString(fifo.Path())))) << label.toStdString();
    EXPECT_TRUE(label.endsWith(QStringLiteral(" MiB to write"))) << label.toStdString();
    QTest::mouseClick(Recording().CloseProgress()->findChild<QPushButton*>(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !dlg->isVisible(); }));
    const std::string read = fifo.ReadAll();
    EXPECT_LT(read.size(), data.size());
    EXPECT_TRUE(read == AsText(data).substr(0, read.size())) << "the file keeps an exact beginning";
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordingTest, APipeThatNobodyEmptiesAndAFileThatIsGoneAreSaidAsSuch)
{
    HeldFifo fifo(folder + "/unread.fifo");
    ASSERT_TRUE(fifo.Ok());
    Fd server;
    Fd peer = Connect(server);
    StartRecording(fifo.Path());
    // More than the recording's queue holds, while nothing reads the pipe.
    ASSERT_TRUE(Flood(peer.Get(), Pattern(ReceiveRecorder::kDefaultQueueLimit + (4 << 20), 91)));
    ASSERT_TRUE(WaitBoxes(1));
    const QString told = QStringLiteral("Nothing reads from the pipe %1 fast enough to keep up with the recording.").arg(QString::fromStdString(fifo.Path()));
    EXPECT_TRUE(Boxes()[0].text.startsWith(told)) << Boxes()[0].text.toStdString();
    Click(IDC_STOP);

    const std::string path = folder + "/gone.bin";
    StartRecording(path);
    Recording().RecordAction()->trigger();
    ASSERT_TRUE(WaitRecorded(path, 0));
    std::filesystem::remove(path);
    EXPECT_TRUE(WaitFor([&] { return ReceivedTip() == RecordedText(path, 0) + QStringLiteral("; the file is no longer there (deleted or moved)"); }))
        << ReceivedTip().toStdString();
}

TEST_F(RecordingTest, KeepingTheLastMebibyteBoundsThePaneWhileTheFileHoldsEverything)
{
    ReceivedRecording::SetKeepSizeHook([](int current) {
        EXPECT_EQ(current, ReceivedRecording::kDefaultKeepMiB);
        return std::optional<int>(1);
    });
    Recording().KeepLastAction()->trigger();
    ASSERT_TRUE(Recording().KeepLastAction()->isChecked());
    EXPECT_EQ(Recording().KeepLastAction()->text(), QStringLiteral("&Keep only the last 1 MiB while recording"));

    Fd server;
    Fd peer = Connect(server);
    const std::string path = folder + "/keep.bin";
    StartRecording(path);
    const auto data = Pattern(40 << 20, 21);
    // Beyond what it keeps, the pane may hold only bytes still on their way to the file. Measured
    // once two blocks have come since the file's count was read: the first of them has done its
    // dropping with at least that count (the second may not have dropped yet).
    std::size_t largestBeyondTheFile = 0;
    std::uint64_t writtenBefore = 0;
    std::int64_t totalBefore = -1;
    std::thread sender([&] {
        for (std::size_t at = 0; at < data.size(); at += 200000)
            SendAll(peer.Get(), data.data() + at, std::min<std::size_t>(200000, data.size() - at));
    });
    const bool all = WaitFor([&] {
        const ReceiveRecorder& recorder = dlg->ReceivedPane().Recorder();
        const std::int64_t total = dlg->ReceivedTotal();
        if (totalBefore >= 0 && total - totalBefore > 16384) {
            const std::size_t size = dlg->ReceivedBlock().Size();
            const std::uint64_t unwritten = recorder.Taken() - writtenBefore;
            if (size > unwritten)
                largestBeyondTheFile = std::max<std::size_t>(largestBeyondTheFile, size - unwritten);
            totalBefore = -1;
        }
        if (totalBefore < 0) {
            writtenBefore = recorder.Written();
            totalBefore = dlg->ReceivedTotal();
        }
        return total >= static_cast<std::int64_t>(data.size());
    });
    sender.join();
    ASSERT_TRUE(all);
    Click(IDC_STOP);
    ASSERT_TRUE(WaitRecorded(path, data.size())) << ReceivedTip().toStdString();

    const std::size_t keep = 1 << 20;
    EXPECT_LE(largestBeyondTheFile, keep + keep / 8 + 2 * 16384);
    // The queue holds at most 32 MiB, so most of the 40 were in the file before the last block.
    EXPECT_GT(dlg->ReceivedBlock().FrontDropped(), 0u) << "the pane did drop its front";
    const std::uint64_t front = dlg->ReceivedBlock().FrontDropped();
    EXPECT_EQ(front + dlg->ReceivedBlock().Size(), data.size());
    EXPECT_TRUE(Received() == std::vector<unsigned char>(data.begin() + static_cast<std::ptrdiff_t>(front), data.end()));
    EXPECT_TRUE(FileText(path) == AsText(data));

    // The view counts offsets from the start of the capture.
    auto* view = dlg->ControlAs<plat::HexView>(IDC_HEX_RECEIVED);
    Settle();
    EXPECT_EQ(view->OffsetOrigin(), front);
    view->SetCursorOffset(0, plat::HexArea::Hex);
    view->ScrollOffsetIntoView(0);
    const QString rows = view->AccessibleRows().Text();
    EXPECT_TRUE(rows.startsWith(QString::number(front, 16).toUpper().rightJustified(8, QChar('0')) + QStringLiteral("  ")))
        << rows.left(80).toStdString();

    // Unticked, the pane holds everything again.
    Recording().KeepLastAction()->trigger();
    EXPECT_FALSE(Recording().KeepLastAction()->isChecked());
    EXPECT_EQ(dlg->ReceivedPane().KeepLast(), 0u);
}

TEST_F(RecordingTest, StopRecordingReturnsAtOnceWhileTheFileTakesNothingAndTheFileCompletesLater)
{
    HeldFifo fifo(folder + "/held.fifo");
    ASSERT_TRUE(fifo.Ok());
    Fd server;
    Fd peer = Connect(server);
    StartRecording(fifo.Path());
    ASSERT_TRUE(Recording().IsRecording());
    fifo.StartReading();
    const auto data = Pattern(3 << 20, 41);
    ASSERT_TRUE(Flood(peer.Get(), data));

    // The FIFO holds far less than was received and nobody reads it: the writer cannot have
    // finished, yet the stop comes back to the event loop, and the window shows the recording as
    // still writing.
    Recording().RecordAction()->trigger();
    EXPECT_FALSE(Recording().IsRecording());
    EXPECT_EQ(Recording().RecordAction()->text(), QStringLiteral("&Record to file..."));
    const QString tip = ReceivedTip();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("Recording to %1: ").arg(QString::fromStdString(fifo.Path())))) << tip.toStdString();
    // Bytes received after the stop are shown but never recorded.
    const auto after = Pattern(5000, 42);
    ASSERT_TRUE(Flood(peer.Get(), after, static_cast<std::int64_t>(data.size())));

    fifo.Open();
    ASSERT_TRUE(WaitRecorded(fifo.Path(), data.size())) << ReceivedTip().toStdString();
    EXPECT_TRUE(fifo.ReadAll() == AsText(data)) << "exactly the bytes received before the stop";
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordingTest, ANewRecordingStartedRightAfterAStopGetsItsOwnBytesWhileTheOldFileStillCompletes)
{
    HeldFifo fifo(folder + "/old.fifo");
    ASSERT_TRUE(fifo.Ok());
    Fd server;
    Fd peer = Connect(server);
    StartRecording(fifo.Path());
    fifo.StartReading();
    const auto data = Pattern(2 << 20, 51);
    ASSERT_TRUE(Flood(peer.Get(), data));
    Recording().RecordAction()->trigger();

    // The old recording cannot finish while its FIFO is shut; the new one starts all the same.
    const std::string path = folder + "/new.bin";
    StartRecording(path);
    ASSERT_TRUE(Recording().IsRecording());
    EXPECT_TRUE(ReceivedTip().startsWith(QStringLiteral("Recording to %1: ").arg(QString::fromStdString(path))));
    const auto more = Pattern(300000, 52);
    ASSERT_TRUE(Flood(peer.Get(), more, static_cast<std::int64_t>(data.size())));
    fifo.Open();

    Click(IDC_STOP);
    ASSERT_TRUE(WaitRecorded(path, more.size())) << ReceivedTip().toStdString();
    EXPECT_TRUE(FileText(path) == AsText(more)) << "the new file has its own bytes only";
    EXPECT_TRUE(fifo.ReadAll() == AsText(data)) << "the old file is complete and has nothing of the new";
    // The old recording's end, reported later, does not take over the status of the new one.
    Settle();
    EXPECT_EQ(ReceivedTip(), RecordedText(path, more.size()));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordingTest, ClosingTheWindowWhileOneRecordingFinishesAndAnotherRunsCompletesBothFiles)
{
    HeldFifo fifo(folder + "/slow.fifo");
    ASSERT_TRUE(fifo.Ok());
    Fd server;
    Fd peer = Connect(server);
    StartRecording(fifo.Path());
    // A slow reader: the old recording still writes when the window goes.
    fifo.StartReading(16384);
    fifo.Open();
    const auto data = Pattern(4 << 20, 61);
    ASSERT_TRUE(Flood(peer.Get(), data));
    Recording().RecordAction()->trigger();
    const std::string path = folder + "/running.bin";
    StartRecording(path);
    const auto more = Pattern(1 << 20, 62);
    ASSERT_TRUE(Flood(peer.Get(), more, static_cast<std::int64_t>(data.size())));

    dlg.reset();
    EXPECT_TRUE(FileText(path) == AsText(more));
    EXPECT_TRUE(fifo.ReadAll() == AsText(data));
}

TEST_F(RecordingTest, AFileThatStaysFullAfterTheStopIsToldOnceByItsOwnNameWhileANewRecordingRuns)
{
    HeldFifo fifo(folder + "/stuck.fifo");
    ASSERT_TRUE(fifo.Ok());
    Fd server;
    Fd peer = Connect(server);
    StartRecording(fifo.Path());
    fifo.StartReading(); // opened only at the end: the old recording gives up on its own
    const auto data = Pattern(1 << 20, 71);
    ASSERT_TRUE(Flood(peer.Get(), data));
    Recording().RecordAction()->trigger();
    const std::string path = folder + "/meanwhile.bin";
    StartRecording(path);
    ASSERT_TRUE(Recording().IsRecording());

    ASSERT_TRUE(WaitBoxes(1));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(fifo.Path()))) << boxes[0].text.toStdString();
    EXPECT_FALSE(boxes[0].text.contains(QString::fromStdString(path))) << boxes[0].text.toStdString();
    EXPECT_TRUE(ReceivedTip().startsWith(QStringLiteral("Recording to %1: ").arg(QString::fromStdString(path))));

    const std::string read = fifo.ReadAll();
    EXPECT_LT(read.size(), data.size());
    EXPECT_TRUE(read == AsText(data).substr(0, read.size())) << "what the FIFO got is an exact beginning";
    Click(IDC_STOP);
    ASSERT_TRUE(WaitRecorded(path, 0)) << ReceivedTip().toStdString();
}

TEST_F(RecordingTest, ARecordingSurvivesItsProgramBeingKilled)
{
    const std::string path = folder + "/killed.bin";
    const std::uint16_t port = FreeTcpPort();
    const std::string portText = std::to_string(port);
    const char* child = RELVANTO_RECORD_KILL_CHILD;
    char* argv[] = {const_cast<char*>(child), const_cast<char*>(portText.c_str()), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, child, nullptr, nullptr, argv, environ), 0);

    Fd peer;
    ASSERT_TRUE(testwait::WaitUntil([&] { return static_cast<bool>(peer = ConnectTcp(port)); }));
    const auto data = Pattern(6 << 20, 31);
    ASSERT_TRUE(SendAll(peer.Get(), data.data(), data.size()));
    // Nobody stops the recording: the writer puts the bytes out on its own, soon after they came.
    const auto size = [&] {
        std::error_code missing;
        const auto bytes = std::filesystem::file_size(path, missing);
        return missing ? 0 : bytes;
    };
    const bool written = testwait::WaitUntil([&] { return size() >= data.size(); });
    // More bytes in flight when the kill comes do not spoil what was written before.
    SendAll(peer.Get(), data.data(), 100000);
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(written) << size();
    const std::string text = FileText(path);
    EXPECT_TRUE(text.substr(0, data.size()) == AsText(data));
}
