#pragma once
// Progress bars count whole milliseconds: seconds × 1000, truncated toward zero. Widened to double
// before the product, so the count is exact for every float delay; below zero (or not a number)
// is 0, and a delay too long for an int is capped rather than wrapped.

#include <climits>
#include <cmath>

inline int ToMilliseconds(double seconds)
{
    const double milliseconds = std::trunc(seconds * 1000.0);
    if (!(milliseconds > 0.0))
        return 0;
    if (milliseconds >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(milliseconds);
}
