#pragma once
// Which label names which field of a template: the label left of a field on its row, or the label
// just above it. The label becomes the field's buddy, so assistive technology reads the field by
// it (on Linux a list's own name is its current item; its label comes through this relation).
// Window's thread only.

#include "platform/toolkit/DialogTemplate.h"

#include <vector>

class QWidget;

namespace plat {

// `widgets` holds the widget made for each template control, in template order (nullptr if none).
void LinkLabelsToFields(const DialogTemplate& tmpl, const std::vector<QWidget*>& widgets);

} // namespace plat
