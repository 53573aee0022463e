#include "app/ReceivedStateDisplay.h"

#include <QStringList>
#include <QWidget>

ReceivedStateDisplay::ReceivedStateDisplay(QObject* parent, const plat::DlgItem& field)
    : m_field(field), m_clock(new plat::FrameClock([this] { Apply(); }, parent))
{
}

void ReceivedStateDisplay::Show(ReceivedState state)
{
    m_state.store(std::uint64_t{static_cast<std::uint32_t>(state.kind)} << 32 | static_cast<std::uint32_t>(state.size));
    m_clock->Request();
}

void ReceivedStateDisplay::Reset(std::mutex& receivedLock)
{
    {
        // Between two appends: a state shown before this is dropped, one shown after is newer.
        std::lock_guard guard(receivedLock);
        m_state.store(kNone);
    }
    m_field.SetWindowText(QStringLiteral("No Running"));
}

void ReceivedStateDisplay::Apply()
{
    const std::uint64_t packed = m_state.exchange(kNone);
    if (packed == kNone)
        return;
    ReceivedState state;
    state.kind = static_cast<ReceivedState::Kind>(packed >> 32);
    state.size = static_cast<int>(static_cast<std::uint32_t>(packed));
    m_field.SetWindowText(QString::fromStdString(state.Text()));
}

void ReceivedStateDisplay::SetLostTip(const QString& text)
{
    m_lostTip = text;
    ShowTip();
}

void ReceivedStateDisplay::SetRecordingTip(const QString& text)
{
    m_recordingTip = text;
    ShowTip();
}

void ReceivedStateDisplay::ShowTip()
{
    if (QWidget* received = m_field.Widget()) {
        QStringList lines;
        for (const QString* line : {&m_lostTip, &m_recordingTip})
            if (!line->isEmpty())
                lines << *line;
        received->setToolTip(lines.join(QLatin1Char('\n')));
    }
}
