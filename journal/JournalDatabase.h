#pragma once
// One Qt SQL connection to a journal file, used on the thread that made it (Qt SQL's rule) and
// removed when the object goes. Opening checks the file before SQLite sees it (a folder or a FIFO
// in its place would fail or block), and for the writer also the whole database (quick_check) and
// its schema, which it makes in a new file. Settings of every connection: a write-ahead log, so
// the History window reads while the run writes and a kill leaves the last whole transaction;
// synchronous=FULL, so an event whose write returned survives a power cut too (events come
// seconds apart and are written off the detection thread, so the sync costs nothing that
// matters); a busy timeout, so two writers (the panel and a service) take turns.

#include <QSqlDatabase>
#include <QSqlError>
#include <QVariant>

#include <filesystem>
#include <string>

class JournalDatabase {
public:
    enum class Use { Write, Read };
    // Opens file on this thread; ok() false with problem() when it could not be opened or is not
    // a sound journal. A missing file is made (Write) or left missing (Read: ok and missing(), as
    // is an empty file the writer has not filled yet).
    JournalDatabase(const std::filesystem::path& file, Use use);
    ~JournalDatabase();
    JournalDatabase(const JournalDatabase&) = delete;
    JournalDatabase& operator=(const JournalDatabase&) = delete;

    bool ok() const { return problem_.empty(); }
    bool missing() const { return missing_; }
    // The failure may pass (the file locked by another program, a full or failing disk): the file
    // is not to be moved aside.
    bool passing() const { return passing_; }
    // The failure was another connection's lock (SQLITE_BUSY or SQLITE_LOCKED).
    bool busy() const { return busy_; }
    const std::string& problem() const { return problem_; }
    QSqlDatabase& database() { return database_; }

    // Runs statements with their arguments in order; the first failure's text, else empty.
    std::string Exec(const QString& statement, const QVariantList& arguments = {});

private:
    std::string Open(const std::filesystem::path& file, Use use);
    std::string CheckAndMakeSchema(Use use);
    std::string MakeSchema(Use use);
    std::string QuickCheck();
    QString Single(const QString& statement, std::string& problem);
    std::string Failed(const QSqlError& error);

    QString name_;
    QSqlDatabase database_;
    bool missing_ = false;
    bool passing_ = false;
    bool busy_ = false;
    std::string problem_;
};

// Moves a journal that cannot be used aside, with its write-ahead log and index files, to
// "journal.sqlite.corrupt-<date>-<time>" beside it; the new name, or empty with reason.
std::filesystem::path MoveJournalAside(const std::filesystem::path& file, std::string& reason);

// Text for a path stored in the journal, and back: file names are bytes, not necessarily UTF-8.
QString PathText(const std::filesystem::path& path);
std::filesystem::path TextPath(const QString& text);
