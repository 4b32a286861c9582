#pragma once

// Order statistics for the benchmarks' samples.
#include <algorithm>
#include <cmath>
#include <vector>

namespace benchstats {

// NaN for no samples.
inline double median(std::vector<double> v)
{
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Nearest-rank percentile, p in (0, 1]; NaN for no samples.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    const size_t i = size_t(std::max(1.0, std::ceil(p * double(v.size())))) - 1;
    return v[std::min(v.size() - 1, i)];
}

} // namespace benchstats
