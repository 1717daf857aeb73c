// Integer pixel arithmetic of the chart. Every float-to-pixel conversion rounds half to even, and
// every percentage of a pixel size multiplies first and divides afterwards, so layouts do not drift
// by a pixel between sizes.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace chart {

// Nearest integer, halves to the even neighbour; NaN gives 0, out-of-range values saturate.
// Inside the int range it truncates and looks at the remainder, which is exact there, so it needs
// neither floor nor fmod: it runs three times for every bar of a chart.
inline int RoundHalfEven(double value)
{
    if (value > static_cast<double>(std::numeric_limits<int>::min()) &&
        value < static_cast<double>(std::numeric_limits<int>::max())) {
        const int whole = static_cast<int>(value);
        const double fraction = value - whole;
        const bool odd = (whole & 1) != 0;
        if (fraction > 0.5 || (fraction == 0.5 && odd))
            return whole + 1;
        if (fraction < -0.5 || (fraction == -0.5 && odd))
            return whole - 1;
        return whole;
    }
    if (std::isnan(value))
        return 0;
    return value > 0 ? std::numeric_limits<int>::max() : std::numeric_limits<int>::min();
}

// a * b / c in 64 bits, rounded to the nearest integer (halves away from zero). A zero divisor
// gives 0 rather than a fault: the callers use it for sizes that may collapse to nothing.
inline int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return 0;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    std::int64_t quotient = product / c;
    const std::int64_t remainder = product % c;
    const std::int64_t absRemainder = remainder < 0 ? -remainder : remainder;
    const std::int64_t absDivisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
    if (2 * absRemainder >= absDivisor)
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    if (quotient > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (quotient < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(quotient);
}

} // namespace chart
