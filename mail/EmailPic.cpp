#include "mail/EmailPic.h"

#include "mail/SendMail.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

thread_local std::string lastError;

bool Fail(std::string reason)
{
    lastError = std::move(reason);
    return false;
}

std::optional<std::string> ReadPicture(const char* path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return std::nullopt;
    return bytes;
}

}  // namespace

bool EmailPic(const char* toAddress, const char* fromAddress, const char* smtpServer,
              const char* pictureFile, const char* userName, const char* password)
{
    if (!toAddress || !fromAddress || !smtpServer || !pictureFile)
        return Fail("address, server or picture missing");
    // Read first: a picture that is not there is no reason to bother the server.
    std::optional<std::string> bytes = ReadPicture(pictureFile);
    if (!bytes)
        return Fail("picture file could not be read");
    const std::string fileName = std::filesystem::path(pictureFile).filename().string();
    MailMessage message{.fromAddress = fromAddress,
                        .toAddress = toAddress,
                        .subject = "Sentivo: a picture was taken",
                        .body = "Sentivo took the attached picture, " + fileName + ", when its alarm went off.\r\n",
                        .attachments = {{fileName, std::move(*bytes)}}};
    const MailServer server{.server = smtpServer,
                            .login = userName != nullptr,
                            .userName = userName ? userName : "",
                            .password = password ? password : ""};
    const MailResult result = SendMail(server, message);
    if (!result.sent)
        return Fail(result.reason);
    lastError.clear();
    return true;
}

std::string EmailPicLastError()
{
    return lastError;
}
