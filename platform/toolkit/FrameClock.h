#pragma once
// Paces a high-rate update (a pane redraw, a status text) to the window's frame rate: requests from
// any thread merge, and the update runs on the window's thread at most once a frame, reading the
// latest values when it runs. A request after a quiet spell runs at the next pass of the event loop;
// a request made while an update is waiting is carried out by that update or by the one after it, so
// the last value is always shown.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>

namespace plat {

class FrameClock : public QObject {
public:
    static constexpr int kFrameMs = 16;

    // Window's thread. `update` runs on the window's thread; it is dropped with `parent`.
    FrameClock(std::function<void()> update, QObject* parent);
    ~FrameClock() override;

    // Any thread: one atomic exchange while an update is already waiting.
    void Request();

    // Any thread. True while any frame clock has an update waiting (tests wait for this to clear).
    static bool AnyWaiting();

private:
    void OnWake();

    std::function<void()> update_;
    std::atomic<bool> waiting_{false};
    QTimer frameTimer_;
    QElapsedTimer sinceUpdate_;
};

} // namespace plat
