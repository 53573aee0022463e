#include "panes/ui/ReceivedTimesMenu.h"

#include "panes/models/ArrivalTimeText.h"
#include "panes/ui/PaneTextExport.h"
#include "platform/hexview/HexView.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace {
constexpr int kClockChars = 12; // "12:03:04.567"

QString GapCaption(int ms)
{
    return ms % 1000 == 0 ? QObject::tr("%1 s").arg(ms / 1000) : QObject::tr("%1 ms").arg(ms);
}
} // namespace

const std::vector<int>& ReceivedTimesMenu::GapChoices()
{
    static const std::vector<int> choices{10, 20, 50, 100, 200, 500, 1000, 2000, 5000};
    return choices;
}

ReceivedTimesMenu::ReceivedTimesMenu(plat::HexView* view, CReceivedPane& pane, PaneTextExport* exporter)
    : QObject(view), view_(view), pane_(pane), exporter_(exporter)
{
    auto* separator = new QAction(view);
    separator->setSeparator(true);
    view->addAction(separator);

    showTimes_ = new QAction(tr("Show &times"), view);
    showTimes_->setCheckable(true);
    showTimes_->setToolTip(tr("Mark where each burst of bytes began and show its time"));
    view->addAction(showTimes_);
    connect(showTimes_, &QAction::toggled, this, &ReceivedTimesMenu::SetShown);

    // The submenu belongs to the view, as its other entries do.
    auto* gapMenu = new QMenu(tr("Burst &gap"), view);
    gapMenu->setToolTipsVisible(true);
    gapMenu->menuAction()->setToolTip(tr("How long the line must stay quiet before bytes count as a new burst"));
    auto* group = new QActionGroup(gapMenu);
    for (int ms : GapChoices()) {
        QAction* choice = gapMenu->addAction(GapCaption(ms));
        choice->setCheckable(true);
        choice->setChecked(ms == pane_.Arrivals().GapMs());
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, ms] { pane_.Arrivals().SetGapMs(ms); });
        gapActions_.push_back(choice);
    }
    view->addAction(gapMenu->menuAction());
}

QAction* ReceivedTimesMenu::GapAction(int ms) const
{
    const auto& choices = GapChoices();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (choices[i] == ms)
            return gapActions_[i];
    return nullptr;
}

void ReceivedTimesMenu::SetShown(bool shown)
{
    view_->SetMarkSource(shown ? this : nullptr);
    // The export writes the pane as it is shown: with the times while they are shown.
    if (exporter_)
        exporter_->SetLinesBeforeRow(shown ? plat::ExportLinesBeforeRow(ArrivalExportLines(pane_.Arrivals()))
                                           : plat::ExportLinesBeforeRow());
}

void ReceivedTimesMenu::MarksIn(std::uint64_t from, std::uint64_t to, std::vector<plat::HexMark>& out) const
{
    // The view counts from the pane's first byte, the times from the start of the capture.
    const std::uint64_t front = pane_.Block().FrontDropped();
    std::vector<ArrivalTimes::Burst> starts;
    pane_.Arrivals().StartsIn(from + front, to + front, starts);
    for (const ArrivalTimes::Burst& burst : starts)
        out.push_back({burst.offset - front, QString::fromStdString(ArrivalClockText(burst.msSinceEpoch))});
}

int ReceivedTimesMenu::LabelWidth() const
{
    return kClockChars;
}

QString ReceivedTimesMenu::ToolTipAt(std::uint64_t offset) const
{
    // Bytes the user typed past the received ones have no arrival time.
    const std::uint64_t inCapture = pane_.Block().FrontDropped() + offset;
    if (inCapture >= static_cast<std::uint64_t>(pane_.Total()))
        return QString();
    const std::optional<ArrivalTimes::Burst> burst = pane_.Arrivals().BurstContaining(inCapture);
    if (!burst)
        return QString();
    return tr("Received %1").arg(QString::fromStdString(ArrivalDateTimeText(burst->msSinceEpoch)));
}
