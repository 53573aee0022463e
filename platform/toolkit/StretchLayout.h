#pragma once
// How a dialog's controls follow its window when it grows beyond the template size. The caller names
// the controls that take the extra room: each takes all the extra width and its share of the extra
// height. Every other control follows from where it stands in the template:
//  - right of a stretching control and within its band (the group box around it): keeps its distance
//    to the window's right edge, and moves down with the band's bottom when it sits in the band's
//    last row;
//  - a group box around a stretching control grows with it; one that spans it from side to side
//    takes the extra width;
//  - anything else keeps its place, moved down by the extra height of the bands above it.
// Window's thread only.

#include <QRect>
#include <QSize>

#include <vector>

class QWidget;

namespace plat {

class StretchLayout {
public:
    struct Stretching {
        QWidget* widget;
        double heightShare;   // the shares add up to 1
    };
    // `controls` are all the dialog's controls, at the place they have at the template size;
    // `lastRow` is how far above a stretching control's bottom its band's last row begins.
    StretchLayout(const std::vector<QWidget*>& controls, const std::vector<Stretching>& stretching, int lastRow,
                  QSize templateSize);

    // Places every control for a window of this size (never smaller than the template).
    void Apply(QSize windowSize) const;

private:
    struct Placement {
        QWidget* widget;
        QRect base;
        bool followRight = false;   // moves right by the extra width
        bool widen = false;         // grows by the extra width
        double top = 0;             // share of the extra height above its top edge
        double bottom = 0;          // share of the extra height above its bottom edge
    };
    std::vector<Placement> m_placements;
    QSize m_templateSize;
};

} // namespace plat
