#include "platform/hexview/HexGlyphs.h"

#include <QPainter>

namespace plat {

HexGlyphs::HexGlyphs(const QFont& font) : font_(font), raw_(QRawFont::fromFont(font))
{
    if (!raw_.isValid())
        return;
    QString printable;
    for (char c = 0x20; c < 0x7F; ++c)
        printable.append(QChar(c));
    const QList<quint32> indexes = raw_.glyphIndexesForString(printable);
    if (indexes.size() != printable.size())
        return;
    complete_ = true;
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        glyphs_[static_cast<std::size_t>(0x20 + i)] = indexes[i];
        // Glyph 0 is the font's "missing" box: another font would have to stand in, as text drawing
        // does, so this font cannot show the columns alone. The blank is never drawn.
        if (indexes[i] == 0 && i != 0)
            complete_ = false;
    }
}

void HexGlyphBatch::Add(char c, int x, int baseline)
{
    indexes_.append(glyphs_.Glyph(c));
    positions_.append(QPointF(x, baseline));
}

void HexGlyphBatch::Draw(QPainter& painter)
{
    if (indexes_.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(glyphs_.RawFont());
    run.setGlyphIndexes(indexes_);
    run.setPositions(positions_);
    painter.drawGlyphRun(QPointF(0, 0), run);
    indexes_.clear();
    positions_.clear();
}

} // namespace plat
