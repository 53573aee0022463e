#pragma once
// Marks that a view's owner puts on its bytes, such as the time at which a burst of received bytes
// began. The view shows a mark's label in the offset column of the row it falls in (widening the
// column to fit), draws a thin line before the marked byte, reads the label in the row's accessible
// text, and asks for a tooltip for the byte under the mouse. The view asks only for the rows it
// shows, so a large block with many marks costs no more than a small one.
//
// Window's thread: the view calls these while it paints, shows a tooltip or answers assistive
// technology.

#include <QString>

#include <cstdint>
#include <vector>

namespace plat {

struct HexMark {
    std::uint64_t offset;
    QString label;
};

class HexMarkSource {
public:
    virtual ~HexMarkSource() = default;
    // Appends the marks at offsets in [from, to), in order.
    virtual void MarksIn(std::uint64_t from, std::uint64_t to, std::vector<HexMark>& out) const = 0;
    // The longest label in characters.
    virtual int LabelWidth() const = 0;
    // The tooltip for the byte at `offset`; empty for none.
    virtual QString ToolTipAt(std::uint64_t offset) const = 0;
};

} // namespace plat
