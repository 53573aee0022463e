#include "platform/toolkit/StretchLayout.h"

#include <QGroupBox>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace plat {
namespace {

struct Band {
    QRect stretcher;
    QRect area;       // the group box around the stretcher, or the stretcher itself
    double share;
    double above;     // share of the bands above this one
};

bool Spans(const QRect& outer, const QRect& inner)
{
    return outer.left() <= inner.left() && outer.right() >= inner.right();
}

} // namespace

StretchLayout::StretchLayout(const std::vector<QWidget*>& controls, const std::vector<Stretching>& stretching, int lastRow,
                             QSize templateSize)
    : m_templateSize(templateSize)
{
    std::vector<Band> bands;
    for (const Stretching& s : stretching) {
        Band band{s.widget->geometry(), s.widget->geometry(), s.heightShare, 0};
        for (QWidget* control : controls) {
            const QRect r = control->geometry();
            if (qobject_cast<QGroupBox*>(control) != nullptr && r.contains(band.stretcher) &&
                (band.area == band.stretcher || band.area.contains(r)))
                band.area = r;
        }
        bands.push_back(band);
    }
    for (Band& band : bands)
        for (const Band& other : bands)
            if (other.area.bottom() < band.area.top())
                band.above += other.share;

    for (QWidget* control : controls) {
        Placement p{control, control->geometry()};
        const QRect& r = p.base;
        // Bands above push the control down.
        for (const Band& band : bands)
            if (band.area.bottom() < r.top())
                p.top += band.share;
        p.bottom = p.top;
        for (const Band& band : bands) {
            if (r.contains(band.stretcher)) {
                // The stretcher itself, or a group box around it.
                p.widen = true;
                p.top = band.above;
                p.bottom = std::max(p.bottom, band.above + band.share);
            } else if (band.area.contains(r) && r.left() >= band.stretcher.right() - 1) {
                p.followRight = true;
                if (r.top() >= band.stretcher.bottom() - lastRow)
                    p.top = p.bottom = band.above + band.share;
                else
                    p.top = p.bottom = band.above;
            } else if (Spans(r, band.stretcher) && !band.area.intersects(r)) {
                p.widen = true;
            }
        }
        m_placements.push_back(p);
    }
}

void StretchLayout::Apply(QSize windowSize) const
{
    const int extraWidth = std::max(0, windowSize.width() - m_templateSize.width());
    const int extraHeight = std::max(0, windowSize.height() - m_templateSize.height());
    auto down = [extraHeight](double share) { return static_cast<int>(std::lround(share * extraHeight)); };
    for (const Placement& p : m_placements) {
        const int left = p.base.left() + (p.followRight ? extraWidth : 0);
        const int width = p.base.width() + (p.widen ? extraWidth : 0);
        const int top = p.base.top() + down(p.top);
        const int height = p.base.bottom() + 1 + down(p.bottom) - top;
        p.widget->setGeometry(left, top, width, height);
    }
}

} // namespace plat
