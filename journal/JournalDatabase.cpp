#include "journal/JournalDatabase.h"

#include <QDateTime>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace fs = std::filesystem;

namespace {

constexpr int kSchemaVersion = 1;

// The runs, their events, and each event's delivery per channel. Events refer to their run by id
// without a constraint: an event whose run could not be written is still kept. seq keeps the
// order of writing, for events of one millisecond.
constexpr const char* kSchema[] = {
    "CREATE TABLE runs(id INTEGER PRIMARY KEY, started_ms INTEGER NOT NULL, ended_ms INTEGER,"
    " how_ended TEXT, detect_mode TEXT NOT NULL)",
    "CREATE TABLE events(seq INTEGER PRIMARY KEY, id INTEGER NOT NULL UNIQUE, run_id INTEGER,"
    " at_ms INTEGER NOT NULL, kind TEXT NOT NULL,"
    " picture_number INTEGER NOT NULL DEFAULT 0, picture TEXT, story TEXT, clip TEXT, note TEXT)",
    "CREATE INDEX events_by_time ON events(at_ms)",
    "CREATE TABLE deliveries(event_id INTEGER NOT NULL REFERENCES events(id) ON DELETE CASCADE,"
    " channel TEXT NOT NULL, state TEXT NOT NULL, at_ms INTEGER NOT NULL, reason TEXT,"
    " PRIMARY KEY(event_id, channel))",
};

QString NewConnectionName()
{
    static std::atomic<int> sequence{0};
    return QStringLiteral("sentivo-journal-%1").arg(sequence++);
}

// What stands at file when it is not a regular file (a folder, a FIFO...); empty for a file or nothing.
std::string NotAFile(const fs::path& file)
{
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (error || status.type() == fs::file_type::not_found || status.type() == fs::file_type::regular)
        return {};
    return status.type() == fs::file_type::directory ? "a folder stands in its place"
         : status.type() == fs::file_type::fifo      ? "a FIFO stands in its place"
                                                     : "it is not a regular file";
}

// SQLite's primary result codes (the extended code's low byte) of failures that may pass.
enum SqliteCode { kBusy = 5, kLocked = 6, kNoMemory = 7, kInterrupt = 9, kIoError = 10, kFull = 13 };

int PrimaryCode(const QSqlError& error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}

// Another program holds the lock, the disk is full or failing, memory ran out: the journal is kept
// as it is rather than moved aside.
bool Passing(int code)
{
    return code == kBusy || code == kLocked || code == kNoMemory || code == kInterrupt || code == kIoError
        || code == kFull;
}

}  // namespace

QString PathText(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

fs::path TextPath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

JournalDatabase::JournalDatabase(const fs::path& file, Use use) : name_(NewConnectionName())
{
    problem_ = Open(file, use);
}

JournalDatabase::~JournalDatabase()
{
    if (database_.isValid())
        database_.close();
    database_ = QSqlDatabase();   // no handle may outlive the connection's removal
    QSqlDatabase::removeDatabase(name_);
}

std::string JournalDatabase::Open(const fs::path& file, Use use)
{
    if (std::string what = NotAFile(file); !what.empty())
        return what;
    std::error_code error;
    if (use == Use::Read && !fs::exists(file, error)) {
        missing_ = true;
        return {};
    }
    database_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    if (!database_.isValid())
        return "Qt's SQLite driver is missing (Debian: libqt6sql6-sqlite)";
    database_.setDatabaseName(PathText(file));
    database_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!database_.open())
        return "cannot be opened: " + Failed(database_.lastError());
    return CheckAndMakeSchema(use);
}

