#pragma once
// The Received pane's recording entries in its context menu: "Record to file..." (which reads "Stop
// recording" while a recording runs), "Record to file with times..." (a companion file
// "<file>.times" gets a line per burst) and "Keep only the last N MiB while recording". Asks for the
// file with the standard dialog, opens it as Save does, and hands it to the pane's recorder; shows
// the file and the bytes recorded through a status callback a few times a second, and a failure
// once in a message box. A stopped recording is shown as recording until its writer reports that
// the file is complete; a new recording may start meanwhile. Window's thread only.

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class CReceivedPane;
class QAction;
class QFileSystemWatcher;
class QProgressDialog;
class QTimer;

namespace plat {
class HexView;
}

class ReceivedRecording : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultKeepMiB = 64;
    // `showStatus` gets the recording's text ("Recording to <file>: <n> bytes"), empty for none.
    ReceivedRecording(plat::HexView* view, CReceivedPane& pane, std::function<void(const QString&)> showStatus);
    ~ReceivedRecording() override;

    // Ends a running recording (the link's Stop, a mode change, the window closing) without
    // waiting for the disk: everything delivered before goes into the file, nothing after.
    void Stop();
    bool IsRecording() const;
    // The window is closing: stops the recording. False when every file is complete; otherwise
    // shows, modal to the window, how much is left to write with a button to stop waiting, and
    // calls `then` once the files are complete or abandoned (they then keep an exact beginning).
    bool FinishBeforeClose(std::function<void()> then);
    QProgressDialog* CloseProgress() const;

    QAction* RecordAction() const { return record_; }
    QAction* RecordWithTimesAction() const { return recordWithTimes_; }
    QAction* KeepLastAction() const { return keepLast_; }
    QString StatusText() const;

    // The seam for tests: answers the question for the number of MiB to keep instead of a person
    // (nothing: cancelled).
    using KeepSizeHook = std::function<std::optional<int>(int current)>;
    static void SetKeepSizeHook(KeepSizeHook hook);

private:
    void Begin(bool withTimes);
    void OnFailure(int reason, bool timesFile, const QString& path);
    // The writer of recording `number` has closed its files.
    void OnFinished(std::uint64_t number);
    void OnKeepLastToggled(bool on);
    void ShowCaptions();
    void ShowStatus();
    // Window thread: watches the recorded file for its going (true) or not at all.
    void WatchFile(bool watch);

    plat::HexView* view_;
    CReceivedPane& pane_;
    std::function<void(const QString&)> showStatus_;
    QAction* record_;
    QAction* recordWithTimes_;
    QAction* keepLast_;
    QTimer* statusTimer_;
    // Tells when the recorded file goes (deleted or moved), so the status says so.
    QFileSystemWatcher* fileWatch_;
    QPointer<QProgressDialog> closeProgress_;
    QString path_;
    std::uint64_t number_ = 0;   // counts the recordings started, to tell which one finished
    bool finishing_ = false;     // the last recording was stopped and still writes
    int keepMiB_ = kDefaultKeepMiB;
};
