#pragma once
// The line every benchmark ends with, which tools/bench.sh gathers into one table:
//   RESULT <name> ratio=<x> goal=<>=y|<=y> pass=<yes|no>
// The ratio is always this program's figure over its reference measured in the same run (or over a
// fixed limit, such as 20 ms for a lateness), so that figures from a busy machine stay comparable.
// Called from the benchmark's main thread.

#include <cstdio>

namespace bench {

struct Goal {
    bool atLeast;
    double value;
};
inline Goal AtLeast(double value) { return {true, value}; }
inline Goal AtMost(double value) { return {false, value}; }

// A ratio that could not be measured (a reference that failed) never passes.
inline bool PrintResult(const char* name, double ratio, Goal goal)
{
    const bool measured = ratio == ratio && ratio >= 0;
    const bool pass = measured && (goal.atLeast ? ratio >= goal.value : ratio <= goal.value);
    std::printf("RESULT %s ratio=%.3f goal=%s%.2f pass=%s\n", name, measured ? ratio : -1.0,
                goal.atLeast ? ">=" : "<=", goal.value, pass ? "yes" : "no");
    std::fflush(stdout);
    return pass;
}

} // namespace bench
