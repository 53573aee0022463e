#include "platform/toolkit/ControlLabels.h"

#include <QLabel>

#include <cstdlib>

namespace plat {
namespace {

bool IsField(const ControlTemplate& c)
{
    return c.kind == QLatin1String("edit") || c.kind == QLatin1String("ipaddr") || c.kind == QLatin1String("combo");
}

// Distance from the label to a field on its row and right of it; -1 when the field is not there.
int DistanceBeside(const ControlTemplate& label, const ControlTemplate& field)
{
    if (std::abs(field.y - label.y) > 2 || field.x < label.x + label.w - 2)
        return -1;
    return field.x - label.x;
}

// Distance from the label to a field that starts just below it and spans its middle.
int DistanceBelow(const ControlTemplate& label, const ControlTemplate& field)
{
    const int gap = field.y - (label.y + label.h);
    const int middle = label.x + label.w / 2;
    if (gap < 0 || gap > 4 || middle < field.x || middle > field.x + field.w)
        return -1;
    return gap;
}

// The index of the nearest field that `distance` accepts, or -1.
template <class Distance>
int NearestField(const DialogTemplate& tmpl, const ControlTemplate& label, Distance distance)
{
    int best = -1;
    int bestDistance = 0;
    for (std::size_t i = 0; i < tmpl.controls.size(); ++i) {
        if (!IsField(tmpl.controls[i]))
            continue;
        const int d = distance(label, tmpl.controls[i]);
        if (d >= 0 && (best < 0 || d < bestDistance)) {
            best = static_cast<int>(i);
            bestDistance = d;
        }
    }
    return best;
}

} // namespace

void LinkLabelsToFields(const DialogTemplate& tmpl, const std::vector<QWidget*>& widgets)
{
    for (std::size_t i = 0; i < tmpl.controls.size() && i < widgets.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(widgets[i]);
        if (label == nullptr || tmpl.controls[i].kind != QLatin1String("label"))
            continue;
        int field = NearestField(tmpl, tmpl.controls[i], DistanceBeside);
        if (field < 0)
            field = NearestField(tmpl, tmpl.controls[i], DistanceBelow);
        if (field >= 0 && static_cast<std::size_t>(field) < widgets.size() && widgets[static_cast<std::size_t>(field)] != nullptr)
            label->setBuddy(widgets[static_cast<std::size_t>(field)]);
    }
}

} // namespace plat
