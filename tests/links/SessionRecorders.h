#pragma once
// What a link session or a send engine shows, recorded for tests without a window: every text in
// order, the buttons' last state, and the message boxes (which return at once, as if dismissed).

#include "links/LinkSession.h"
#include "tests/support/WaitFor.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

class RecordingLinkView : public LinkView {
public:
    void ShowLinkState(const std::string& text) override { Push(m_states, text); }
    void ShowLinkButtons(std::uint64_t, bool startEnabled) override
    {
        std::lock_guard guard(m_lock);
        m_startEnabled = startEnabled;
    }
    void ShowLinkMessage(const std::string& text) override { Push(m_messages, text); }
    void ShowLocalPort(std::uint16_t port) override
    {
        std::lock_guard guard(m_lock);
        m_localPort = port;
    }

    void ShowDatagramsLost(std::uint64_t, std::uint64_t count) override
    {
        std::lock_guard guard(m_lock);
        m_lost = static_cast<std::int64_t>(count);
    }

    std::vector<std::string> States() { return Copy(m_states); }
    // -1 until the endpoint told a count.
    std::int64_t DatagramsLost()
    {
        std::lock_guard guard(m_lock);
        return m_lost;
    }
    std::vector<std::string> Messages() { return Copy(m_messages); }
    std::string LastState()
    {
        std::lock_guard guard(m_lock);
        return m_states.empty() ? std::string() : m_states.back();
    }
    bool WaitState(const std::string& text)
    {
        return testwait::WaitUntil([&] { return LastState() == text; });
    }
    bool WaitMessage(const std::string& text)
    {
        return testwait::WaitUntil([&] {
            std::lock_guard guard(m_lock);
            return std::find(m_messages.begin(), m_messages.end(), text) != m_messages.end();
        });
    }
    std::uint16_t LocalPort()
    {
        std::lock_guard guard(m_lock);
        return m_localPort;
    }
    bool StartEnabled()
    {
        std::lock_guard guard(m_lock);
        return m_startEnabled;
    }
    void ForgetStates()
    {
        std::lock_guard guard(m_lock);
        m_states.clear();
        m_localPort = 0;
    }

private:
    void Push(std::vector<std::string>& list, const std::string& text)
    {
        std::lock_guard guard(m_lock);
        list.push_back(text);
    }
    std::vector<std::string> Copy(const std::vector<std::string>& list)
    {
        std::lock_guard guard(m_lock);
        return list;
    }

    std::mutex m_lock;
    std::vector<std::string> m_states;
    std::vector<std::string> m_messages;
    bool m_startEnabled = true;
    std::uint16_t m_localPort = 0;
    std::int64_t m_lost = -1;
};

// Keeps every byte delivered, in order.
class KeepingSink : public CReceiveSink {
public:
    std::vector<unsigned char> Bytes()
    {
        std::lock_guard guard(ReceivedLock());
        return m_bytes;
    }
    std::size_t Count()
    {
        std::lock_guard guard(ReceivedLock());
        return m_bytes.size();
    }
    std::vector<int> BlockSizes()
    {
        std::lock_guard guard(ReceivedLock());
        return m_blocks;
    }

protected:
    void AppendReceivedData(const unsigned char* data, int size) override
    {
        m_bytes.insert(m_bytes.end(), data, data + size);
        m_blocks.push_back(size);
    }

private:
    std::vector<unsigned char> m_bytes;
    std::vector<int> m_blocks;
};
