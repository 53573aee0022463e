#include "app/LinkExtras.h"

#include "platform/toolkit/TemplateDialog.h"
#include "platform/toolkit/WindowThread.h"
#include "serial/link/DescriptorLines.h"
#include "serial/port/SerialPort.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QSpinBox>
#include <algorithm>

namespace {

QSpinBox* LengthBox(QWidget* parent, const QString& name, std::chrono::milliseconds length)
{
    auto* box = new QSpinBox(parent);
    box->setRange(1, 60000);
    box->setSuffix(QStringLiteral(" ms"));
    box->setValue(static_cast<int>(length.count()));
    box->setAccessibleName(name);
    box->setToolTip(name);
    return box;
}

// A button as wide as its caption, named by it.
QToolButton* Button(const QString& caption, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setAccessibleName(caption);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QString Word(const LineState& state, int line, const char* name)
{
    return QStringLiteral("%1 %2").arg(QLatin1String(name), (state.lines & line) ? QStringLiteral("on")
                                                                                   : QStringLiteral("off"));
}

constexpr const char* kRtsToDriverText = "Set by the driver for hardware handshaking (RTS/CTS)";

} // namespace

LinkExtras::LinkExtras(LinkSession& link, SerialLink& serial, QWidget* state)
    : m_link(link), m_serial(serial), m_state(state)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 2, 8, 4);
    BuildReconnect();
    BuildLines();
    row->addWidget(m_reconnect);
    // The serial part takes the rest of the row; the words of its input lines get what is left.
    row->addWidget(m_serialPart, 1);
    row->addStretch();
    // As high as the taller part, whichever shows.
    const QMargins margins = row->contentsMargins();
    setFixedHeight(std::max(m_reconnect->sizeHint().height(), m_serialPart->sizeHint().height()) + margins.top() +
                   margins.bottom());
    ApplyLines(LineState{});
}

LinkExtras::~LinkExtras()
{
    m_lines.End();
}

void LinkExtras::BuildReconnect()
{
    m_reconnect = new QCheckBox(QStringLiteral("Reconnect when the server goes away"), this);
    m_reconnect->setAccessibleName(m_reconnect->text());
    m_reconnect->hide();
    connect(m_reconnect, &QCheckBox::toggled, this, [this](bool on) { m_link.SetReconnect(on); });
}

void LinkExtras::BuildLines()
{
    m_serialPart = new QWidget(this);
    // Two lines: the output lines' controls, then the reopen box and the input lines' words, which
    // would not fit beside them in the template's width.
    auto* lines = new QVBoxLayout(m_serialPart);
    lines->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    auto* second = new QHBoxLayout;
    lines->addLayout(row);
    lines->addLayout(second);
    m_dtr = Button(QStringLiteral("DTR"), m_serialPart);
    m_rts = Button(QStringLiteral("RTS"), m_serialPart);
    for (QToolButton* toggle : {m_dtr, m_rts}) {
        toggle->setCheckable(true);
        row->addWidget(toggle);
    }
    connect(m_dtr, &QToolButton::clicked, this, [this](bool on) { m_lines.SetLine(LineDtr, on); });
    connect(m_rts, &QToolButton::clicked, this, [this](bool on) { m_lines.SetLine(LineRts, on); });

    m_pulse = Button(QStringLiteral("Reset pulse"), m_serialPart);
    m_pulseLines = new QComboBox(m_serialPart);
    m_pulseLines->addItems({QStringLiteral("DTR"), QStringLiteral("RTS"), QStringLiteral("DTR and RTS")});
    m_pulseLines->setAccessibleName(QStringLiteral("Reset pulse lines"));
    m_pulseLines->setToolTip(m_pulseLines->accessibleName());
    m_pulseMs = LengthBox(m_serialPart, QStringLiteral("Reset pulse length"), ModemLines::kDefaultPulse);
    connect(m_pulse, &QToolButton::clicked, this, [this] {
        static constexpr int kChoices[] = {LineDtr, LineRts, LineDtr | LineRts};
        int lines = kChoices[std::max(0, m_pulseLines->currentIndex())];
        // The driver owns RTS under hardware handshaking: the pulse leaves it alone.
        if (m_hardware)
            lines &= ~LineRts;
        if (lines != 0)
            m_lines.Pulse(lines, std::chrono::milliseconds(m_pulseMs->value()));
    });
    m_break = Button(QStringLiteral("Break"), m_serialPart);
    m_breakMs = LengthBox(m_serialPart, QStringLiteral("Break length"), ModemLines::kDefaultBreak);
    connect(m_break, &QToolButton::clicked, this,
            [this] { m_lines.Break(std::chrono::milliseconds(m_breakMs->value())); });
    m_inputs = new QLabel(m_serialPart);
    m_inputs->setTextFormat(Qt::PlainText);
    m_inputs->setFocusPolicy(Qt::TabFocus); // a screen reader reaches the words by Tab too
    m_reopen = new QCheckBox(QStringLiteral("Reopen when the device comes back"), m_serialPart);
    m_reopen->setAccessibleName(m_reopen->text());
    connect(m_reopen, &QCheckBox::toggled, this, [this](bool on) { m_serial.SetReopen(on); });
    for (QWidget* control : std::initializer_list<QWidget*>{m_pulse, m_pulseLines, m_pulseMs, m_break, m_breakMs})
        row->addWidget(control);
    row->addStretch();
    second->addWidget(m_reopen);
    second->addWidget(m_inputs, 1);
    m_serialPart->hide();
}

