#include "panes/ui/PaneTextExport.h"

#include "panes/ui/DataFilesErrors.h"
#include "platform/hexview/HexView.h"
#include "platform/toolkit/FileDialogs.h"
#include "platform/toolkit/MessageBox.h"

#include <QAction>
#include <QProgressDialog>
#include <QTimer>

#include <cerrno>
#include <system_error>

namespace {
constexpr int kProgressSteps = 1000;
}

PaneTextExport::PaneTextExport(plat::HexView* view) : QObject(view), view_(view)
{
    auto* separator = new QAction(view);
    separator->setSeparator(true);
    view->addAction(separator);
    action_ = new QAction(tr("&Export as text..."), view);
    action_->setToolTip(tr("Write the pane as text: offset, hex and characters, one row a line"));
    view->addAction(action_);
    connect(action_, &QAction::triggered, this, &PaneTextExport::Start);

    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(100);
    connect(progressTimer_, &QTimer::timeout, this, &PaneTextExport::ShowProgress);
    // The worker reads the block: it ends before the view lets go of it.
    connect(view, &plat::HexView::blockAboutToChange, this, &PaneTextExport::Abandon);
}

PaneTextExport::~PaneTextExport()
{
    cancel_.store(true);
    if (worker_.joinable())
        worker_.join();
}

QProgressDialog* PaneTextExport::Progress() const
{
    return progress_;
}

void PaneTextExport::Start()
{
    plat::ByteBlock* block = view_->Block();
    if (IsRunning() || !block)
        return;
    const std::optional<QString> path = plat::AskForFile(view_->window(), plat::FileDialogKind::Save);
    if (!path)
        return;
    path_ = *path;
    // Bytes that arrive while it runs are left for the next export.
    total_ = block->Size();
    done_.store(0);
    cancel_.store(false);

    plat::TextExport how;
    how.end = static_cast<std::size_t>(total_);
    how.cancel = &cancel_;
    how.bytesDone = &done_;
    how.linesBeforeRow = linesBeforeRow_;
    try {
        worker_ = std::thread([this, block, target = path_.toStdString(), how] {
            const int error = plat::ExportBlockAsText(*block, target, how);
            QMetaObject::invokeMethod(this, [this, error] { OnFinished(error); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // Nothing was opened: the file and the pane stay as they were.
        plat::ShowMessageBox(view_->window(), tr("The export could not be started: the system has no thread to spare for it."),
                             plat::MessageIcon::Stop);
        return;
    }
    action_->setEnabled(false);

    // Window-modal: the panes cannot be edited under the export, yet the window goes on drawing
    // what arrives, and a worker's message box still takes input. The worker's end is queued
    // behind this.
    progress_ = new QProgressDialog(tr("Exporting the pane as text..."), tr("Cancel"), 0, kProgressSteps, view_->window());
    progress_->setWindowTitle(plat::ApplicationTitle());
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(200);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    connect(progress_, &QProgressDialog::canceled, this, [this] { cancel_.store(true); });
    progressTimer_->start();
}

void PaneTextExport::ShowProgress()
{
    if (progress_ && total_ != 0)
        progress_->setValue(static_cast<int>(done_.load() * kProgressSteps / total_));
}

void PaneTextExport::Abandon()
{
    if (!worker_.joinable())
        return;
    cancel_.store(true);
    worker_.join();
    Finish(ECANCELED);
}

void PaneTextExport::OnFinished(int error)
{
    if (!worker_.joinable())
        return; // abandoned already
    worker_.join();
    Finish(error);
}

void PaneTextExport::Finish(int error)
{
    progressTimer_->stop();
    if (progress_)
        progress_->close();
    action_->setEnabled(true);
    if (error != 0 && error != ECANCELED)
        plat::ShowMessageBox(view_->window(), FileErrorExplained(error, path_), plat::MessageIcon::Stop);
    emit exportEnded();
}

PaneTextExport* AddPaneMenuEntries(plat::HexView* view)
{
    return view ? new PaneTextExport(view) : nullptr;
}
