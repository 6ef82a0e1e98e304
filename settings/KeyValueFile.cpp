#include "settings/KeyValueFile.h"

namespace {

constexpr const char* blanks = " \t";

std::string Trimmed(const std::string& text, size_t begin, size_t end)
{
    const size_t first = text.find_first_not_of(blanks, begin);
    if (first == std::string::npos || first >= end)
        return {};
    const size_t last = text.find_last_not_of(blanks, end - 1);
    return text.substr(first, last - first + 1);
}

}  // namespace

CKeyValueFile::CKeyValueFile(const std::string& fileName)
    : input(fileName), fileName(fileName)
{
    ReadNextLine();
}

void CKeyValueFile::ReadNextLine()
{
    hasRecord = false;
    // A read error (a folder of that name, an I/O fault) fails the stream and ends the file like
    // its end does.
    while (input && std::getline(input, currentLine)) {
        // Files written on Windows end their lines with CR LF; the CR is no part of the record.
        if (!currentLine.empty() && currentLine.back() == '\r')
            currentLine.pop_back();
        const size_t comment = currentLine.find(';');
        if (comment != std::string::npos)
            currentLine.erase(comment);
        const size_t first = currentLine.find_first_not_of(blanks);
        if (first == std::string::npos)
            continue;
        currentLine.erase(0, first);
        hasRecord = true;
        return;
    }
    currentLine.clear();
}

const std::vector<std::string>& CKeyValueFile::NextRecord()
{
    fields.clear();
    if (!hasRecord)
        return fields;
    size_t position = 0;
    do {
        size_t comma = currentLine.find(',', position);
        if (comma == std::string::npos)
            comma = currentLine.size();
        fields.push_back(Trimmed(currentLine, position, comma));
        // A comma at the very end opens no further field.
        position = comma + 1;
    } while (position < currentLine.size());
    ReadNextLine();
    return fields;
}

bool ReadSmtpCredentials(std::string& userName, std::string& password)
{
    CKeyValueFile file("auth.txt");
    if (!file.HasRecord())
        return false;
    while (file.HasRecord()) {
        const std::vector<std::string>& record = file.NextRecord();
        std::string* target = nullptr;
        if (record[0] == "USERNAME")
            target = &userName;
        else if (record[0] == "PASSWORD")
            target = &password;
        else
            continue;
        if (record.size() != 2)
            return false;
        *target = record[1];
    }
    return true;
}
