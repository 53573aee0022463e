#include "platform/hexview/HexExport.h"

#include "platform/hexview/ExportFile.h"
#include "platform/hexview/HexFormat.h"
#include "platform/hexview/HexRowFormat.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace plat {
namespace {

constexpr std::size_t kSlice = std::size_t{1} << 20;
constexpr std::size_t kRow = hexformat::kBytesPerRow;

int WriteRows(ExportFile& file, ByteBlock& block, const TextExport& how)
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
        if (int err = file.Write(text.data(), text.size()))
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
    ExportFile file;
    if (int err = file.Open(path, how.cancel))
        return err;
    if (int err = WriteRows(file, block, how))
        return err; // the file discards what it took
    return file.Commit();
}

} // namespace plat
