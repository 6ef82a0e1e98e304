#pragma once
// Mails one picture through SendMail: the alarm's subject and a short text from fromAddress to
// toAddress through smtpServer (security Default, MailConfig's overrides applying) with pictureFile
// attached as image/jpeg. userName null: no login; otherwise log in with userName and
// password (empty texts are credentials too). Blocks until the server accepted the message
// (true) or the send failed (false); bounded by the time-outs of MailConfig.
bool EmailPic(const char* toAddress, const char* fromAddress, const char* smtpServer,
              const char* pictureFile, const char* userName, const char* password);

#include <string>

// Why the calling thread's last EmailPic answered false, in a few words for the user
// ("authentication failed", "could not connect", "timed out", ...); empty after a success.
std::string EmailPicLastError();
