#include "engine/PictureNumbering.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

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

}  // namespace

std::int64_t HighestPictureNumber(const std::filesystem::path& dir)
{
    std::int64_t highest = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        highest = std::max(highest, PictureNumberOf(it->path().filename().string()));
    return highest;
}

std::string PictureFileName(std::int64_t number)
{
    return std::string(kPrefix) + std::to_string(number) + std::string(kSuffix);
}

std::string SavePicture(const std::string& fileName, const std::string& jpegBytes)
{
    // "x": created here or not at all, so evidence another program put there is never replaced.
    std::FILE* file = std::fopen(fileName.c_str(), "wbx");
    if (!file)
        return std::strerror(errno);
    const bool written = std::fwrite(jpegBytes.data(), 1, jpegBytes.size(), file) == jpegBytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written)
        return std::strerror(written ? errno : writeError);
    return {};
}