void LinkExtras::SetMode(Mode mode)
{
    m_mode = mode;
    m_reconnect->setVisible(mode == Mode::TcpClient);
    m_serialPart->setVisible(mode == Mode::Serial);
    // The window grows by the row while it shows, so that the template's controls keep their places.
    if (auto* window = qobject_cast<plat::TemplateDialog*>(parentWidget()))
        window->ShowBottomRow(mode != Mode::Other);
}

void LinkExtras::BeginLines(CSerialPort& port, bool hardwareHandshaking)
{
    std::unique_ptr<LineDevice> device;
    port.WithDescriptor([&](int fd) { device = DescriptorLines::Duplicate(fd); });
    BeginLines(std::move(device), hardwareHandshaking);
}

void LinkExtras::BeginLines(std::unique_ptr<LineDevice> device, bool hardwareHandshaking)
{
    ++m_linesEpoch;
    m_open = true;
    m_hardware = hardwareHandshaking;
    m_lines.Begin(std::move(device));
}

void LinkExtras::EndLines()
{
    m_lines.End();
    ++m_linesEpoch;
    m_open = false;
    ApplyLines(LineState{});
}

void LinkExtras::ShowNextTry(const std::string& line)
{
    plat::RunOnWindowThread(this, [this, text = QString::fromStdString(line)] {
        if (m_mode == Mode::TcpClient && m_state)
            m_state->setToolTip(text);
    });
}

void LinkExtras::ShowLines(const LineState& state)
{
    const std::uint64_t epoch = m_linesEpoch;
    plat::RunOnWindowThread(this, [this, state, epoch] {
        if (epoch == m_linesEpoch)
            ApplyLines(state);
    });
}

void LinkExtras::ShowLinesProblem(const std::string& text)
{
    plat::RunOnWindowThread(this, [this, text] { m_inputs->setText(QString::fromStdString(text)); });
}

QString LinkExtras::LinesText(const LineState& state) const
{
    if (!state.available)
        return QStringLiteral("Modem lines: %1").arg(QLatin1String(kNotAvailableText));
    return QStringList{Word(state, LineCts, "CTS"), Word(state, LineDsr, "DSR"), Word(state, LineDcd, "DCD"),
                       Word(state, LineRi, "RI"), QStringLiteral("%1 rings").arg(state.rings)}
        .join(QStringLiteral(", "));
}

void LinkExtras::ApplyLines(const LineState& state)
{
    const bool usable = m_open && state.available;
    const bool idle = usable && !state.busy;
    m_dtr->setChecked(state.lines & LineDtr);
    m_rts->setChecked(state.lines & LineRts);
    m_dtr->setEnabled(idle);
    m_rts->setEnabled(idle && !m_hardware);
    m_pulse->setEnabled(idle);
    m_break->setEnabled(idle);
    m_pulseLines->setEnabled(usable);
    m_pulseMs->setEnabled(usable);
    m_breakMs->setEnabled(usable);

    const QString unavailable = m_open && !state.available ? QString::fromLatin1(kNotAvailableText) : QString();
    for (QWidget* control : std::initializer_list<QWidget*>{m_dtr, m_pulse, m_break}) {
        control->setToolTip(unavailable);
        control->setAccessibleDescription(unavailable);
    }
    const QString rtsWhy = !unavailable.isEmpty() ? unavailable
                           : m_hardware && m_open ? QString::fromLatin1(kRtsToDriverText)
                                                  : QString();
    m_rts->setToolTip(rtsWhy);
    m_rts->setAccessibleDescription(rtsWhy);

    const QString words = m_open ? LinesText(state) : QString();
    m_inputs->setText(words);
    m_inputs->setAccessibleName(words);
    if (m_open && m_state)
        m_state->setToolTip(words);
}
