#pragma once

#include <optional>
#include <string>
#include <string_view>

// The libcurl address for the server text the user typed: "host", "host:port", "smtp://host[:port]"
// or "smtps://host[:port]". implicitTls or "smtps://" give an smtps address. port, when not 0, wins
// over the text's; without either, 25 (465 for smtps). Nothing when the text cannot name a server
// (empty, a blank or control character inside, an empty part between dots, stray characters, a bad
// port): the one rule for a server text, which the stored SMTP_SERVER is judged by too.
std::optional<std::string> SmtpUrl(std::string_view serverText, long port, bool implicitTls);
