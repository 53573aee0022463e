#include "platform/sync/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using plat::Event;
using namespace std::chrono_literals;

TEST(EventTest, AutoResetWakesOneWaiterPerSignal)
{
    Event event;
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0)) << "an auto-reset event is consumed by the wait that saw it";

    // Three waiters, one signal: exactly one of them gets it.
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] { woken += event.Wait(300) ? 1 : 0; });
    std::this_thread::sleep_for(50ms);
    event.Set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woken.load(), 1);
}

TEST(EventTest, ManualResetStaysSignalledUntilReset)
{
    Event event(Event::Kind::ManualReset);
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(EventTest, WaitAnyGivesTheFirstPriorityAndTimesOut)
{
    Event first, second;
    EXPECT_EQ(plat::WaitAny(first, second, 20), -1);
    first.Set();
    second.Set();
    EXPECT_EQ(plat::WaitAny(first, second, 0), 0);
    EXPECT_EQ(plat::WaitAny(first, second, 0), 1);
    EXPECT_EQ(plat::WaitAny(first, second, 0), -1);
}

TEST(EventTest, ASignalFromAnotherThreadEndsAnEndlessWait)
{
    Event quit;
    Event never;
    std::thread setter([&] {
        std::this_thread::sleep_for(30ms);
        quit.Set();
    });
    EXPECT_EQ(plat::WaitAny(never, quit), 1);
    setter.join();
}
