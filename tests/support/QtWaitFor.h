#pragma once
// Waiting on a condition in widget tests: runs the window's event loop, so that what workers queued
// for the window is applied, until `done` holds or `limit` has passed.

#include "tests/support/WaitFor.h"

#include <QApplication>

namespace testwait {

template <class Pred> bool PumpUntil(Pred done, std::chrono::milliseconds limit = kDefaultLimit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return done();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    return true;
}

} // namespace testwait
