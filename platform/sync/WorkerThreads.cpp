#include "platform/sync/WorkerThreads.h"

#include <algorithm>

void WorkerThreads::JoinEndedLocked()
{
    // A thread listed as ended has returned from its work; joining it waits only for its exit.
    for (auto it = m_setAside.begin(); it != m_setAside.end();) {
        auto ended = std::find(m_ended.begin(), m_ended.end(), it->get_id());
        if (ended == m_ended.end()) {
            ++it;
            continue;
        }
        m_ended.erase(ended);
        it->join();
        it = m_setAside.erase(it);
    }
}

void WorkerThreads::JoinSetAside()
{
    for (;;) {
        std::thread worker;
        {
            std::lock_guard guard(m_lock);
            if (m_setAside.empty())
                return;
            worker = std::move(m_setAside.back());
            m_setAside.pop_back();
        }
        // Joined without the lock: the worker takes it once more as it ends. Its id may be given to
        // a new thread once it is joined, so it leaves the ended list only now.
        const auto id = worker.get_id();
        worker.join();
        std::lock_guard guard(m_lock);
        m_ended.erase(std::remove(m_ended.begin(), m_ended.end(), id), m_ended.end());
    }
}

std::size_t WorkerThreads::SetAsideCount()
{
    std::lock_guard guard(m_lock);
    return m_setAside.size();
}
