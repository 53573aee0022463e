#pragma once
// The Sending pane's own entries in its context menu: "Line ending for Enter" (None, CR, LF, CR LF:
// the bytes Enter types in the text column; None leaves Enter unused, as everywhere else in the
// window), "Paste with escapes", and "Recent sends", the blocks sent lately (RecentSends), of which
// the one chosen is put back in the pane by the window.
//
// Window's thread.

#include "panes/models/RecentSends.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <vector>

class QAction;
class QMenu;
namespace plat {
class HexView;
}

class SendingPaneMenu : public QObject {
    Q_OBJECT
public:
    // Puts the chosen block back in the pane; the block lives until the call returns.
    using Restore = std::function<void(const std::vector<unsigned char>& bytes)>;

    struct LineEnding {
        const char* caption;
        QByteArray bytes;
    };
    // The choices offered, None first.
    static const std::vector<LineEnding>& LineEndings();

    SendingPaneMenu(plat::HexView* view, Restore restore);

    // A Send started with these bytes.
    void NoteSent(const unsigned char* data, std::size_t size);

    const RecentSends& Recent() const { return recent_; }
    QMenu* LineEndingMenu() const { return endingMenu_; }
    QAction* LineEndingAction(const QByteArray& bytes) const;
    QAction* PasteWithEscapesAction() const { return pasteEscaped_; }
    QMenu* RecentMenu() const { return recentMenu_; }

private:
    void RebuildRecentMenu();

    plat::HexView* view_;
    Restore restore_;
    RecentSends recent_;
    QMenu* endingMenu_;
    std::vector<QAction*> endingActions_;
    QAction* pasteEscaped_;
    QMenu* recentMenu_;
};
