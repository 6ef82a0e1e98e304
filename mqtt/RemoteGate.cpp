#include "mqtt/RemoteGate.h"

#include <QJsonDocument>
#include <QJsonObject>

// Every byte of the longer text is looked at, whatever matches: the time taken tells nothing of
// how much of a guess was right.
bool RemoteGate::CodeMatches(std::string_view given) const
{
    const size_t length = std::max(given.size(), code_.size());
    unsigned char difference = given.size() == code_.size() ? 0 : 1;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char a = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        const unsigned char b = i < code_.size() ? static_cast<unsigned char>(code_[i]) : 0;
        difference |= static_cast<unsigned char>(a ^ b);
    }
    return difference == 0 && !code_.empty();
}

RemoteVerdict RemoteGate::Judge(std::string_view payload, Clock::time_point now)
{
    if (now < lockedUntil_)
        return RemoteVerdict::Ignored;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(payload.data(), static_cast<qsizetype>(payload.size())), &error);
    const QJsonObject command = document.object();
    const QString action = command.value("action").toString();
    if (error.error != QJsonParseError::NoError || !command.value("code").isString()
        || (action != "ARM_AWAY" && action != "DISARM"))
        return RemoteVerdict::Malformed;
    if (CodeMatches(command.value("code").toString().toStdString()))
        return action == "ARM_AWAY" ? RemoteVerdict::Arm : RemoteVerdict::Disarm;
    while (!wrong_.empty() && now - wrong_.front() >= kWindow)
        wrong_.pop_front();
    wrong_.push_back(now);
    if (static_cast<int>(wrong_.size()) < kWrongCodesAllowed)
        return RemoteVerdict::WrongCode;
    wrong_.clear();
    lockedUntil_ = now + kLockout;
    return RemoteVerdict::LockedOut;
}
