#pragma once
// Median and minimum of repeated timings.
#include <algorithm>
#include <vector>

namespace vornex::bench {

struct Summary {
    double median = 0;
    double min = 0;
    double max = 0;
};

inline Summary Summarize(std::vector<double> samples) {
    Summary s;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    s.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    s.min = samples.front();
    s.max = samples.back();
    return s;
}

}  // namespace vornex::bench
