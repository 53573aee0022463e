#pragma once
// Where things sit in a row of the view, in pixels from the row's left edge: the offset column, the
// hex column (two digits and a blank per byte) and the text column (one character per byte).

#include "platform/hexview/HexEditor.h"

#include <QFontMetrics>

namespace plat {

class HexLayout {
public:
    HexLayout(const QFontMetrics& metrics, int offsetDigits);

    int CharWidth() const { return charWidth_; }
    int LineHeight() const { return lineHeight_; }
    int Ascent() const { return ascent_; }
    int OffsetX() const { return margin_; }
    int HexX(int byteInRow, int nibble = 0) const;
    int TextX(int byteInRow) const;
    int ContentWidth() const;

    struct Hit {
        HexArea area;
        int byteInRow; // 0 to 16; 16 is past the row's last byte
        int nibble;
    };
    // The column and byte under x; the offset column counts as the start of the hex column.
    Hit HitTest(int x) const;

private:
    int charWidth_;
    int lineHeight_;
    int ascent_;
    int margin_;
    int hexStart_; // in pixels
    int textStart_;
};

} // namespace plat
