#pragma once
// Texts are single-byte throughout (addresses, server names, settings). Latin-1 maps every byte to
// one character and back, so any byte survives a QString, an edit box or the settings file.

#include <QString>

#include <string>

inline QString FromSingleByte(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToSingleByte(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}
