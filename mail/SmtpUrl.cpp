#include "mail/SmtpUrl.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

constexpr long kSmtpPort = 25;
constexpr long kSmtpsPort = 465;

// Blanks typed around the name are dropped; any other control character is refused later.
std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// ASCII only, whatever locale the program runs in.
bool IsLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char wanted, char c) { return std::tolower(static_cast<unsigned char>(c)) == wanted; });
}

std::optional<long> Port(std::string_view digits)
{
    long port = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (error != std::errc() || end != digits.data() + digits.size() || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// Host names and IPv4 addresses, no label between the dots empty; "[...]" holds an IPv6 address.
// Anything that would let the text reach into another part of the URL (user, path, query) is refused.
bool ValidHost(std::string_view host)
{
    if (host.empty())
        return false;
    if (host.front() == '[')
        return host.size() > 2 && host.back() == ']'
            && std::all_of(host.begin() + 1, host.end() - 1,
                           [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; });
    if (host.front() == '.' || host.back() == '.' || host.find("..") != std::string_view::npos)
        return false;
    return std::all_of(host.begin(), host.end(), [](char c) { return IsLetterOrDigit(c) || c == '.' || c == '-' || c == '_'; });
}

}  // namespace

std::optional<std::string> SmtpUrl(std::string_view serverText, long port, bool implicitTls)
{
    std::string_view rest = Trimmed(serverText);
    std::string scheme = implicitTls ? "smtps" : "smtp";
    if (StartsWithNoCase(rest, "smtps://")) {
        scheme = "smtps";
        rest.remove_prefix(8);
    } else if (StartsWithNoCase(rest, "smtp://")) {
        rest.remove_prefix(7);
    }
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);

    std::string_view host = rest;
    const size_t bracket = rest.rfind(']');
    const size_t colon = rest.rfind(':');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        if (bracket == std::string_view::npos && rest.find(':') != colon)
            return std::nullopt;  // a bare IPv6 address needs its brackets
        const auto named = Port(rest.substr(colon + 1));
        if (!named)
            return std::nullopt;
        if (port == 0)
            port = *named;
        host = rest.substr(0, colon);
    }
    if (!ValidHost(host) || port < 0 || port > 65535)
        return std::nullopt;
    if (port == 0)
        port = scheme == "smtps" ? kSmtpsPort : kSmtpPort;
    return scheme + "://" + std::string(host) + ":" + std::to_string(port);
}
