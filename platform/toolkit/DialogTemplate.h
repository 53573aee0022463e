#pragma once
// A dialog described as data: the window's caption, size and style, and its controls in template
// order (which is also the tab order). Sizes are in dialog units.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace plat {

struct ControlTemplate {
    int id = -1;          // -1 for labels, group boxes and icons
    QString kind;         // group, label, icon, check, edit, button, defbutton, ipaddr, combo, or a custom kind
    QString text;
    int x = 0, y = 0, w = 0, h = 0;   // a drop-down list's height includes its open list
    QStringList style;    // group, tabstop, readonly, center, number, multiline, vcenter, top, noprefix
    QString name;         // accessible name when the control has no caption of its own
    QStringList items;    // the list of a drop-down list, in order (index 0 first)

    bool HasStyle(const char* s) const { return style.contains(QLatin1String(s)); }
};

struct DialogTemplate {
    int id = 0;
    QString caption;
    int width = 0, height = 0;
    QString font;
    int pointSize = 0;
    QStringList style;
    std::vector<ControlTemplate> controls;

    const ControlTemplate* Find(int controlId) const;
};

// Parses a template from its JSON text; nothing when the text is not a valid template.
std::optional<DialogTemplate> ParseDialogTemplate(const QByteArray& json);
// Loads template `id` from the program's resources (":/templates/dialog<id>.json").
std::optional<DialogTemplate> LoadDialogTemplate(int id);
// A template that the program itself carries; the process ends when it is missing.
DialogTemplate BuiltInDialogTemplate(int id);

} // namespace plat
