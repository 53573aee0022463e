#pragma once
// How the serial settings read in the window and in the configuration dialog's lists.

#include <QString>
#include <QStringList>

namespace serialtext {

QStringList ParityItems();       // "No Parity" ... "Space Parity", by parity value 0 to 4
QStringList StopBitItems();      // "1 Stop Bit", "1.5 Stop Bit", "2 Stop Bit", by value 0 to 2
QStringList HandshakingItems();  // by mode 0 to 2

QString PortText(int comPort);           // "COM%d"
QString BaudText(int baudRate);          // "%d"
QString DataBitsText(int dataBits);      // "%d bits"
// A stored number outside the table reads as the number itself, so the user sees what is stored.
QString ParityText(int parity);
QString StopBitsText(int stopBits);
QString HandshakingText(int handshaking);

} // namespace serialtext
