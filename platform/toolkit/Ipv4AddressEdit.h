#pragma once
// The four-field IPv4 address control: four small fields of 0 to 255 separated by dots. A field left
// blank reads as 0. Typing a dot, or a third digit, moves on to the next field.

#include <QWidget>
#include <array>
#include <cstdint>

class QLineEdit;

namespace plat {

class Ipv4AddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit Ipv4AddressEdit(QWidget* parent = nullptr);

    // The address as one value, first field in the highest byte; blank fields read as 0.
    std::uint32_t Address() const;
    // The four fields in display order; blank fields read as 0.
    std::array<std::uint8_t, 4> Octets() const;
    bool IsBlank() const;
    // "a.b.c.d" with blank fields left empty ("..." when all are blank).
    QString Text() const;
    // Fills the fields from "a.b.c.d"; missing or empty parts leave their fields blank.
    void SetText(const QString& text);
    void SetAddress(std::uint32_t address);
    void Clear();
    QLineEdit* Field(int index) const { return m_fields[static_cast<std::size_t>(index)]; }

signals:
    void AddressChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayoutFields();
    int IndexOf(QObject* field) const;

    std::array<QLineEdit*, 4> m_fields{};
};

} // namespace plat
