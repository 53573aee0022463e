#pragma once
// Dialog units: a horizontal unit is a quarter of the font's average character width, a vertical
// unit an eighth of its height, so a dialog keeps its proportions in any font.

#include <QFont>
#include <QRect>

namespace plat {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int averageCharWidth, int charHeight) : m_cx(averageCharWidth), m_cy(charHeight) {}

    int ToPixelsX(int units) const { return units * m_cx / 4; }
    int ToPixelsY(int units) const { return units * m_cy / 8; }
    QRect ToPixels(int x, int y, int w, int h) const;
    int AverageCharWidth() const { return m_cx; }
    int CharHeight() const { return m_cy; }

private:
    int m_cx;
    int m_cy;
};

} // namespace plat
