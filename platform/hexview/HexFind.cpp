#include "platform/hexview/HexFind.h"

#include "platform/hexview/HexFindDialog.h"
#include "platform/hexview/HexFormat.h"
#include "platform/hexview/HexView.h"

#include <QAction>
#include <QApplication>

#include <system_error>

namespace plat {

HexFind::HexFind(HexView* view) : QObject(view), view_(view)
{
    auto addAction = [view](const QString& text, const QKeySequence& key) {
        auto* action = new QAction(text, view);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut); // in this pane only
        view->addAction(action);
        return action;
    };
    find_ = addAction(tr("&Find..."), QKeySequence::Find);
    next_ = addAction(tr("Find &Next"), QKeySequence(Qt::Key_F3));
    previous_ = addAction(tr("Find &Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3));
    connect(find_, &QAction::triggered, this, &HexFind::OpenDialog);
    connect(next_, &QAction::triggered, this, [this] { Find(SearchDirection::Forward); });
    connect(previous_, &QAction::triggered, this, [this] { Find(SearchDirection::Backward); });
    // The worker reads the block: it ends before the view lets go of it.
    connect(view, &HexView::blockAboutToChange, this, &HexFind::Stop);
}

HexFind::~HexFind()
{
    cancel_.store(true);
    if (worker_.joinable())
        worker_.join();
}

HexFindDialog* HexFind::Dialog() const
{
    return dialog_;
}

void HexFind::OpenDialog()
{
    if (!dialog_) {
        dialog_ = new HexFindDialog(view_);
        connect(dialog_, &HexFindDialog::findNext, this, [this] { Find(SearchDirection::Forward); });
        connect(dialog_, &HexFindDialog::findPrevious, this, [this] { Find(SearchDirection::Backward); });
        connect(dialog_, &HexFindDialog::stop, this, &HexFind::Stop);
    }
    // Each pane has its own Find window: the title says which.
    const QString pane = view_->accessibleName();
    dialog_->setWindowTitle(pane.isEmpty() ? tr("Find") : tr("Find in %1").arg(pane));
    if (!dialog_->isVisible())
        dialog_->SetHex(view_->ActiveArea() == HexArea::Hex);
    dialog_->Present();
}

std::optional<std::vector<unsigned char>> HexFind::Pattern(QString& problem) const
{
    const QString what = dialog_->What();
    if (what.size() >= HexFindDialog::kMostPatternChars) {
        // The field may have cut what was pasted: a cut pattern is not searched for.
        problem = tr("What to look for can be at most %1 characters long; this is too long to look for.")
                      .arg(HexFindDialog::kMostPatternChars - 1);
        return std::nullopt;
    }
    std::vector<unsigned char> bytes;
    if (dialog_->IsHex()) {
        hexformat::HexTextFault fault;
        const std::optional<QByteArray> parsed = hexformat::ParseHexText(what, &fault);
        if (!parsed) {
            problem = fault.kind == hexformat::HexTextFault::Kind::LoneDigit
                          ? tr("The hex digit at position %1 has no second digit to make a byte; type the bytes as pairs of hex digits, such as 0d 0a.")
                                .arg(fault.at + 1)
                          : tr("\"%1\" at position %2 is not a hex digit; type the bytes as pairs of hex digits, such as 0d 0a.")
                                .arg(what.mid(fault.at, what[fault.at].isHighSurrogate() ? 2 : 1))
                                .arg(fault.at + 1);
            return std::nullopt;
        }
        if (parsed->isEmpty()) {
            problem = tr("There are no hex digits to look for; type the bytes as pairs of hex digits, such as 0d 0a.");
            return std::nullopt;
        }
        bytes.assign(parsed->begin(), parsed->end());
        return bytes;
    }
    // Text is matched letter for letter, one byte each, as the text column shows it.
    for (qsizetype i = 0; i < what.size(); ++i) {
        const char32_t c = what[i].isHighSurrogate() && i + 1 < what.size() ? QChar::surrogateToUcs4(what[i], what[i + 1])
                                                                          : what[i].unicode();
        if (c > 0xFF) {
            problem = tr("\"%1\" (U+%2) is not a character of one byte; look for its bytes in hex instead.")
                          .arg(QString::fromUcs4(&c, 1))
                          .arg(QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
            return std::nullopt;
        }
        bytes.push_back(static_cast<unsigned char>(c));
    }
    return bytes;
}

void HexFind::Find(SearchDirection direction)
{
    if (!dialog_ || dialog_->What().isEmpty()) {
        OpenDialog();
        Report(tr("Type what to look for first."), false);
        return;
    }
    QString problem;
    const std::optional<std::vector<unsigned char>> pattern = Pattern(problem);
    if (!pattern) {
        Report(problem, true);
        return;
    }
    Stop();
    ByteBlock* block = view_->Block();
    if (!block)
        return;
    // From just after the selection's start, so that Find Next moves on from the hit shown.
    const bool selection = view_->SelectionEnd() > view_->SelectionStart();
    SearchRequest request;
    request.pattern = *pattern;
    request.direction = direction;
    request.from = selection ? view_->SelectionStart() + (direction == SearchDirection::Forward ? 1 : 0) : view_->CursorOffset();
    // Positions count from the front the view shows; the end from the block's own front.
    request.front = view_->OffsetOrigin();
    const std::uint64_t blockEnd = block->FrontDropped() + block->Size();
    request.end = blockEnd > request.front ? static_cast<std::size_t>(blockEnd - request.front) : 0;

    cancel_.store(false);
    finished_ = false;
    const std::uint64_t generation = ++generation_;
    const bool hex = dialog_->IsHex();
    dialog_->SetSearching(true);
    Report(tr("Searching..."), false);
    try {
        worker_ = std::thread([this, block, request, generation, hex] {
            const SearchResult result = FindInBlock(*block, request, cancel_);
            QMetaObject::invokeMethod(
                this, [this, generation, result, length = request.pattern.size(), hex, direction = request.direction] {
                    OnResult(generation, result, length, hex, direction);
                },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // The pane and its selection stay as they were.
        finished_ = true;
        dialog_->SetSearching(false);
        Report(tr("The search could not be started: the system has no thread to spare for it."), true);
    }
}

void HexFind::Stop()
{
    if (!worker_.joinable())
        return;
    const bool wasRunning = !finished_;
    cancel_.store(true);
    worker_.join();
    finished_ = true;
    ++generation_; // its result, if already posted, no longer counts
    if (dialog_)
        dialog_->SetSearching(false);
    if (wasRunning) {
        Report(tr("Search stopped."), false);
        emit searchEnded();
    }
}

void HexFind::OnResult(std::uint64_t generation, SearchResult result, std::size_t length, bool hex, SearchDirection direction)
{
    if (generation != generation_)
        return;
    finished_ = true;
    worker_.join(); // it has posted this and ends
    if (dialog_)
        dialog_->SetSearching(false);
    switch (result.outcome) {
    case SearchResult::Outcome::Found: {
        // Offsets count from the start of the capture: the pane may have dropped its front since.
        const std::uint64_t found = result.front + result.offset;
        const std::uint64_t front = view_->Block() ? view_->Block()->FrontDropped() : 0;
        const QString where = hexformat::OffsetText(found, hexformat::OffsetDigits(found));
        if (found < front) {
            Report(tr("Found at offset %1, which the pane no longer holds.").arg(where), false);
            break;
        }
        const auto at = static_cast<std::size_t>(found - front);
        view_->SetSelection(at, at + length, hex ? HexArea::Hex : HexArea::Text);
        view_->ScrollOffsetIntoView(at);
        Report(tr("Found at offset %1.").arg(where), false);
        break;
    }
    case SearchResult::Outcome::NotFound:
        QApplication::beep();
        Report(direction == SearchDirection::Forward ? tr("Not found between the cursor and the end.")
                                                     : tr("Not found between the start and the cursor."),
               true);
        break;
    case SearchResult::Outcome::Cancelled:
        Report(tr("Search stopped."), false);
        break;
    }
    emit searchEnded();
}

void HexFind::Report(const QString& text, bool showDialog)
{
    if (!dialog_)
        return;
    dialog_->SetStatus(text);
    if (showDialog && !dialog_->isVisible())
        dialog_->Present();
}

} // namespace plat
