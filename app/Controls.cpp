#include "app/Controls.h"

#include "platform/hexview/HexView.h"
#include "platform/toolkit/TemplateDialog.h"
#include "resources/Resources.h"

#include <QLabel>

namespace app {

void RegisterControlKinds()
{
    plat::RegisterControlKind(QStringLiteral("hexview"), [](const plat::ControlTemplate&, QWidget* parent) {
        return new plat::HexView(parent);
    });
    plat::RegisterControlKind(QStringLiteral("icon"), [](const plat::ControlTemplate& c, QWidget* parent) {
        auto* label = new QLabel(parent);
        // Drawn for the screen's pixel density, so that it stays sharp on high-density screens.
        label->setPixmap(res::LoadIcon(c.text.toInt()).pixmap(QSize(32, 32), label->devicePixelRatioF()));
        label->setAlignment(Qt::AlignCenter);
        return label;
    });
}

} // namespace app
