#include "platform/toolkit/DialogUnits.h"

#include <QFontMetrics>

namespace plat {

DialogUnits::DialogUnits(const QFont& font)
{
    // The average width is taken over the 52 letters, rounded, as the window system does.
    const QFontMetrics fm(font);
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_cx = (letters / 26 + 1) / 2;
    m_cy = fm.height();
    if (m_cx <= 0)
        m_cx = 1;
    if (m_cy <= 0)
        m_cy = 1;
}

QRect DialogUnits::ToPixels(int x, int y, int w, int h) const
{
    const int left = ToPixelsX(x);
    const int top = ToPixelsY(y);
    // Convert the far edges, not the sizes, so that adjacent controls do not drift apart.
    return QRect(left, top, ToPixelsX(x + w) - left, ToPixelsY(y + h) - top);
}

} // namespace plat
