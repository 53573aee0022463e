// Find in a pane of 1 GiB, as a person runs it (Find Next in a shown view, on its worker, until the
// hit is selected), next to glibc's memmem over the same bytes in the same run. The bytes are
// random and the one hit is at the very end, so both read the whole gibibyte.
//
// Prints the figures, then: RESULT find_1gib ratio=<memmem time / Find time> goal=<least ratio>
// pass=<yes|no>. It passes when Find is at least kGoal as fast as memmem and takes under 0.5 s.
#include "platform/hexview/HexFind.h"
#include "platform/hexview/HexFindDialog.h"
#include "platform/hexview/HexView.h"

#include <QApplication>
#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kSize = std::size_t{1} << 30;
constexpr double kGoal = 0.8;
constexpr double kMostSeconds = 0.5;
constexpr int kRuns = 5;
const unsigned char kPattern[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x0D, 0x0A};
// At the very start, for Find Previous from the end.
const unsigned char kFirstPattern[] = {0x0D, 0x0A, 0xDE, 0xAD, 0xBE, 0xEF};

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void FillRandom(unsigned char* bytes, std::size_t size)
{
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(bytes + i, &state, 8);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);

    plat::ByteBlock block;
    if (block.Resize(kSize) != plat::BlockStatus::Ok) {
        std::fprintf(stderr, "cannot have 1 GiB of memory\n");
        return 1;
    }
    unsigned char* bytes = block.Hold();
    FillRandom(bytes, kSize);
    const std::size_t at = kSize - sizeof kPattern;
    std::memcpy(bytes + at, kPattern, sizeof kPattern);
    std::memcpy(bytes, kFirstPattern, sizeof kFirstPattern);

    plat::HexView view;
    view.resize(800, 600);
    view.SetBlock(&block);
    view.show();
    plat::HexFind* find = view.Finder();
    find->OpenDialog();
    find->Dialog()->SetHex(true);
    find->Dialog()->SetWhat(QStringLiteral("de ad be ef 0d 0a"));
    QEventLoop loop;
    QObject::connect(find, &plat::HexFind::searchEnded, &loop, &QEventLoop::quit);

    std::vector<double> memmemTimes;
    std::vector<double> findTimes;
    std::vector<double> previousTimes;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        const void* hit = memmem(bytes, kSize, kPattern, sizeof kPattern);
        memmemTimes.push_back(Seconds(start));
        if (hit != bytes + at) {
            std::fprintf(stderr, "memmem found the pattern elsewhere\n");
            return 1;
        }

        view.SetCursorOffset(0, plat::HexArea::Hex);
        start = std::chrono::steady_clock::now();
        find->Find(plat::SearchDirection::Forward);
        loop.exec();
        findTimes.push_back(Seconds(start));
        if (view.SelectionStart() != at || view.SelectionEnd() != kSize) {
            std::fprintf(stderr, "Find selected %zu to %zu, not the hit at %zu\n", view.SelectionStart(), view.SelectionEnd(), at);
            return 1;
        }

        find->Dialog()->SetWhat(QStringLiteral("0d 0a de ad be ef"));
        view.SetCursorOffset(kSize, plat::HexArea::Hex);
        start = std::chrono::steady_clock::now();
        find->Find(plat::SearchDirection::Backward);
        loop.exec();
        previousTimes.push_back(Seconds(start));
        find->Dialog()->SetWhat(QStringLiteral("de ad be ef 0d 0a"));
        if (view.SelectionStart() != 0) {
            std::fprintf(stderr, "Find Previous selected %zu, not the hit at 0\n", view.SelectionStart());
            return 1;
        }
    }
    block.Release();

    const double memmemSeconds = Median(memmemTimes);
    const double findSeconds = Median(findTimes);
    const double ratio = memmemSeconds / findSeconds;
    const bool pass = ratio >= kGoal && findSeconds < kMostSeconds;
    std::printf("memmem over 1 GiB: %.3f s (median of %d)\n", memmemSeconds, kRuns);
    std::printf("Find Next over 1 GiB, shown view to selected hit: %.3f s (median of %d; goal under %.1f s)\n",
                findSeconds, kRuns, kMostSeconds);
    std::printf("Find Previous over 1 GiB, from the end to a hit at the start: %.3f s (median of %d)\n",
                Median(previousTimes), kRuns);
    std::printf("RESULT find_1gib ratio=%.2f goal=%.2f pass=%s\n", ratio, kGoal, pass ? "yes" : "no");
    return 0;
}
