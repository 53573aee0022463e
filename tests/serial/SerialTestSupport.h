#pragma once
// Real peers for the serial tests: pseudo-terminal pairs, socat null-modem pairs, a receive sink
// that records what it was handed, and small probes of the process.

#include "core/ReceiveSink.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// An openpty() pair: the test talks through the master, the port opens the slave by path.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    int Master() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }
    void CloseMaster();
    // Writes everything to the master, blocking as needed.
    void WriteMaster(const void* data, size_t size);
    // Reads up to size bytes from the master, waiting at most timeoutMs for the first.
    std::string ReadMaster(size_t size, int timeoutMs);

private:
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the slave alive until the port opens it
    std::string m_slavePath;
};

// A socat null-modem pair: bytes written to one end arrive at the other.
class SocatPair {
public:
    SocatPair();
    ~SocatPair();
    const std::string& EndA() const { return m_a; }
    const std::string& EndB() const { return m_b; }
    // Ends socat, as an unplugged adapter ends: both ends hang up and their links go.
    void Kill();

private:
    std::string m_dir, m_a, m_b;
    pid_t m_pid = -1;
};

// Records every hand-off: the bytes, each block's size and the thread that made it.
class RecordingSink : public CReceiveSink {
public:
    // Waits until at least count bytes arrived (generous time-out); true when they did.
    bool WaitForBytes(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(60));
    std::vector<unsigned char> Bytes();
    std::vector<int> BlockSizes();
    std::vector<std::thread::id> Threads();

protected:
    void AppendReceivedData(const unsigned char* data, int size) override;
    virtual void OnAppend(const unsigned char*, int) {}

private:
    std::mutex m_stateLock;
    std::condition_variable m_grown;
    std::vector<unsigned char> m_bytes;
    std::vector<int> m_blocks;
    std::vector<std::thread::id> m_threads;
};

// A folder under /tmp, removed with its contents at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Sets an environment variable for the length of a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string m_name;
    bool m_had = false;
    std::string m_old;
};

int ThreadCount();
double ProcessCpuSeconds();
std::vector<unsigned char> PatternBytes(size_t size, unsigned seed);
