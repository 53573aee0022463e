#pragma once
// The glyphs a row's hex and text columns are made of, looked up once per font: a repaint places
// ready glyphs at the layout's cell positions instead of shaping a short text for every byte, which
// a pane filling at the frame rate would otherwise pay a thousand times a frame.
//
// Window's thread only (glyphs belong to the thread's font engines).

#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QPointF>
#include <QRawFont>

#include <array>

namespace plat {

class HexGlyphs {
public:
    explicit HexGlyphs(const QFont& font);

    // Whether these are the glyphs of `font` (a view rebuilds them when its font changes).
    bool IsFor(const QFont& font) const { return font_ == font; }

    // False when the font lacks one of the characters the columns show (printable ASCII): the view
    // then draws text as it did before.
    bool IsComplete() const { return complete_; }
    // The glyph of a printable ASCII character.
    quint32 Glyph(char c) const { return glyphs_[static_cast<unsigned char>(c) & 0x7F]; }
    const QRawFont& RawFont() const { return raw_; }

private:
    QFont font_;
    QRawFont raw_;
    std::array<quint32, 128> glyphs_{};
    bool complete_ = false;
};

// Glyphs gathered for one colour and drawn with one call.
class HexGlyphBatch {
public:
    explicit HexGlyphBatch(const HexGlyphs& glyphs) : glyphs_(glyphs) {}
    void Add(char c, int x, int baseline);
    bool IsEmpty() const { return indexes_.isEmpty(); }
    // Draws the glyphs with the painter's pen and forgets them.
    void Draw(QPainter& painter);

private:
    const HexGlyphs& glyphs_;
    QList<quint32> indexes_;
    QList<QPointF> positions_;
};

} // namespace plat
