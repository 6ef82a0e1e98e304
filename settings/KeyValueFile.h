#pragma once
// Reader of a hand-written text file of comma-separated records: ";" starts a comment, blank lines
// are skipped, fields are trimmed of blanks (space, tab) at both ends. Lines may end with LF, CR LF
// or CR, and a leading UTF-8 byte-order mark is skipped, as editors on any desktop write them. Used
// on "auth.txt", the SMTP user name and password (SmtpCredentials.h).
//
// Only a regular file of at most kMaxKeyValueFileSize bytes is read. Anything else put in its
// place (a FIFO, a link to /dev/zero, a folder, a huge file) is refused with its reason, and is
// never waited on: the file is opened without blocking and looked at before a byte is read.

#include <cstddef>
#include <string>
#include <vector>

constexpr std::size_t kMaxKeyValueFileSize = 64 * 1024;

class CKeyValueFile {
public:
    // Opens the file and reads ahead to the first record; a file that cannot be read has none.
    explicit CKeyValueFile(const std::string& fileName);
    virtual ~CKeyValueFile() = default;
    CKeyValueFile(const CKeyValueFile&) = delete;
    CKeyValueFile& operator=(const CKeyValueFile&) = delete;

    // Nothing of that name exists (a dangling link does not count as nothing: it is a problem).
    bool Missing() const { return missing; }
    // Why the file was not read ("is a FIFO, not a regular file", "is larger than 65536 bytes",
    // "could not be read: Permission denied"), said of the file; empty when it was read.
    const std::string& Problem() const { return problem; }

    bool HasRecord() const { return hasRecord; }
    // The fields of the waiting record (empty when none waits); valid until the next call.
    const std::vector<std::string>& NextRecord();
    // The line (from 1) of the record NextRecord returned last.
    int RecordLine() const { return recordLine; }

private:
    void ReadNextLine();

    bool missing = false;
    std::string problem;
    bool hasRecord = false;
    std::string text;   // the whole file
    size_t position = 0;   // where the next line begins
    int lineNumber = 0;    // of currentLine
    int recordLine = 0;
    std::string currentLine;
    std::vector<std::string> fields;
};
