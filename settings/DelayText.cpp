#include "settings/DelayText.h"

#include "settings/SettingsStore.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>

std::string FormatDelay(float seconds)
{
    // printf's "%.1f" of the float widened to double, without printf's locale.
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<double>(seconds), std::chars_format::fixed, 1);
    return std::string(text, end.ptr);
}

float ParseDelay(const std::string& text)
{
    // atof's reading without atof's locale. from_chars takes neither a '+' nor a "0x" prefix, and
    // takes a '-' that atof would not take after a sign.
    const char* begin = text.c_str() + std::min(text.find_first_not_of(" \t\n\v\f\r"), text.size());
    const char* const end = text.c_str() + text.size();
    const bool negative = *begin == '-';
    if (*begin == '+' || *begin == '-')
        ++begin;
    auto format = std::chars_format::general;
    bool read = false;   // a number began the text
    if (begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X')
        && (std::isxdigit(static_cast<unsigned char>(begin[2])) || begin[2] == '.')) {
        format = std::chars_format::hex;
        begin += 2;
        read = true;   // "0x." still reads as 0
    }
    double value = 0;
    if (*begin != '-') {
        const auto [last, error] = std::from_chars(begin, end, value, format);
        read = read || error != std::errc::invalid_argument;
        if (error == std::errc::result_out_of_range) {
            // Beyond double: atof gives infinity for a huge number and 0 for a tiny one.
            const std::string_view number(begin, last - begin);
            const size_t exponent = number.find_first_of(format == std::chars_format::hex ? "pP" : "eE");
            value = exponent != std::string_view::npos && number[exponent + 1] == '-' ? 0.0 : HUGE_VAL;
        }
    }
    return read ? static_cast<float>(negative ? -value : value) : 0.0f;
}

float StepDelay(float delay, int delta, float minimum)
{
    const float step = 0.1f;
    float result = delta > 0 ? delay - step : delay + step;
    if (result < minimum)
        result = minimum;
    return result;
}

namespace {

// True when atof would begin reading a number here: after blanks and one sign, a digit, or a point
// before one. ParseDelay answers 0 for a text that begins with none, which is no delay the user set.
bool BeginsWithNumber(const std::string& text)
{
    size_t at = text.find_first_not_of(" \t\n\v\f\r");
    if (at == std::string::npos)
        return false;
    if (text[at] == '+' || text[at] == '-')
        ++at;
    if (at < text.size() && text[at] == '.')
        ++at;
    return at < text.size() && text[at] >= '0' && text[at] <= '9';
}

}  // namespace

float DefaultDelay(int settingId)
{
    return settingId == SETTING_DELAY_BETWEEN_SENDS ? 2.0f : 10.0f;
}

float ReadStoredDelay(int settingId, std::vector<std::string>& problems)
{
    const float defaultValue = DefaultDelay(settingId);
    std::string text;
    if (!ReadSetting(settingId, text))
        return defaultValue;
    const float value = ParseDelay(text);
    if (BeginsWithNumber(text) && std::isfinite(value) && !std::signbit(value))
        return value;
    problems.push_back(std::string(SettingName(settingId)) + " \"" + text + "\" is not a valid delay: "
                       + FormatDelay(defaultValue) + " used");
    return defaultValue;
}
