#include "settings/SettingsStore.h"

#include "mail/SmtpUrl.h"
#include "settings/AppPaths.h"
#include "settings/SingleByteText.h"

#include <QFile>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>

namespace {

constexpr std::array<const char*, SETTING_COUNT> valueNames = {
    "EMAIL_ADDRESS", "TO_EMAIL_ADDRESS", "SMTP_SERVER",
    "DELAY_TO_LEAVE_ROOM", "DELAY_BETWEEN_SENDS", "DELAY_BEFORE_ALARM",
};

// Only "nothing there" counts as missing; a path we may not even look at is treated as present,
// so the store is never made again over a file that might hold the user's values.
bool StoreMissing(const std::string& path)
{
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::not_found;
}

bool IsKnownId(int settingId)
{
    return settingId >= 0 && settingId < SETTING_COUNT;
}

// A value as text, when it is one. A hand-edited file may hold what QSettings reads as a list
// ("a,b") or a byte array; those are taken as the text they were written as.
std::optional<std::string> ValueText(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return ToSingleByte(value.toString());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    case QMetaType::QStringList:
        return ToSingleByte(value.toStringList().join(u','));
    default:
        return std::nullopt;
    }
}

bool Validate(int settingId, const std::string& text)
{
    switch (settingId) {
    case SETTING_FROM_ADDRESS:
    case SETTING_TO_ADDRESS:
        return IsValidEmailAddress(text);
    case SETTING_SMTP_SERVER:
        return IsValidServerAddress(text);
    default:
        return true;
    }
}

// First read on this machine: the file with six empty values. QSettings writes it atomically and
// creates the folder.
void CreateStore(const QString& path)
{
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return;
    for (const char* name : valueNames) {
        // Another process may have made the file meanwhile; keep what it wrote.
        if (!settings.contains(QLatin1StringView(name)))
            settings.setValue(QLatin1StringView(name), QString());
    }
    settings.sync();
}

// The stored text of one value, or nothing when it cannot be read.
std::optional<std::string> ReadValue(const QString& path, const char* name)
{
    // QSettings keeps parsed files in a process-wide cache and trusts it while the file's size and
    // time stamp are unchanged; whether the user may read the file is asked here every time.
    if (QFile probe(path); !probe.open(QIODevice::ReadOnly))
        return std::nullopt;
    QSettings settings(path, QSettings::IniFormat);
    // AccessError: the file exists but cannot be read. A FormatError only means some lines could
    // not be parsed; the values that could are still good.
    if (settings.status() == QSettings::AccessError)
        return std::nullopt;
    const QVariant value = settings.value(QLatin1StringView(name));
    std::optional<std::string> text = ValueText(value);
    if (text && text->size() > SETTING_MAX_LENGTH)
        return std::nullopt;
    return text;
}

bool WriteValue(const QString& path, const char* name, const std::string& text)
{
    QSettings settings(path, QSettings::IniFormat);
    // A file that cannot be read would be rewritten with only this one value: leave it alone.
    if (settings.status() == QSettings::AccessError)
        return false;
    settings.setValue(QLatin1StringView(name), FromSingleByte(text));
    // sync() saves through a temporary file renamed over the old one (QSettings' atomic sync), so
    // the file is either the old one or the new one, never half written.
    settings.sync();
    return settings.status() != QSettings::AccessError;
}

}  // namespace

std::string SettingsFilePath()
{
    return (ConfigFolder() / "Sentivo.conf").string();
}

bool ReadSetting(int settingId, std::string& text)
{
    text.clear();
    const std::string localPath = SettingsFilePath();
    const QString path = QFile::decodeName(localPath.c_str());
    if (StoreMissing(localPath)) {
        CreateStore(path);
        return false;
    }
    if (!IsKnownId(settingId))
        return false;
    std::optional<std::string> stored = ReadValue(path, valueNames[settingId]);
    if (!stored)
        return false;
    text = std::move(*stored);
    if (settingId >= SETTING_DELAY_TO_LEAVE_ROOM)
        return !text.empty();
    return Validate(settingId, text);
}

