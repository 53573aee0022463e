#pragma once
// Waiting on a condition in tests without Qt: polls `done` until it holds or `limit` has passed.
// The limit is generous; it only keeps a broken test from hanging.

#include <chrono>
#include <thread>

namespace testwait {

constexpr std::chrono::milliseconds kDefaultLimit{20000};

template <class Pred> bool WaitUntil(Pred done, std::chrono::milliseconds limit = kDefaultLimit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return done();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace testwait
