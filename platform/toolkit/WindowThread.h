#pragma once
// The window's thread: the only thread that may touch widgets. Work from other threads is queued to
// it; work from the window's thread itself runs at once (a blocking queued call made from the
// window's own thread would hang).

#include <QObject>
#include <functional>

namespace plat {

bool IsWindowThread();

// Runs `work` on the window's thread: at once when called there, otherwise queued behind everything
// this thread queued before. When `context` is destroyed first, queued work for it is dropped.
void RunOnWindowThread(QObject* context, std::function<void()> work);

} // namespace plat
