#pragma once
// The blocks sent lately from the Sending pane, newest first, so that one sent a while ago can be put
// back in the pane. One entry per Send (a periodic send counts once); sending the same bytes again
// moves their entry to the front. At most kMaxEntries entries of kMaxBytes in all: the oldest go
// first, and a block larger than kMaxBytes is not kept. Kept for the run only.
//
// Threads: the window's thread only.

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

class RecentSends {
public:
    static constexpr std::size_t kMaxEntries = 20;
    static constexpr std::size_t kMaxBytes = std::size_t{64} << 20;
    // Bytes shown in an entry's caption, as text and as hex.
    static constexpr std::size_t kCaptionTextBytes = 16;
    static constexpr std::size_t kCaptionHexBytes = 8;

    // Copies the bytes, unless the same bytes are kept already.
    void Add(const unsigned char* data, std::size_t size);

    std::size_t Count() const { return entries_.size(); }
    // 0 is the newest.
    const std::vector<unsigned char>& At(std::size_t index) const { return entries_[index]; }
    std::size_t TotalBytes() const { return totalBytes_; }

    // What the menu shows for an entry: its size and its first bytes as text and as hex,
    // e.g. 4 bytes  "AT.."  41 54 0D 0A.
    static std::string Caption(const std::vector<unsigned char>& bytes);

private:
    std::deque<std::vector<unsigned char>> entries_;
    std::size_t totalBytes_ = 0;
};
