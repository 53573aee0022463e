#pragma once
// How bytes look in the view and on the clipboard.

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>
#include <optional>

namespace plat::hexformat {

constexpr int kBytesPerRow = 16;

// The character shown in the text column: printable ASCII as is, anything else as '.'.
QChar DisplayChar(unsigned char byte);
// True for a character that typing in the text column turns into its byte.
bool IsTypable(QChar c);
// The value of a hex digit, or -1.
int HexDigitValue(QChar c);
// Two upper-case hex digits.
QString ByteHex(unsigned char byte);
// The offset column for a row, at least 8 digits, more when the block is 4 GiB or larger.
int OffsetDigits(std::uint64_t blockSize);
QString OffsetText(std::uint64_t offset, int digits);

// "41 42 0A": what a copy in the hex column puts on the clipboard.
QString ToHexText(const QByteArray& bytes);
// Reads hex digit pairs, as Find and a paste in the hex column take them: "0D 0A", "0x0D,0x0A",
// "0d0a", "0D-0A", "0D:0A". Blanks, line breaks, commas, dashes, colons and a leading "0x" per pair
// are allowed. An odd count of digits or any other character makes the text unreadable.
std::optional<QByteArray> ParseHexText(const QString& text);

// Text with escapes, as "Paste with escapes" takes it: \r \n \t \0 \\ \e and \xHH become their
// bytes, every other character of Latin-1 stands for itself. When the text cannot be read, `bytes`
// is empty and `problem` says what is wrong and where (counting characters from 1).
struct EscapedText {
    std::optional<QByteArray> bytes;
    QString problem;
};
EscapedText ParseEscapedText(const QString& text);

} // namespace plat::hexformat
