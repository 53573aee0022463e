#pragma once
// Worker threads of one owner. A member that names a worker may be given a new worker while the old
// one is still ending (a Start right after a Stop, a Send that replaces a running send): the old
// thread is set aside and joined once it has ended, or when the owner goes. Nobody waits for a
// worker that is still running, except the owner's final join.

#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class WorkerThreads {
public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Starts `work` on a new thread named by `member`; any thread the member named before is set
    // aside. Safe to call from any thread for members that only it launches into. Throws
    // std::system_error when no thread can be made; `member` then names none.
    template <class Work> void Launch(std::thread& member, Work&& work)
    {
        std::lock_guard guard(m_lock);
        if (member.joinable())
            m_setAside.push_back(std::move(member));
        JoinEndedLocked();
        member = std::thread([this, work = std::forward<Work>(work)]() mutable {
            work();
            std::lock_guard ended(m_lock);
            m_ended.push_back(std::this_thread::get_id());
        });
    }

    // Joins every thread set aside so far, also those set aside while it runs. Used when the owner
    // goes, after every worker has been woken.
    void JoinSetAside();
    // Threads set aside and not yet joined (for tests).
    std::size_t SetAsideCount();

private:
    void JoinEndedLocked();

    std::mutex m_lock;
    std::vector<std::thread> m_setAside;
    std::vector<std::thread::id> m_ended;   // threads whose work returned and that only exit now
};
