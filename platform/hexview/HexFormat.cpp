#include "platform/hexview/HexFormat.h"

namespace plat::hexformat {

QChar DisplayChar(unsigned char byte)
{
    return byte >= 0x20 && byte < 0x7F ? QChar(byte) : QChar('.');
}

bool IsTypable(QChar c)
{
    // Only what the text column shows as itself, so that what is typed is what is seen.
    return c.unicode() >= 0x20 && c.unicode() < 0x7F;
}

int HexDigitValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

QString ByteHex(unsigned char byte)
{
    static const char digits[] = "0123456789ABCDEF";
    const QChar pair[2] = {QChar(digits[byte >> 4]), QChar(digits[byte & 0xF])};
    return QString(pair, 2);
}

int OffsetDigits(std::uint64_t blockSize)
{
    int digits = 1;
    while (blockSize >>= 4)
        ++digits;
    return digits <= 8 ? 8 : (digits <= 12 ? 12 : 16);
}

QString OffsetText(std::uint64_t offset, int digits)
{
    return QString::number(offset, 16).toUpper().rightJustified(digits, QChar('0'));
}

QString ToHexText(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size() * 3);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i != 0)
            out += QChar(' ');
        out += ByteHex(static_cast<unsigned char>(bytes[i]));
    }
    return out;
}

std::optional<QByteArray> ParseHexText(const QString& text, HexTextFault* fault)
{
    auto failed = [fault](HexTextFault::Kind kind, qsizetype at) -> std::optional<QByteArray> {
        if (fault)
            *fault = {kind, at};
        return std::nullopt;
    };
    QByteArray out;
    int high = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isSpace() || c == QChar(',')) {
            if (high >= 0)
                return failed(HexTextFault::Kind::LoneDigit, i - 1);
            continue;
        }
        if (high < 0 && c == QChar('0') && i + 1 < text.size() && (text[i + 1] == QChar('x') || text[i + 1] == QChar('X'))) {
            ++i;
            continue;
        }
        const int value = HexDigitValue(c);
        if (value < 0)
            return failed(HexTextFault::Kind::NotADigit, i);
        if (high < 0) {
            high = value;
        } else {
            out.append(static_cast<char>(high << 4 | value));
            high = -1;
        }
    }
    if (high >= 0)
        return failed(HexTextFault::Kind::LoneDigit, text.size() - 1);
    return out;
}

} // namespace plat::hexformat
