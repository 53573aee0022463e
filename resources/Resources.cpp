#include "resources/Resources.h"

#include "resources/Version.h"

static void InitQtResources()
{
    Q_INIT_RESOURCE(relvanto);
}

namespace res {

void InitResources()
{
    InitQtResources();
}

QString LoadString(int id)
{
    switch (id) {
    case kStringAboutMenuItem:
        return QStringLiteral("Dovrenix Relvanto About(&A)...");
    case kStringSocketStartFailed:
        return QStringLiteral("Windows Socket Initialization Failed.");
    default:
        return QString();
    }
}

QIcon LoadIcon(int id)
{
    if (id != kMainIcon)
        return QIcon();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/relvanto-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/relvanto-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/relvanto-48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/icons/relvanto-256.png"), QSize(256, 256));
    return icon;
}

QString VersionText()
{
    return QStringLiteral(RELVANTO_VERSION_TEXT);
}

} // namespace res
