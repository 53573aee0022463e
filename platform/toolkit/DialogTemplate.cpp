#include "platform/toolkit/DialogTemplate.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>

namespace plat {
namespace {

QStringList Strings(const QJsonValue& array)
{
    QStringList list;
    for (const auto& item : array.toArray())
        list << item.toString();
    return list;
}

} // namespace

const ControlTemplate* DialogTemplate::Find(int controlId) const
{
    for (const auto& c : controls)
        if (c.id == controlId && controlId != -1)
            return &c;
    return nullptr;
}

std::optional<DialogTemplate> ParseDialogTemplate(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    DialogTemplate t;
    t.id = root.value("id").toInt();
    t.caption = root.value("caption").toString();
    t.width = root.value("width").toInt();
    t.height = root.value("height").toInt();
    t.font = root.value("font").toString();
    t.pointSize = root.value("pointSize").toInt();
    t.style = Strings(root.value("style"));
    for (const auto& item : root.value("controls").toArray()) {
        const QJsonObject o = item.toObject();
        ControlTemplate c;
        c.id = o.value("id").toInt(-1);
        c.kind = o.value("kind").toString();
        c.text = o.value("text").toString();
        c.x = o.value("x").toInt();
        c.y = o.value("y").toInt();
        c.w = o.value("w").toInt();
        c.h = o.value("h").toInt();
        c.name = o.value("name").toString();
        c.style = Strings(o.value("style"));
        c.items = Strings(o.value("items"));
        if (c.kind.isEmpty())
            return std::nullopt;
        t.controls.push_back(std::move(c));
    }
    if (t.width <= 0 || t.height <= 0)
        return std::nullopt;
    return t;
}

std::optional<DialogTemplate> LoadDialogTemplate(int id)
{
    QFile file(QStringLiteral(":/templates/dialog%1.json").arg(id));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ParseDialogTemplate(file.readAll());
}

DialogTemplate BuiltInDialogTemplate(int id)
{
    auto tmpl = LoadDialogTemplate(id);
    if (!tmpl) {
        // The templates are built into the program: without one the build itself is broken.
        std::fprintf(stderr, "dialog template %d is missing from the program\n", id);
        std::abort();
    }
    return *tmpl;
}

} // namespace plat
