#pragma once
// "Show times" and "Burst gap" in the Received pane's context menu. With "Show times" ticked the
// pane marks where each burst of received bytes began: its time in the offset column, a thin line
// before its first byte, the time in the row's accessible text, a tooltip with the date and time on
// every received byte, and a line with the time before the row in "Export as text...". "Burst gap"
// picks the quiet spell after which arriving bytes count as a new burst.
//
// Window's thread, except the export lines, which the export worker calls (they read the times
// through ArrivalTimes' own lock).

#include "panes/models/ReceivedPane.h"
#include "platform/hexview/HexMarks.h"

#include <QObject>

#include <vector>

class PaneTextExport;
class QAction;
namespace plat {
class HexView;
}

class ReceivedTimesMenu : public QObject, public plat::HexMarkSource {
    Q_OBJECT
public:
    // The gaps offered, in ms.
    static const std::vector<int>& GapChoices();

    // Adds the entries to the view's context menu; `exporter` is the pane's "Export as text...".
    ReceivedTimesMenu(plat::HexView* view, CReceivedPane& pane, PaneTextExport* exporter);

    QAction* ShowTimesAction() const { return showTimes_; }
    // The entry of one gap choice in the "Burst gap" submenu; nullptr for a gap not offered.
    QAction* GapAction(int ms) const;

    void MarksIn(std::uint64_t from, std::uint64_t to, std::vector<plat::HexMark>& out) const override;
    int LabelWidth() const override;
    QString ToolTipAt(std::uint64_t offset) const override;

private:
    void SetShown(bool shown);

    plat::HexView* view_;
    CReceivedPane& pane_;
    PaneTextExport* exporter_;
    QAction* showTimes_;
    std::vector<QAction*> gapActions_;
};
