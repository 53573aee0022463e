#include "panes/models/RecentSends.h"

#include <algorithm>
#include <cstring>

void RecentSends::Add(const unsigned char* data, std::size_t size)
{
    const auto same = std::find_if(entries_.begin(), entries_.end(), [&](const std::vector<unsigned char>& entry) {
        return entry.size() == size && (size == 0 || std::memcmp(entry.data(), data, size) == 0);
    });
    if (same != entries_.end()) {
        std::rotate(entries_.begin(), same, same + 1);
        return;
    }
    if (size > kMaxBytes)
        return;
    // Room first, so that the old entries and the copy are never all in memory beyond the bound.
    while (!entries_.empty() && (entries_.size() == kMaxEntries || totalBytes_ + size > kMaxBytes)) {
        totalBytes_ -= entries_.back().size();
        entries_.pop_back();
    }
    entries_.emplace_front(data, data + size);
    totalBytes_ += size;
}

std::string RecentSends::Caption(const std::vector<unsigned char>& bytes)
{
    std::string caption = std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte  \"" : " bytes  \"");
    const std::size_t textBytes = std::min(bytes.size(), kCaptionTextBytes);
    for (std::size_t i = 0; i < textBytes; ++i)
        caption += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
    caption += bytes.size() > textBytes ? "...\" " : "\" ";
    static const char digits[] = "0123456789ABCDEF";
    const std::size_t hexBytes = std::min(bytes.size(), kCaptionHexBytes);
    for (std::size_t i = 0; i < hexBytes; ++i) {
        caption += ' ';
        caption += digits[bytes[i] >> 4];
        caption += digits[bytes[i] & 0xF];
    }
    if (bytes.size() > hexBytes)
        caption += " ...";
    return caption;
}
