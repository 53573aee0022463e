#include "platform/toolkit/FrameClock.h"

namespace plat {
namespace {
std::atomic<int> g_waiting{0};
} // namespace

FrameClock::FrameClock(std::function<void()> update, QObject* parent) : QObject(parent), update_(std::move(update))
{
    frameTimer_.setSingleShot(true);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &FrameClock::OnWake);
}

FrameClock::~FrameClock()
{
    if (waiting_.exchange(false))
        g_waiting.fetch_sub(1);
}

void FrameClock::Request()
{
    // The exchange orders the caller's writes before the update's exchange that clears the flag, so
    // the update reads them.
    if (waiting_.exchange(true))
        return;
    g_waiting.fetch_add(1);
    QMetaObject::invokeMethod(this, &FrameClock::OnWake, Qt::QueuedConnection);
}

bool FrameClock::AnyWaiting()
{
    return g_waiting.load() != 0;
}

void FrameClock::OnWake()
{
    if (sinceUpdate_.isValid()) {
        const qint64 elapsed = sinceUpdate_.elapsed();
        if (elapsed < kFrameMs) {
            frameTimer_.start(static_cast<int>(kFrameMs - elapsed));
            return;
        }
    }
    // Cleared before the values are read: a request made during the update asks for the next one.
    waiting_.exchange(false);
    sinceUpdate_.start();
    update_();
    g_waiting.fetch_sub(1);
}

} // namespace plat
