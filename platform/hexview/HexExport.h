#pragma once
// Writes a byte block as readable text, one line per row of the view: offset, hex and characters
// (HexRowFormat). Runs on a worker (any thread): the block is read in slices through its own lock,
// so a receiver appending meanwhile is never held up, and the export ends at the bound it was given.

#include "platform/byteblock/ByteBlock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace plat {

// Lines that go before a row, such as the time at which a burst of bytes began inside it. Called
// for every row with its first and one-past-last offset; appends whole lines, each ending in '\n'.
// Offsets count from the start of the capture: a block that dropped bytes from its front (FrontDropped)
// shows its first byte at that offset.
using ExportLinesBeforeRow = std::function<void(std::uint64_t rowStart, std::uint64_t rowEnd, std::string& out)>;

struct TextExport {
    std::size_t end = 0;                          // bytes [0, end) are written
    const std::atomic<bool>* cancel = nullptr;    // looked at between slices
    std::atomic<std::uint64_t>* bytesDone = nullptr; // how far it got, for a progress bar
    ExportLinesBeforeRow linesBeforeRow;          // may be empty
};

// Writes the rows into the file at `path` (ExportFile: a regular file is replaced only by a whole
// export). 0 on success, else the errno of the failure (a write that stores less than asked counts
// as ENOSPC), ECANCELED when cancelled, ENXIO for a pipe nobody reads, EWOULDBLOCK for a file that
// is being saved or recorded.
int ExportBlockAsText(ByteBlock& block, const std::string& path, const TextExport& how);

} // namespace plat
