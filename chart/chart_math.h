// Integer pixel arithmetic of the chart. Every float-to-pixel conversion rounds half to even, and
// every percentage of a pixel size multiplies first and divides afterwards, so layouts do not drift
// by a pixel between sizes.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace chart {

// Nearest integer, halves to the even neighbour; NaN gives 0, out-of-range values saturate.
inline int RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    const double floorValue = std::floor(value);
    const double fraction = value - floorValue;
    double rounded = floorValue;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floorValue, 2.0) != 0.0))
        rounded = floorValue + 1.0;
    if (rounded >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
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
