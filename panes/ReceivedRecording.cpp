#include "panes/ReceivedRecording.h"

#include "panes/DataFilesIo.h"
#include "panes/ReceivedPane.h"
#include "platform/hexview/HexView.h"
#include "platform/toolkit/FileDialogs.h"
#include "platform/toolkit/MessageBox.h"

#include <QAction>
#include <QInputDialog>
#include <QTimer>

#include <cerrno>

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
    ExclusiveDataFile file;
    if (FileError error = file.OpenForSave(path->toStdString()); error != FileError::None) {
        plat::ShowMessageBox(view_->window(), FileErrorText(error, *path), plat::MessageIcon::Stop);
        return;
    }
    ExclusiveDataFile times;
    if (withTimes) {
        const QString timesPath = *path + QStringLiteral(".times");
        if (FileError error = times.OpenForSave(timesPath.toStdString()); error != FileError::None) {
            plat::ShowMessageBox(view_->window(), FileErrorText(error, timesPath), plat::MessageIcon::Stop);
            return;
        }
    }
    path_ = *path;
    finishing_ = false;
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
    if (!finishing_)
        statusTimer_->stop();
    ShowCaptions();
    ShowStatus();
}

void ReceivedRecording::OnFinished(std::uint64_t number)
{
    pane_.ReleaseFinishedRecordings();
    // An older recording that finished after a new one started changes nothing shown.
    if (number != number_ || IsRecording())
        return;
    finishing_ = false;
    statusTimer_->stop();
    ShowStatus();
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
    if (reason == ReceiveRecorder::kQueueOverflow)
        text = tr("The disk cannot keep up with recording to %1.").arg(path);
    else
        text = FileErrorText(reason == EAGAIN ? FileError::NoReader : FileErrorFromErrno(reason), path);
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
