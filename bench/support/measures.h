// What several benchmarks measure alike: a clock's processor seconds (the calling thread's, the
// process's or another thread's) and the median of their rounds.
#pragma once

#include <algorithm>
#include <ctime>
#include <vector>

namespace benchsupport {

inline double CpuSeconds(clockid_t clock = CLOCK_THREAD_CPUTIME_ID)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace benchsupport
