// Paint time of the hex view against the size of its block: the block grows by 16 KiB appends to
// 256 MiB, and at each size the view is painted at the end and in the middle. Ends with the paint
// time at 16 KiB over the one at 256 MiB: a large block should paint as fast as a small one.
#include "bench/hexview/ProcMemory.h"
#include "bench/support/BenchResult.h"
#include "platform/byteblock/ByteBlock.h"
#include "platform/hexview/HexView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kChunk = 16 * 1024;
constexpr int kPaints = 200;

void AppendUpTo(plat::ByteBlock& block, std::size_t target)
{
    static unsigned char chunk[kChunk];
    for (std::size_t i = 0; i < kChunk; ++i)
        chunk[i] = static_cast<unsigned char>(i * 13 + 5);
    std::size_t total = block.Size();
    while (total < target) {
        total += kChunk;
        while (block.Resize(total) == plat::BlockStatus::Held) {
        }
        unsigned char* p = block.Hold();
        std::memcpy(p + total - kChunk, chunk, kChunk);
        block.Release();
    }
}

// Median microseconds of one full repaint.
double MedianPaintMicros(plat::HexView& view)
{
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < kPaints; ++i) {
        timer.start();
        view.viewport()->repaint();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    std::nth_element(times.begin(), times.begin() + kPaints / 2, times.end());
    return times[kPaints / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    plat::ByteBlock block;
    plat::HexView view;
    view.resize(700, 500);
    view.SetBlock(&block);
    view.show();
    QApplication::processEvents();

    std::printf("hex view paint, %d visible rows, median of %d repaints\n", view.VisibleRowCount(), kPaints);
    std::printf("%12s %14s %14s %14s\n", "block", "end (us)", "middle (us)", "redraw+end (us)");
    double smallest = -1, largest = -1;
    for (std::size_t size : {std::size_t{16} << 10, std::size_t{1} << 20, std::size_t{16} << 20, std::size_t{64} << 20, std::size_t{256} << 20}) {
        AppendUpTo(block, size);

        QElapsedTimer request;
        request.start();
        view.RequestRedraw(true);
        QApplication::processEvents();
        view.viewport()->repaint();
        const double requestMicros = static_cast<double>(request.nsecsElapsed()) / 1000.0;

        const double atEnd = MedianPaintMicros(view);
        QScrollBar* bar = view.verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        const double inMiddle = MedianPaintMicros(view);
        std::printf("%9zu KiB %14.1f %14.1f %14.1f\n", size >> 10, atEnd, inMiddle, requestMicros);
        if (smallest < 0)
            smallest = std::max(atEnd, inMiddle);
        largest = std::max(atEnd, inMiddle);
    }
    std::printf("resident %.1f MiB, peak %.1f MiB\n", bench::ResidentBytes() / 1048576.0, bench::PeakResidentBytes() / 1048576.0);
    bench::PrintResult("hexview_paint", largest > 0 ? smallest / largest : -1, bench::AtLeast(0.8));
    return 0;
}
