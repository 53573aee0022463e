#include "app/MainApp.h"

#include "app/Controls.h"
#include "app/MainDlg.h"
#include "platform/toolkit/MessageBox.h"
#include "resources/Resources.h"

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

bool CMainApp::StartSockets()
{
    std::signal(SIGPIPE, SIG_IGN);
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    ::close(probe);
    return true;
}

bool CMainApp::InitInstance()
{
    res::InitResources();
    app::RegisterControlKinds();
    if (!m_startSockets()) {
        plat::ShowMessageBox(nullptr, res::LoadString(res::kStringSocketStartFailed));
        return false;
    }
    auto dlg = std::make_unique<CMainDlg>();
    // Modal to nothing but itself: an application-modal window would take all input away from the
    // ownerless boxes that workers raise, and nobody could close them.
    dlg->setWindowModality(Qt::WindowModal);
    dlg->exec();
    return true;
}
