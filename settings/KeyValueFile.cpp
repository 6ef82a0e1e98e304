#include "settings/KeyValueFile.h"

#include <algorithm>
#include <fstream>
#include <sstream>

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
{
    // A read error (a folder of that name, an I/O fault) ends the text like the file's end does.
    std::ifstream input(fileName, std::ios::binary);
    std::ostringstream content;
    content << input.rdbuf();
    text = std::move(content).str();
    // Without this skip the mark would become part of the first key, which then matched nothing.
    if (text.starts_with("\xEF\xBB\xBF"))
        position = 3;
    ReadNextLine();
}

void CKeyValueFile::ReadNextLine()
{
    hasRecord = false;
    while (position < text.size()) {
        // LF (Linux), CR LF (Windows) and CR alone (old Macs) each end a line.
        const size_t end = std::min(text.find_first_of("\r\n", position), text.size());
        currentLine.assign(text, position, end - position);
        position = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
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
