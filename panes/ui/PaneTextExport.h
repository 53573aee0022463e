#pragma once
// "Export as text..." in a pane's context menu: asks for a file, writes the pane as readable rows
// (HexExport) on a worker, with a progress bar whose Cancel stops it, and explains a failure with
// the data files' error texts. The window stays answerable; the pane's owner may add lines before
// rows (the time at which each burst began). Window's thread only.

#include "platform/hexview/HexExport.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <thread>

class QAction;
class QProgressDialog;
class QTimer;

namespace plat {
class HexView;
}

class PaneTextExport : public QObject {
    Q_OBJECT
public:
    // Adds the action to the view's context menu.
    explicit PaneTextExport(plat::HexView* view);
    ~PaneTextExport() override;

    bool IsRunning() const { return worker_.joinable(); }
    QProgressDialog* Progress() const;
    // Lines written before rows from the next export on; empty writes rows only.
    void SetLinesBeforeRow(plat::ExportLinesBeforeRow lines) { linesBeforeRow_ = std::move(lines); }

signals:
    // An export ended: written, cancelled or failed (after its message was shown).
    void exportEnded();

private:
    void Start();
    void ShowProgress();
    // Cancels a running export and waits for its worker.
    void Abandon();
    // The worker's result; ignored when the export was abandoned meanwhile.
    void OnFinished(int error);
    void Finish(int error);

    plat::HexView* view_;
    QAction* action_;
    plat::ExportLinesBeforeRow linesBeforeRow_;
    QPointer<QProgressDialog> progress_;
    QTimer* progressTimer_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> done_{0};
    std::uint64_t total_ = 0;
    QString path_;
};

// Gives a pane the context menu entries that come with its data: today "Export as text...". Returns
// the export, for the owner that adds lines to it.
PaneTextExport* AddPaneMenuEntries(plat::HexView* view);
