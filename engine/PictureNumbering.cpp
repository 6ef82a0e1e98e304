#include "engine/PictureNumbering.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kPrefix = "pic_";
constexpr std::string_view kSuffix = ".jpg";

// N of "pic_N.jpg", or 0 when the name is anything else.
std::int64_t PictureNumberOf(std::string_view name)
{
    if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) || !name.ends_with(kSuffix))
        return 0;
    const std::string_view digits = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size())
        return 0;
    return number;
}

// Every N of "pic_N.jpg" in dir, ascending, each once ("pic_07.jpg" and "pic_7.jpg" alike).
std::vector<std::int64_t> PictureNumbersIn(const std::filesystem::path& dir)
{
    std::vector<std::int64_t> numbers;
    std::error_code error;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        if (const std::int64_t number = PictureNumberOf(it->path().filename().string()); number > 0)
            numbers.push_back(number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

}  // namespace

std::int64_t HighestPictureNumber(const std::filesystem::path& dir)
{
    const std::vector<std::int64_t> numbers = PictureNumbersIn(dir);
    return numbers.empty() ? 0 : numbers.back();
}

std::int64_t NextFreePictureNumber(const std::filesystem::path& dir, std::int64_t after)
{
    const std::vector<std::int64_t> taken = PictureNumbersIn(dir);
    // Above after: step past the taken numbers that follow on one another.
    std::int64_t candidate = std::max<std::int64_t>(after, 0);
    for (auto it = std::upper_bound(taken.begin(), taken.end(), candidate);
         candidate < std::numeric_limits<std::int64_t>::max(); ++it) {
        if (it == taken.end() || *it != candidate + 1)
            return candidate + 1;
        candidate = *it;
    }
    // Nothing free above: the first gap from 1 (there is one: the folder holds fewer files).
    std::int64_t lowest = 1;
    for (const std::int64_t number : taken) {
        if (number > lowest)
            break;
        lowest = number + 1;
    }
    return lowest;
}

std::string PictureFileName(std::int64_t number)
{
    return std::string(kPrefix) + std::to_string(number) + std::string(kSuffix);
}
