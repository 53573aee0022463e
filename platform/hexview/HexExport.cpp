#include "platform/hexview/HexExport.h"

#include "platform/hexview/HexFormat.h"
#include "platform/hexview/HexRowFormat.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plat {
namespace {

constexpr std::size_t kSlice = std::size_t{1} << 20;
constexpr std::size_t kRow = hexformat::kBytesPerRow;

int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int WriteRows(int fd, ByteBlock& block, const TextExport& how)
{
    // Offsets count from the start of the capture. Bytes the block drops from its front while the
    // export runs are missing from the text, and the offsets show where.
    const std::uint64_t first = block.FrontDropped();
    const std::uint64_t last = first + how.end;
    const int digits = hexformat::OffsetDigits(last);
    const std::size_t lineLength = static_cast<std::size_t>(hexformat::RowTextLength(digits)) + 1;
    std::vector<unsigned char> bytes(kSlice);
    std::string text;
    for (std::uint64_t pos = first; pos < last;) {
        if (how.cancel && how.cancel->load(std::memory_order_relaxed))
            return ECANCELED;
        std::uint64_t at = pos;
        const std::size_t got = block.ReadCounted(pos, bytes.data(), static_cast<std::size_t>(std::min<std::uint64_t>(kSlice, last - pos)), at);
        if (got == 0 || at >= last)
            break; // cleared or cut meanwhile: the dump ends where the bytes do
        text.clear();
        text.reserve(got / kRow * lineLength + lineLength);
        for (std::size_t row = 0; row < got; row += kRow) {
            const auto count = static_cast<int>(std::min(kRow, got - row));
            if (how.linesBeforeRow)
                how.linesBeforeRow(at + row, at + row + static_cast<std::size_t>(count), text);
            const std::size_t put = text.size();
            text.resize(put + lineLength);
            hexformat::WriteRowText(text.data() + put, at + row, digits, bytes.data() + row, count);
            text.back() = '\n';
        }
        if (int err = WriteAll(fd, text.data(), text.size()))
            return err;
        pos = at + got;
        if (how.bytesDone)
            how.bytesDone->store(pos - first, std::memory_order_relaxed);
        if (got < kSlice && pos < last)
            break; // cut short meanwhile
    }
    return 0;
}

} // namespace

int ExportBlockAsText(ByteBlock& block, const std::string& path, const TextExport& how)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    int err = WriteRows(fd, block, how);
    if (::close(fd) != 0 && err == 0)
        err = errno == EINTR ? 0 : errno;
    if (err != 0 && regular)
        ::unlink(path.c_str());
    return err;
}

} // namespace plat
