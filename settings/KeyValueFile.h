#pragma once
// Reader of a hand-written text file of comma-separated records: ";" starts a comment, blank lines
// are skipped, fields are trimmed of blanks (space, tab) at both ends. Lines may end with LF, CR LF
// or CR, and a leading UTF-8 byte-order mark is skipped, as editors on any desktop write them. Used
// on "auth.txt", the SMTP user name and password (SmtpCredentials.h).

#include <string>
#include <vector>

class CKeyValueFile {
public:
    // Opens the file and reads ahead to the first record; a file that cannot be opened has none.
    explicit CKeyValueFile(const std::string& fileName);
    virtual ~CKeyValueFile() = default;
    CKeyValueFile(const CKeyValueFile&) = delete;
    CKeyValueFile& operator=(const CKeyValueFile&) = delete;

    bool HasRecord() const { return hasRecord; }
    // The fields of the waiting record (empty when none waits); valid until the next call.
    const std::vector<std::string>& NextRecord();

private:
    void ReadNextLine();

    bool hasRecord = false;
    std::string text;   // the whole file
    size_t position = 0;   // where the next line begins
    std::string currentLine;
    std::vector<std::string> fields;
};
