#pragma once
// A null-modem cable made of two pseudo-terminals that socat relays between, and `cat` reading one
// end of such a pair: the yardstick for serial receive. No Qt. Called from one benchmark thread.

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

class SocatPtyPair {
public:
    SocatPtyPair();     // waits until both links exist
    ~SocatPtyPair();
    // Ends socat: the ends go away, so a writer blocked on end a gets an error and returns.
    void Stop();
    SocatPtyPair(const SocatPtyPair&) = delete;
    SocatPtyPair& operator=(const SocatPtyPair&) = delete;
    std::string a, b;

private:
    std::string m_dir;
    int m_pid = -1;
};

// Opens a terminal read-write in raw mode; -1 on failure.
int OpenRaw(const std::string& path);
// Writes `total` bytes, repeating `data`.
void WriteAll(int fd, const std::vector<unsigned char>& data, std::size_t total);
// Bytes that the serial benchmarks write.
std::vector<unsigned char> SerialPattern();

struct Throughput {
    double mbPerSecond = 0;   // 0 on failure
    double cpuSeconds = 0;    // CPU of the reader alone (not the writer, not socat)
};
// `cat` reading end b of a fresh pair while a thread writes `total` bytes into end a; the time runs
// until every byte has come out of cat.
Throughput CatThroughSocat(std::size_t total);

} // namespace bench