// Made inside a write transaction that reads the version again: of two programs starting on a new
// file, one makes the tables and the other finds them.
std::string JournalDatabase::CheckAndMakeSchema(Use use)
{
    std::string problem;
    if (use == Use::Write) {
        // The first statement to read the file: a file of other bytes fails here.
        const QString mode = Single(QStringLiteral("PRAGMA journal_mode=WAL"), problem);
        if (!problem.empty())
            return problem;
        if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
            return "no write-ahead log (journal mode " + mode.toStdString() + ")";
        if (problem = QuickCheck(); !problem.empty())
            return problem;
    }
    for (const char* setting : {"PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"})
        if (problem = Exec(QString::fromLatin1(setting)); !problem.empty())
            return problem;
    if (use == Use::Write && !(problem = Exec(QStringLiteral("BEGIN IMMEDIATE"))).empty())
        return problem;
    problem = MakeSchema(use);
    if (use == Use::Write && problem.empty())
        problem = Exec(QStringLiteral("COMMIT"));
    if (use == Use::Write && !problem.empty())
        Exec(QStringLiteral("ROLLBACK"));
    return problem;
}

std::string JournalDatabase::MakeSchema(Use use)
{
    std::string problem;
    const QString version = Single(QStringLiteral("PRAGMA user_version"), problem);
    const QString tables = Single(QStringLiteral("SELECT count(*) FROM sqlite_master"), problem);
    if (!problem.empty() || version.toInt() == kSchemaVersion)
        return problem;
    if (version.toInt() != 0 || tables.toInt() != 0)
        return "holds another database (version " + version.toStdString() + ", " + tables.toStdString() + " tables)";
    if (use == Use::Read) {
        missing_ = true;   // an empty file: the writer makes the tables
        return {};
    }
    for (const char* statement : kSchema)
        if (problem = Exec(QString::fromLatin1(statement)); !problem.empty())
            return problem;
    return Exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
}

// SQLite's quick check of every page; its first findings on one line, or empty when it is sound.
std::string JournalDatabase::QuickCheck()
{
    QSqlQuery query(database_);
    if (!query.exec(QStringLiteral("PRAGMA quick_check")))
        return "PRAGMA quick_check: " + Failed(query.lastError());
    QStringList findings;
    while (query.next() && findings.size() < 3)
        for (const QString& line : query.value(0).toString().split('\n'))
            if (line != QLatin1String("ok") && !line.startsWith(QLatin1String("***")) && findings.size() < 3)
                findings << line;
    return findings.isEmpty() ? "" : "failed its integrity check: " + findings.join(QStringLiteral("; ")).toStdString();
}

// The first column of the one row a statement gives, as text; "" with problem on failure.
QString JournalDatabase::Single(const QString& statement, std::string& problem)
{
    QSqlQuery query(database_);
    if (!query.exec(statement) || !query.next()) {
        problem = statement.toStdString() + ": " + Failed(query.lastError());
        return {};
    }
    return query.value(0).toString();
}

std::string JournalDatabase::Exec(const QString& statement, const QVariantList& arguments)
{
    QSqlQuery query(database_);
    if (!query.prepare(statement))
        return Failed(query.lastError());
    for (const QVariant& argument : arguments)
        query.addBindValue(argument);
    return query.exec() ? "" : Failed(query.lastError());
}

std::string JournalDatabase::Failed(const QSqlError& error)
{
    const int code = PrimaryCode(error);
    passing_ = passing_ || Passing(code);
    busy_ = busy_ || code == kBusy || code == kLocked;
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? "unknown database error" : text.toStdString();
}

fs::path MoveJournalAside(const fs::path& file, std::string& reason)
{
    const std::string stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
    fs::path aside = file.string() + ".corrupt-" + stamp;
    std::error_code error;
    for (int n = 2; fs::symlink_status(aside, error).type() != fs::file_type::not_found; ++n)
        aside = file.string() + ".corrupt-" + stamp + "-" + std::to_string(n);
    fs::rename(file, aside, error);
    if (error) {
        reason = "could not be moved aside: " + error.message();
        return {};
    }
    // A log left beside a new journal would be replayed into it: the log goes with its database.
    for (const char* suffix : {"-wal", "-shm"})
        if (fs::exists(file.string() + suffix, error)) {
            fs::rename(file.string() + suffix, aside.string() + suffix, error);
            if (error)
                fs::remove_all(file.string() + suffix, error);
        }
    return aside;
}
