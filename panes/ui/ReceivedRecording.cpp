#include "panes/ui/ReceivedRecording.h"

#include "panes/ui/DataFilesIo.h"
#include "panes/models/ReceivedPane.h"
#include "platform/hexview/HexView.h"
#include "platform/toolkit/FileDialogs.h"
#include "platform/toolkit/MessageBox.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QInputDialog>
#include <QProgressDialog>
#include <QTimer>

#include <cerrno>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

ReceivedRecording::KeepSizeHook& KeepSizeHookSlot()
{
    static ReceivedRecording::KeepSizeHook hook;
    return hook;
}

// The status changes with every received block: a few times a second is enough to read it.
constexpr int kStatusMs = 250;
constexpr int kMostKeepMiB = 1 << 20;
// A block after this much quiet starts a new burst in the companion file.

} // namespace

ReceivedRecording::ReceivedRecording(plat::HexView* view, CReceivedPane& pane, std::function<void(const QString&)> showStatus)
    : QObject(view), view_(view), pane_(pane), showStatus_(std::move(showStatus))
{
    auto* separator = new QAction(view);
    separator->setSeparator(true);
    view->addAction(separator);
    record_ = new QAction(view);
    recordWithTimes_ = new QAction(tr("Record to file &with times..."), view);
    recordWithTimes_->setToolTip(tr("Record every received byte to a file, and the time of each burst to <file>.times"));
    keepLast_ = new QAction(view);
    keepLast_->setCheckable(true);
    keepLast_->setToolTip(tr("While recording, the pane holds only the latest bytes; the file holds them all"));
    for (QAction* action : {record_, recordWithTimes_, keepLast_})
        view->addAction(action);
    connect(record_, &QAction::triggered, this, [this] {
        if (IsRecording())
            Stop();
        else
            Begin(false);
    });
    connect(recordWithTimes_, &QAction::triggered, this, [this] { Begin(true); });
    connect(keepLast_, &QAction::toggled, this, &ReceivedRecording::OnKeepLastToggled);

    statusTimer_ = new QTimer(this);
    statusTimer_->setInterval(kStatusMs);
    connect(statusTimer_, &QTimer::timeout, this, &ReceivedRecording::ShowStatus);
    fileWatch_ = new QFileSystemWatcher(this);
    connect(fileWatch_, &QFileSystemWatcher::fileChanged, this, &ReceivedRecording::ShowStatus);
    ShowCaptions();
}

ReceivedRecording::~ReceivedRecording() = default;

void ReceivedRecording::SetKeepSizeHook(KeepSizeHook hook)
{
    KeepSizeHookSlot() = std::move(hook);
}

bool ReceivedRecording::IsRecording() const
{
    return pane_.Recorder().IsRecording();
}

void ReceivedRecording::ShowCaptions()
{
    const bool recording = IsRecording();
    record_->setText(recording ? tr("Stop &recording") : tr("&Record to file..."));
    record_->setToolTip(recording ? tr("Stop recording; the file keeps everything received so far")
                                  : tr("Record every received byte to a file as it arrives"));
    recordWithTimes_->setEnabled(!recording);
    keepLast_->setText(tr("&Keep only the last %1 MiB while recording").arg(keepMiB_));
}

void ReceivedRecording::Begin(bool withTimes)
{
    if (IsRecording())
        return;
    const std::optional<QString> path = plat::AskForFile(view_->window(), plat::FileDialogKind::Save);
    if (!path)
        return;
    // Both files are had before either is emptied: a companion that cannot be written leaves the
    // data file as it was.
    const QString timesPath = *path + QStringLiteral(".times");
    ExclusiveDataFile file;
    ExclusiveDataFile times;
    std::vector<std::pair<ExclusiveDataFile*, QString>> files{{&file, *path}};
    if (withTimes)
        files.emplace_back(&times, timesPath);
    for (const auto& [opened, name] : files) {
        if (FileError error = opened->OpenForSaveKeeping(name.toStdString()); error != FileError::None) {
            plat::ShowMessageBox(view_->window(), FileErrorExplained(error, name), plat::MessageIcon::Stop);
            return;
        }
    }
    for (const auto& [opened, name] : files) {
        if (FileError error = opened->Empty(); error != FileError::None) {
            plat::ShowMessageBox(view_->window(), FileErrorExplained(error, name), plat::MessageIcon::Stop);
            return;
        }
    }
    path_ = *path;
    finishing_ = false;
    WatchFile(false);
    const std::uint64_t number = ++number_;
    // The writer reports from its own thread; the message and the status are shown on the window's.
    // A recording still finishing after a new one started tells its own file.
    auto onFailure = [this, recordedTo = *path](int reason, bool timesFile) {
        QMetaObject::invokeMethod(
            this, [this, reason, timesFile, recordedTo] { OnFailure(reason, timesFile, recordedTo); }, Qt::QueuedConnection);
    };
    auto onFinished = [this, number] {
        QMetaObject::invokeMethod(this, [this, number] { OnFinished(number); }, Qt::QueuedConnection);
    };
    if (!pane_.StartRecording(file.ReleaseDescriptor(), withTimes ? times.ReleaseDescriptor() : -1, onFailure, onFinished)) {
        // No file is being recorded now: nothing is shown for one, and a recording still
        // finishing ends unseen (its file is written all the same).
        path_.clear();
        statusTimer_->stop();
        ShowCaptions();
        ShowStatus();
        plat::ShowMessageBox(view_->window(), tr("The recording could not be started: the system has no thread to spare for it."),
                             plat::MessageIcon::Stop);
        return;
    }
    statusTimer_->start();
    ShowCaptions();
    ShowStatus();
}

