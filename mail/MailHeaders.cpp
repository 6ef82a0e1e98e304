#include "mail/MailHeaders.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

std::string_view SenderDomain(std::string_view address)
{
    const size_t at = address.rfind('@');
    if (at == std::string_view::npos)
        return {};
    std::string_view domain = address.substr(at + 1);
    while (!domain.empty() && (domain.back() == '>' || domain.back() == ' '))
        domain.remove_suffix(1);
    const bool usable = !domain.empty() && std::all_of(domain.begin(), domain.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
    });
    return usable ? domain : std::string_view();
}

}  // namespace

std::string MailDateHeader(std::time_t when)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    localtime_r(&when, &local);
    const long offsetMinutes = local.tm_gmtoff / 60;
    char text[64];
    std::snprintf(text, sizeof text, "Date: %s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+',
                  std::labs(offsetMinutes) / 60, std::labs(offsetMinutes) % 60);
    return text;
}

std::string MessageIdHeader(std::string_view fromAddress)
{
    std::random_device source;
    std::mt19937_64 generator((static_cast<uint64_t>(source()) << 32) ^ source());
    const std::string_view domain = SenderDomain(fromAddress);
    char unique[40];
    std::snprintf(unique, sizeof unique, "%016llx.%lld", static_cast<unsigned long long>(generator()),
                  static_cast<long long>(std::time(nullptr)));
    return "Message-ID: <" + std::string(unique) + ".sentivo@"
        + (domain.empty() ? std::string("sentivo.invalid") : std::string(domain)) + ">";
}