bool WriteSetting(int settingId, const std::string& text)
{
    if (!IsKnownId(settingId))
        return false;
    const std::string localPath = SettingsFilePath();
    if (StoreMissing(localPath))
        return false;
    const QString path = QFile::decodeName(localPath.c_str());
    return WriteValue(path, valueNames[settingId], text) && Validate(settingId, text);
}

std::optional<std::string> ReadNamedSetting(const char* name)
{
    const std::string localPath = SettingsFilePath();
    if (StoreMissing(localPath))
        return std::nullopt;
    return ReadValue(QFile::decodeName(localPath.c_str()), name);
}

bool WriteNamedSetting(const char* name, const std::string& text)
{
    const std::string localPath = SettingsFilePath();
    return !StoreMissing(localPath) && WriteValue(QFile::decodeName(localPath.c_str()), name, text);
}

namespace {

// The rule addresses were first checked by: five characters or more, an @ and a dot with at most
// three characters after the last dot, one @ only, no _ after it, and letters, digits, _ . @ -.
bool ShortTopLevel(const std::string& text)
{
    const size_t lastDot = text.rfind('.');
    return lastDot != std::string::npos && text.size() - lastDot <= 4;
}

// ASCII only, whatever locale the program runs in: a byte of 128 or above is no letter here.
bool IsLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsFirstRuleCharacter(char c)
{
    return IsLetterOrDigit(c) || c == '_' || c == '.' || c == '@' || c == '-';
}

bool FirstRuleAccepts(const std::string& text)
{
    if (text.size() < 5 || text.find('.') == std::string::npos || !ShortTopLevel(text))
        return false;
    const size_t lastUnderscore = text.rfind('_');
    if (lastUnderscore != std::string::npos && lastUnderscore > text.rfind('@'))
        return false;
    return std::all_of(text.begin(), text.end(), IsFirstRuleCharacter);
}

// The characters mail systems allow before the @ unquoted ("+" for sub-addresses, "'" in names...).
bool IsLocalCharacter(char c)
{
    return IsLetterOrDigit(c) || std::string_view("!#$%&'*+-/=?^_`{|}~.").find(c) != std::string_view::npos;
}

bool IsDomainCharacter(char c)
{
    return IsLetterOrDigit(c) || c == '-';
}

// Host labels between the dots, none of them empty: "example.info" but not "example..info" nor "example.".
bool DottedName(std::string_view domain, bool (*allowed)(char))
{
    for (size_t begin = 0;;) {
        const size_t dot = std::min(domain.find('.', begin), domain.size());
        if (dot == begin || !std::all_of(domain.begin() + begin, domain.begin() + dot, allowed))
            return false;
        if (dot == domain.size())
            return true;
        begin = dot + 1;
    }
}

}  // namespace

// Everything the first rule accepted stays accepted, except a text with an empty part, which no
// mail system takes; added are the real addresses it refused: "+" and the other characters common
// before the @, and top-level domains of any length (".info", ".email").
bool IsValidEmailAddress(const std::string& text)
{
    const size_t at = text.find('@');
    if (at == std::string::npos || at == 0 || text.find('@', at + 1) != std::string::npos)
        return false;
    const std::string_view local(text.data(), at), domain(text.data() + at + 1, text.size() - at - 1);
    const auto anything = [](char) { return true; };
    if (!DottedName(domain, anything))
        return false;
    return FirstRuleAccepts(text)
        || (std::all_of(local.begin(), local.end(), IsLocalCharacter) && domain.find('.') != std::string_view::npos
            && DottedName(domain, IsDomainCharacter));
}

// The sender's own rule: a text it can make a server address of.
bool IsValidServerAddress(const std::string& text)
{
    return SmtpUrl(text, 0, false).has_value();
}

const char* SettingName(int settingId)
{
    return IsKnownId(settingId) ? valueNames[settingId] : "";
}

std::optional<int> WholeNumber(const std::string& text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}