void ReceivedRecording::Stop()
{
    if (!IsRecording())
        return;
    pane_.StopRecording();
    // The count goes on growing while the writer empties its queue, until it reports the end.
    finishing_ = !pane_.Recorder().IsFinished();
    if (!finishing_) {
        statusTimer_->stop();
        WatchFile(true);
    }
    ShowCaptions();
    ShowStatus();
}

bool ReceivedRecording::FinishBeforeClose(std::function<void()> then)
{
    Stop();
    if (pane_.RecordingsFinished())
        return false;
    if (closeProgress_)
        return true; // already waiting
    closeProgress_ = new QProgressDialog(view_->window());
    closeProgress_->setWindowTitle(plat::ApplicationTitle());
    closeProgress_->setWindowModality(Qt::WindowModal);
    closeProgress_->setCancelButtonText(tr("&Stop waiting"));
    closeProgress_->setRange(0, 0);
    closeProgress_->setMinimumDuration(0);
    closeProgress_->setAutoClose(false);
    closeProgress_->setAutoReset(false);
    closeProgress_->setAttribute(Qt::WA_DeleteOnClose);
    auto* poll = new QTimer(closeProgress_);
    poll->setInterval(100);
    auto update = [this, poll, then = std::move(then)] {
        if (pane_.RecordingsFinished()) {
            poll->stop();
            closeProgress_->close();
            then();
            return;
        }
        const std::uint64_t mib = (pane_.RecordingBytesToWrite() + (1 << 20) - 1) >> 20;
        closeProgress_->setLabelText(tr("Finishing the recording to %1: %2 MiB to write").arg(path_).arg(mib));
    };
    connect(poll, &QTimer::timeout, closeProgress_, update);
    // Stopping the wait: nothing more is written, and the writers end at once.
    connect(closeProgress_, &QProgressDialog::canceled, this, [this] { pane_.AbandonRecordings(); });
    update();
    poll->start();
    // A file that completes at once needs no word.
    QTimer::singleShot(300, closeProgress_, [progress = closeProgress_] { progress->show(); });
    return true;
}

QProgressDialog* ReceivedRecording::CloseProgress() const
{
    return closeProgress_;
}

void ReceivedRecording::OnFinished(std::uint64_t number)
{
    pane_.ReleaseFinishedRecordings();
    // An older recording that finished after a new one started changes nothing shown.
    if (number != number_ || IsRecording())
        return;
    finishing_ = false;
    statusTimer_->stop();
    WatchFile(true);
    ShowStatus();
}

void ReceivedRecording::WatchFile(bool watch)
{
    // Only a finished recording's file: a running one's would report every write.
    if (!fileWatch_->files().isEmpty())
        fileWatch_->removePaths(fileWatch_->files());
    if (watch && !path_.isEmpty())
        fileWatch_->addPath(path_);
}

QString ReceivedRecording::StatusText() const
{
    if (path_.isEmpty())
        return {};
    const ReceiveRecorder& recorder = pane_.Recorder();
    QString text = (IsRecording() || finishing_ ? tr("Recording to %1: %2 bytes") : tr("Recorded to %1: %2 bytes"))
                       .arg(path_)
                       .arg(recorder.Written());
    if (const std::uint64_t lost = recorder.NotWritten(); lost != 0)
        text += tr("; %1 bytes could not be written").arg(lost);
    if (const std::uint64_t lost = recorder.TimesNotWritten(); lost != 0)
        text += tr("; %1 burst times could not be written").arg(lost);
    if (!QFileInfo::exists(path_))
        text += tr("; the file is no longer there (deleted or moved)");
    return text;
}

void ReceivedRecording::ShowStatus()
{
    if (showStatus_)
        showStatus_(StatusText());
}

void ReceivedRecording::OnFailure(int reason, bool timesFile, const QString& recordedTo)
{
    ShowStatus();
    const QString path = timesFile ? recordedTo + QStringLiteral(".times") : recordedTo;
    QString text;
    struct stat info{};
    const bool special = ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode);
    if (reason == ReceiveRecorder::kQueueOverflow && special && S_ISFIFO(info.st_mode))
        text = tr("Nothing reads from the pipe %1 fast enough to keep up with the recording.").arg(path);
    else if (reason == ReceiveRecorder::kQueueOverflow && special)
        text = tr("The device %1 does not take the bytes fast enough to keep up with the recording.").arg(path);
    else if (reason == ReceiveRecorder::kQueueOverflow)
        text = tr("The disk cannot keep up with recording to %1.").arg(path);
    else
        text = reason == EAGAIN ? FileErrorText(FileError::NoReader, path) : FileErrorExplained(reason, path);
    // The file keeps an exact beginning of what arrived; nothing after a gap is ever written.
    text += timesFile ? tr(" No more burst times are written to it.")
                      : tr(" Nothing more is written to it; the bytes that could not be written are counted.");
    plat::ShowMessageBox(view_->window(), text, plat::MessageIcon::Stop);
}

void ReceivedRecording::OnKeepLastToggled(bool on)
{
    if (on) {
        std::optional<int> mib;
        if (const KeepSizeHook& hook = KeepSizeHookSlot()) {
            mib = hook(keepMiB_);
        } else {
            bool ok = false;
            const int asked = QInputDialog::getInt(view_->window(), plat::ApplicationTitle(),
                                                   tr("While recording, keep only the last MiB in the pane:"), keepMiB_, 1,
                                                   kMostKeepMiB, 1, &ok);
            if (ok)
                mib = asked;
        }
        if (!mib || *mib < 1 || *mib > kMostKeepMiB) {
            const QSignalBlocker quiet(keepLast_);
            keepLast_->setChecked(false);
            return;
        }
        keepMiB_ = *mib;
    }
    pane_.SetKeepLast(on ? static_cast<std::size_t>(keepMiB_) << 20 : 0);
    ShowCaptions();
}
