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
    const int digits = hexformat::OffsetDigits(how.end);
    const std::size_t lineLength = static_cast<std::size_t>(hexformat::RowTextLength(digits)) + 1;
    std::vector<unsigned char> bytes(kSlice);
    std::string text;
    for (std::size_t pos = 0; pos < how.end; pos += kSlice) {
        if (how.cancel && how.cancel->load(std::memory_order_relaxed))
            return ECANCELED;
        const std::size_t got = block.Read(pos, bytes.data(), std::min(kSlice, how.end - pos));
        if (got == 0)
            break; // cleared meanwhile: the dump ends where the bytes do
        text.clear();
        text.reserve(got / kRow * lineLength + lineLength);
        for (std::size_t row = 0; row < got; row += kRow) {
            const auto count = static_cast<int>(std::min(kRow, got - row));
            if (how.linesBeforeRow)
                how.linesBeforeRow(pos + row, pos + row + static_cast<std::size_t>(count), text);
            const std::size_t at = text.size();
            text.resize(at + lineLength);
            hexformat::WriteRowText(text.data() + at, pos + row, digits, bytes.data() + row, count);
            text.back() = '\n';
        }
        if (int err = WriteAll(fd, text.data(), text.size()))
            return err;
        if (how.bytesDone)
            how.bytesDone->store(pos + got, std::memory_order_relaxed);
        if (got < kSlice && pos + got < how.end)
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
