#pragma once
// What the channel benchmarks share: milliseconds from a duration, a line of figures (median,
// 90th percentile, slowest) and the picture they hand over.

#include "mail/Outbox.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline void Print(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %7.2f ms   90%% %7.2f ms   max %7.2f ms   (%zu)\n", what, ms[ms.size() / 2],
                ms[ms.size() * 9 / 10], ms.back(), ms.size());
}

// A picture entry for channel alone, about 60 KB as a webcam's JPEG is.
inline OutboxEntry BenchPicture(std::int64_t number, const char* channel)
{
    OutboxEntry entry;
    entry.pictureNumber = entry.event = number;
    entry.takenAt = "2026-12-07 03:12:01";
    entry.pictureBytes = "\xFF\xD8\xFF" + std::string(60000, 'x') + "\xFF\xD9";
    entry.channels = {channel};
    return entry;
}
