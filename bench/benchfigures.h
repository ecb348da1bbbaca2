#pragma once

// Figures that the latency benchmarks share.

#include <algorithm>
#include <ctime>
#include <vector>

/// The p-th percentile (0 to 100) of the values, nearest rank.
inline double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t index =
        std::min(values.size() - 1, size_t(p / 100.0 * double(values.size() - 1) + 0.5));
    return values[index];
}

/// The CPU time this process has used so far, in seconds.
inline double cpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}
