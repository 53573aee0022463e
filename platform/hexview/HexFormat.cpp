#include "platform/hexview/HexFormat.h"

#include <QObject>

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

std::optional<QByteArray> ParseHexText(const QString& text)
{
    QByteArray out;
    int high = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isSpace() || c == QChar(',') || c == QChar('-') || c == QChar(':')) {
            if (high >= 0)
                return std::nullopt; // a lone digit
            continue;
        }
        if (high < 0 && c == QChar('0') && i + 1 < text.size() && (text[i + 1] == QChar('x') || text[i + 1] == QChar('X'))) {
            ++i;
            continue;
        }
        const int value = HexDigitValue(c);
        if (value < 0)
            return std::nullopt;
        if (high < 0) {
            high = value;
        } else {
            out.append(static_cast<char>(high << 4 | value));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return out;
}

namespace {
// The byte of a one-letter escape, or -1.
int SimpleEscapeValue(QChar letter)
{
    switch (letter.unicode()) {
    case 'r': return '\r';
    case 'n': return '\n';
    case 't': return '\t';
    case '0': return 0;
    case '\\': return '\\';
    case 'e': return 0x1B;
    default: return -1;
    }
}
} // namespace

EscapedText ParseEscapedText(const QString& text)
{
    EscapedText result;
    QByteArray out;
    out.reserve(text.size());
    const auto refuse = [&result](qsizetype at, const QString& what) {
        result.problem = QObject::tr("Not pasted: %1 at character %2.").arg(what).arg(at + 1);
        return result;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() > 0xFF)
            return refuse(i, QObject::tr("\"%1\" is not a byte").arg(c));
        if (c != QChar('\\')) {
            out.append(static_cast<char>(c.unicode()));
            continue;
        }
        if (i + 1 == text.size())
            return refuse(i, QObject::tr("a lone \"\\\" ends the text (\"\\\\\" is a backslash)"));
        const QChar kind = text[i + 1];
        if (const int byte = SimpleEscapeValue(kind); byte >= 0) {
            out.append(static_cast<char>(byte));
            ++i;
            continue;
        }
        if (kind != QChar('x'))
            return refuse(i, QObject::tr("\"\\%1\" is not an escape (\\r \\n \\t \\0 \\\\ \\e \\xHH are)").arg(kind));
        const int high = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
        const int low = i + 3 < text.size() ? HexDigitValue(text[i + 3]) : -1;
        if (high < 0 || low < 0)
            return refuse(i, QObject::tr("\"\\x\" needs two hex digits"));
        out.append(static_cast<char>(high << 4 | low));
        i += 3;
    }
    result.bytes = out;
    return result;
}

} // namespace plat::hexformat
