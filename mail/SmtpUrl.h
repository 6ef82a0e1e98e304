#pragma once

#include <optional>
#include <string>
#include <string_view>

// The libcurl address for the server text the user typed: "host", "host:port", "smtp://host[:port]"
// or "smtps://host[:port]" (implicit TLS, port 465 unless named). Without a port, plain SMTP uses
// defaultPort. Nothing when the text cannot name a server (empty, stray characters, bad port).
std::optional<std::string> SmtpUrl(std::string_view serverText, long defaultPort);
