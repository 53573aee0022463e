#include "serial/dialog/SettingsText.h"

namespace serialtext {
namespace {

QString ItemOrNumber(const QStringList& items, int value, const char* unknownFormat)
{
    if (value >= 0 && value < items.size())
        return items[value];
    return QString::asprintf(unknownFormat, value);
}

} // namespace

QStringList ParityItems()
{
    return {QStringLiteral("No Parity"), QStringLiteral("Odd Parity"), QStringLiteral("Even Parity"),
            QStringLiteral("Mark Parity"), QStringLiteral("Space Parity")};
}

QStringList StopBitItems()
{
    return {QStringLiteral("1 Stop Bit"), QStringLiteral("1.5 Stop Bit"), QStringLiteral("2 Stop Bit")};
}

QStringList HandshakingItems()
{
    return {QStringLiteral("No Handshaking"), QStringLiteral("Hardware Handshaking(RTS/CTS)"),
            QStringLiteral("Software Handshaking(XON/XOFF)")};
}

QString PortText(int comPort) { return QString::asprintf("COM%d", comPort); }
QString BaudText(int baudRate) { return QString::asprintf("%d", baudRate); }
QString DataBitsText(int dataBits) { return QString::asprintf("%d bits", dataBits); }
QString ParityText(int parity) { return ItemOrNumber(ParityItems(), parity, "Parity %d (unknown)"); }
QString StopBitsText(int stopBits) { return ItemOrNumber(StopBitItems(), stopBits, "Stop Bits %d (unknown)"); }
QString HandshakingText(int handshaking)
{
    return ItemOrNumber(HandshakingItems(), handshaking, "Handshaking %d (unknown)");
}

} // namespace serialtext
