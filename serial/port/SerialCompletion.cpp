#include "serial/port/SerialCompletion.h"

#include "serial/port/Deadline.h"
#include "serial/port/SerialEvents.h"
#include "serial/port/SerialSession.h"

#include <cerrno>
#include <poll.h>

CSerialCompletion::~CSerialCompletion()
{
    if (m_session)
        m_session->CancelWait(this);
}

int CSerialCompletion::Wait(plat::Event* first, int timeoutMs)
{
    const CDeadline deadline(timeoutMs < 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(timeoutMs));
    bool watchDevice = true;
    // One poll both looks at the events and sleeps: a flood wakes this wait thousands of times a
    // second, and looking must not cost a call per event.
    int left = deadline.RemainingMs();
    for (;;) {
        pollfd fds[4] = {{first != nullptr ? first->Descriptor() : -1, POLLIN, 0},
                         {m_event.Descriptor(), POLLIN, 0},
                         {-1, 0, 0},
                         {-1, 0, 0}};
        // The device is watched only while this record's event wait is pending on an opening
        // that is not closed; Close completes the wait, which wakes us through the event.
        const std::shared_ptr<CSerialSession> session = m_session;
        const bool entered = watchDevice && session && session->Enter();
        std::uint32_t mask = 0;
        if (entered) {
            mask = session->EventMask();
            fds[2] = {session->CancelDescriptor(), POLLIN, 0};
            // Hang-ups and errors are reported whatever is asked for.
            fds[3] = {session->Descriptor(), static_cast<short>((mask & EV_RXCHAR) ? POLLIN : 0), 0};
        }
        const int rc = ::poll(fds, 4, left);
        bool completedNow = false;
        if (entered) {
            if (rc > 0 && fds[3].revents != 0) {
                const std::uint32_t events = session->SenseEvents(fds[3].revents);
                // Nothing pending on this record any more: stop watching, or a readable device
                // would wake us again and again.
                if ((events & mask) != 0 || session->HungUp()) {
                    completedNow = session->CompleteWait(this, events);
                    watchDevice = completedNow;
                }
            }
            session->Leave();
        }
        if (rc < 0 && errno != EINTR)
            return -1;
        // `first` wins when both are signalled.
        if (rc > 0 && fds[0].revents != 0 && first->TryTake())
            return 0;
        if (completedNow || (rc > 0 && fds[1].revents != 0))
            return 1;
        left = deadline.RemainingMs();
        if (left == 0)
            return -1;
    }
}
