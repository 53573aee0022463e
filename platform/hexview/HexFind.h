#pragma once
// Find in a hex view: the "Find..." (Ctrl+F), "Find Next" (F3) and "Find Previous" (Shift+F3)
// actions of the view, its Find window, and the search worker. A hit is selected and scrolled into
// view; the Find window says when there is none.
//
// The search runs on a worker (HexSearch), bounded by the block's size when it began, so the window
// stays answerable and a long search can be stopped. One search at a time: a new one replaces it.
// Everything here runs on the window's thread; the worker only reads the block and posts its result.

#include "platform/hexview/HexSearch.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

class QAction;

namespace plat {

class HexFindDialog;
class HexView;

class HexFind : public QObject {
    Q_OBJECT
public:
    explicit HexFind(HexView* view);
    ~HexFind() override;

    // Opens the Find window, with the view's column preselected as the kind to look for.
    void OpenDialog();
    // Searches for what the Find window holds; without anything to look for, opens it.
    void Find(SearchDirection direction);
    // Ends a running search; waits for the worker (one slice at most).
    void Stop();
    bool IsSearching() const { return worker_.joinable() && !finished_; }
    // The Find window, once it has been opened.
    HexFindDialog* Dialog() const;

signals:
    // A search ended: found, not found or stopped. For the window's own use and for tests.
    void searchEnded();

private:
    std::optional<std::vector<unsigned char>> Pattern(QString& problem) const;
    void OnResult(std::uint64_t generation, SearchResult result, std::size_t length, bool hex, SearchDirection direction);
    void Report(const QString& text, bool showDialog);

    HexView* view_;
    QAction* find_;
    QAction* next_;
    QAction* previous_;
    QPointer<HexFindDialog> dialog_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    bool finished_ = true;
    std::uint64_t generation_ = 0;
};

} // namespace plat
