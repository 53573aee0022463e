#pragma once
// A TCP client that tries again when its server is not there or goes away: the pauses between its
// tries and what the window shows of them. No Qt.

#include <chrono>
#include <string>

// What the window shows of the tries. Called from the connect worker without a lock held; it only
// queues its work for the window's thread.
class ReconnectView {
public:
    virtual ~ReconnectView() = default;
    // One line for the State field's tooltip: "Next try in 4 s" while a pause runs, empty once the
    // client is connected or has stopped trying.
    virtual void ShowNextTry(const std::string& line) = 0;
};

// The pauses between tries: 0.5 s, then 1, 2, 4 ... and never more than 30 s. Used by one worker.
class ReconnectBackoff {
public:
    static constexpr std::chrono::milliseconds kFirst{500};
    static constexpr std::chrono::milliseconds kLongest{30000};

    // The pause before the next try; each call doubles the one after it.
    std::chrono::milliseconds Next();
    // After a connection: the next failure starts again from the first pause.
    void Reset() { m_next = kFirst; }

    // "Next try in 0.5 s", "Next try in 4 s".
    static std::string NextTryText(std::chrono::milliseconds pause);

private:
    std::chrono::milliseconds m_next = kFirst;
};
