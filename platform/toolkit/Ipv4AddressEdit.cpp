#include "platform/toolkit/Ipv4AddressEdit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace plat {

Ipv4AddressEdit::Ipv4AddressEdit(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto* validator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(validator);
        field->installEventFilter(this);
        field->setAccessibleName(tr("Field %1").arg(i + 1));
        // The control is one tab stop: Tab enters its first field and leaves from any field.
        if (i > 0)
            field->setFocusPolicy(Qt::ClickFocus);
        connect(field, &QLineEdit::textEdited, this, [this, i, field](const QString& text) {
            // Out-of-range numbers are clamped as the user types them, as the native control does.
            if (text.toInt() > 255)
                field->setText(QStringLiteral("255"));
            if (field->text().size() == 3 && i + 1 < m_fields.size()) {
                m_fields[i + 1]->setFocus();
                m_fields[i + 1]->selectAll();
            }
        });
        connect(field, &QLineEdit::textChanged, this, &Ipv4AddressEdit::AddressChanged);
        m_fields[i] = field;
        if (i + 1 < m_fields.size()) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            dot->setObjectName(QStringLiteral("dot%1").arg(i));
        }
    }
    setFocusProxy(m_fields[0]);
}

std::array<std::uint8_t, 4> Ipv4AddressEdit::Octets() const
{
    std::array<std::uint8_t, 4> octets{};
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        octets[i] = static_cast<std::uint8_t>(std::min(255, m_fields[i]->text().toInt()));
    return octets;
}

std::uint32_t Ipv4AddressEdit::Address() const
{
    const auto o = Octets();
    return (std::uint32_t{o[0]} << 24) | (std::uint32_t{o[1]} << 16) | (std::uint32_t{o[2]} << 8) | o[3];
}

bool Ipv4AddressEdit::IsBlank() const
{
    for (auto* f : m_fields)
        if (!f->text().isEmpty())
            return false;
    return true;
}

QString Ipv4AddressEdit::Text() const
{
    QStringList parts;
    for (auto* f : m_fields)
        parts << f->text();
    return parts.join(QLatin1Char('.'));
}

void Ipv4AddressEdit::SetText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        QString part = i < static_cast<std::size_t>(parts.size()) ? parts[static_cast<int>(i)].trimmed() : QString();
        bool ok = false;
        const int value = part.toInt(&ok);
        m_fields[i]->setText(ok ? QString::number(std::clamp(value, 0, 255)) : QString());
    }
}

void Ipv4AddressEdit::SetAddress(std::uint32_t address)
{
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setText(QString::number((address >> (24 - 8 * i)) & 0xFF));
}

void Ipv4AddressEdit::Clear()
{
    for (auto* f : m_fields)
        f->clear();
}

int Ipv4AddressEdit::IndexOf(QObject* field) const
{
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i] == field)
            return static_cast<int>(i);
    return -1;
}

bool Ipv4AddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    const int index = IndexOf(watched);
    if (index < 0 || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* field = m_fields[static_cast<std::size_t>(index)];
    const bool hasNext = index + 1 < static_cast<int>(m_fields.size());
    if ((key->text() == QLatin1String(".") || key->key() == Qt::Key_Space) && hasNext) {
        if (!field->text().isEmpty()) {
            m_fields[static_cast<std::size_t>(index + 1)]->setFocus();
            m_fields[static_cast<std::size_t>(index + 1)]->selectAll();
        }
        return true;
    }
    if (key->key() == Qt::Key_Right && field->cursorPosition() == field->text().size() && hasNext) {
        m_fields[static_cast<std::size_t>(index + 1)]->setFocus();
        m_fields[static_cast<std::size_t>(index + 1)]->setCursorPosition(0);
        return true;
    }
    if ((key->key() == Qt::Key_Left || key->key() == Qt::Key_Backspace) && field->cursorPosition() == 0 &&
        !field->hasSelectedText() && index > 0) {
        QLineEdit* previous = m_fields[static_cast<std::size_t>(index - 1)];
        previous->setFocus();
        previous->setCursorPosition(previous->text().size());
        return key->key() == Qt::Key_Left;
    }
    return QWidget::eventFilter(watched, event);
}

void Ipv4AddressEdit::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayoutFields();
}

void Ipv4AddressEdit::LayoutFields()
{
    const int dotWidth = std::max(4, fontMetrics().horizontalAdvance(QLatin1Char('.')) + 2);
    const int fieldWidth = std::max(1, (width() - 3 * dotWidth) / 4);
    int x = 0;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i]->setGeometry(x, 0, fieldWidth, height());
        x += fieldWidth;
        if (auto* dot = findChild<QLabel*>(QStringLiteral("dot%1").arg(i))) {
            dot->setGeometry(x, 0, dotWidth, height());
            x += dotWidth;
        }
    }
}

} // namespace plat
