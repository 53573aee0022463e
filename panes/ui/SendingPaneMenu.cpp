#include "panes/ui/SendingPaneMenu.h"

#include "platform/hexview/HexView.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

const std::vector<SendingPaneMenu::LineEnding>& SendingPaneMenu::LineEndings()
{
    static const std::vector<LineEnding> endings{
        {QT_TR_NOOP("None"), QByteArray()}, {QT_TR_NOOP("CR"), QByteArray("\r")},
        {QT_TR_NOOP("LF"), QByteArray("\n")}, {QT_TR_NOOP("CR LF"), QByteArray("\r\n")}};
    return endings;
}

SendingPaneMenu::SendingPaneMenu(plat::HexView* view, Restore restore)
    : QObject(view), view_(view), restore_(std::move(restore))
{
    auto* separator = new QAction(view);
    separator->setSeparator(true);
    view->addAction(separator);

    // The submenus belong to the view, as its other entries do.
    endingMenu_ = new QMenu(tr("&Line ending for Enter"), view);
    endingMenu_->setToolTipsVisible(true);
    endingMenu_->menuAction()->setToolTip(tr("What Enter types in the text column"));
    auto* group = new QActionGroup(endingMenu_);
    for (const LineEnding& ending : LineEndings()) {
        QAction* choice = endingMenu_->addAction(tr(ending.caption));
        choice->setCheckable(true);
        choice->setChecked(ending.bytes == view_->EnterBytes());
        group->addAction(choice);
        const QByteArray bytes = ending.bytes;
        connect(choice, &QAction::triggered, this, [this, bytes] { view_->SetEnterBytes(bytes); });
        endingActions_.push_back(choice);
    }
    view->addAction(endingMenu_->menuAction());

    pasteEscaped_ = new QAction(tr("Paste with &escapes"), view);
    pasteEscaped_->setToolTip(tr("Paste text in which \\r \\n \\t \\0 \\\\ \\e and \\xHH stand for their bytes"));
    connect(pasteEscaped_, &QAction::triggered, view, &plat::HexView::PasteWithEscapes);
    view->addAction(pasteEscaped_);

    recentMenu_ = new QMenu(tr("&Recent sends"), view);
    recentMenu_->menuAction()->setToolTip(tr("Put a block sent lately back in the pane"));
    view->addAction(recentMenu_->menuAction());
    RebuildRecentMenu();
}

QAction* SendingPaneMenu::LineEndingAction(const QByteArray& bytes) const
{
    const auto& endings = LineEndings();
    for (std::size_t i = 0; i < endings.size(); ++i)
        if (endings[i].bytes == bytes)
            return endingActions_[i];
    return nullptr;
}

void SendingPaneMenu::NoteSent(const unsigned char* data, std::size_t size)
{
    recent_.Add(data, size);
    RebuildRecentMenu();
}

void SendingPaneMenu::RebuildRecentMenu()
{
    recentMenu_->clear();
    for (std::size_t i = 0; i < recent_.Count(); ++i) {
        // Bytes that look like '&' would otherwise mark a shortcut letter.
        QString caption = QString::fromStdString(RecentSends::Caption(recent_.At(i)));
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        // Putting an entry back is no send: the list stays as it is while the pane copies it.
        connect(recentMenu_->addAction(caption), &QAction::triggered, this, [this, i] { restore_(recent_.At(i)); });
    }
    recentMenu_->menuAction()->setEnabled(recent_.Count() != 0);
}
