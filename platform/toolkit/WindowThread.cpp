#include "platform/toolkit/WindowThread.h"

#include <QCoreApplication>
#include <QThread>

namespace plat {

bool IsWindowThread()
{
    auto* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void RunOnWindowThread(QObject* context, std::function<void()> work)
{
    if (IsWindowThread()) {
        work();
        return;
    }
    // Events posted from one thread to one receiver are delivered in the order they were posted.
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

} // namespace plat
