#include "journal/Journal.h"

#include "journal/JournalDatabase.h"
#include "log/EventLog.h"
#include "settings/AppPaths.h"

#include <QVariant>

#include <chrono>
#include <future>
#include <random>

namespace fs = std::filesystem;

namespace {

// Random and positive: unique across programs writing one journal without asking it.
std::int64_t NewId()
{
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    std::lock_guard lock(mutex);
    std::int64_t id = 0;
    while (id == 0)
        id = static_cast<std::int64_t>(random() >> 1);
    return id;
}

QVariant Number(std::int64_t value) { return QVariant::fromValue<qlonglong>(value); }
QVariant Text(const std::string& text) { return QString::fromStdString(text); }
QVariant FileText(const std::string& file) { return file.empty() ? QVariant() : QVariant(PathText(file)); }

std::string InsertDelivery(JournalDatabase& database, std::int64_t event, const JournalDelivery& delivery)
{
    return database.Exec(
        QStringLiteral("INSERT INTO deliveries(event_id, channel, state, at_ms, reason)"
                       " SELECT id, ?, ?, ?, ? FROM events WHERE id = ?"
                       " ON CONFLICT(event_id, channel) DO UPDATE SET state = excluded.state,"
                       " at_ms = excluded.at_ms, reason = excluded.reason"),
        {Text(delivery.channel), QString::fromLatin1(DeliveryStateName(delivery.state)), Number(delivery.at),
         Text(delivery.reason), Number(event)});
}

// BEGIN IMMEDIATE takes the write lock first (waiting its turn behind another writer) rather
// than failing halfway when another program writes too.
std::string InTransaction(JournalDatabase& database, const std::function<std::string(JournalDatabase&)>& write)
{
    if (std::string failure = database.Exec(QStringLiteral("BEGIN IMMEDIATE")); !failure.empty())
        return failure;
    std::string failure = write(database);
    if (failure.empty())
        failure = database.Exec(QStringLiteral("COMMIT"));
    if (!failure.empty())
        database.Exec(QStringLiteral("ROLLBACK"));
    return failure;
}

// The journal at file, or a new one in its place when it cannot be used; note tells what happened.
std::unique_ptr<JournalDatabase> OpenOrStartAnew(const fs::path& file, std::string& note)
{
    std::error_code error;
    fs::create_directories(file.parent_path(), error);   // when this fails, opening says why
    auto database = std::make_unique<JournalDatabase>(file, JournalDatabase::Use::Write);
    // Where waiting could deadlock (two programs turning a new file to a write-ahead log, or
    // one recovering the log of a killed one) SQLite answers "locked" at once: try again.
    for (int attempt = 1; !database->ok() && database->busy() && attempt <= 5; ++attempt) {
        database.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(100 * attempt));
        database = std::make_unique<JournalDatabase>(file, JournalDatabase::Use::Write);
    }
    if (database->ok())
        return database;
    note = "journal " + file.string() + ": " + database->problem();
    const bool passing = database->passing();
    database.reset();
    if (!fs::exists(fs::symlink_status(file, error)))
        return nullptr;   // nothing to move aside: the folder refuses a new file
    if (passing) {
        note += "; kept as it is, and not written this time";
        return nullptr;
    }
    std::string reason;
    const fs::path aside = MoveJournalAside(file, reason);
    if (aside.empty()) {
        note += "; it " + reason;
        return nullptr;
    }
    note += "; moved aside to " + aside.filename().string() + " and a new journal started";
    database = std::make_unique<JournalDatabase>(file, JournalDatabase::Use::Write);
    if (database->ok())
        return database;
    note += ", which failed too: " + database->problem();
    return nullptr;
}

}  // namespace

fs::path DefaultJournalFile()
{
    return DataFolder() / "journal.sqlite";
}

JournalOpening Journal::Open(const fs::path& file, EventLog* log)
{
    std::unique_ptr<Journal> journal(new Journal(file, log));
    std::string note = journal->Start();
    if (!journal->thread_.joinable())
        journal.reset();
    return {std::move(journal), std::move(note)};
}

Journal::Journal(fs::path file, EventLog* log) : file_(std::move(file)), log_(log) {}

// The connection is made, used and removed on the writer thread alone.
std::string Journal::Start()
{
    std::promise<std::pair<bool, std::string>> opened;
    std::future<std::pair<bool, std::string>> result = opened.get_future();
    // The thread keeps the promise: Start may return while set_value is still waking it.
    thread_ = std::thread([this, opened = std::move(opened)]() mutable {
        std::string note;
        std::unique_ptr<JournalDatabase> database = OpenOrStartAnew(file_, note);
        const bool ok = database != nullptr;
        opened.set_value({ok, note});
        if (ok)
            Run(std::move(database));
    });
    auto [ok, note] = result.get();
    if (!ok) {
        thread_.join();
        thread_ = std::thread();
    }
    return note;
}

Journal::~Journal()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void Journal::Run(std::unique_ptr<JournalDatabase> database)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            return;   // stopped, and all that was handed in is written
        auto [what, write] = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        const std::string failure = InTransaction(*database, write);
        if (!failure.empty() && log_)
            log_->Write("journal: " + what + " not written: " + failure);
        lock.lock();
        if (!failure.empty() && firstFailure_.empty())
            firstFailure_ = what + " not written: " + failure;
        ++written_;
        changed_.notify_all();
    }
}

void Journal::Post(std::string what, Write write)
{
    {
        std::lock_guard lock(mutex_);
        queue_.emplace_back(std::move(what), std::move(write));
        ++posted_;
    }
    changed_.notify_all();
}

std::string Journal::Flush()
{
    std::unique_lock lock(mutex_);
    const std::uint64_t target = posted_;
    changed_.wait(lock, [&] { return written_ >= target; });
    return std::exchange(firstFailure_, {});
}

std::int64_t Journal::BeginRun(const std::string& detectMode, std::int64_t at)
{
    const std::int64_t id = NewId();
    Post("run start", [=](JournalDatabase& database) {
        return database.Exec(QStringLiteral("INSERT INTO runs(id, started_ms, detect_mode) VALUES(?, ?, ?)"),
                             {Number(id), Number(at), Text(detectMode)});
    });
    return id;
}

void Journal::EndRun(std::int64_t run, const std::string& howEnded, std::int64_t at)
{
    Post("run end", [=](JournalDatabase& database) {
        return database.Exec(QStringLiteral("UPDATE runs SET ended_ms = ?, how_ended = ? WHERE id = ?"),
                             {Number(at), Text(howEnded), Number(run)});
    });
}

std::int64_t Journal::Record(JournalEvent event)
{
    if (event.id == 0)
        event.id = NewId();
    const std::int64_t id = event.id;
    Post("\"" + event.kind + "\" event", [event = std::move(event)](JournalDatabase& database) {
        std::string failure = database.Exec(
            QStringLiteral("INSERT INTO events(id, run_id, at_ms, kind, picture_number, picture, story, clip, note)"
                           " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(id) DO UPDATE SET"
                           " kind = excluded.kind, picture_number = excluded.picture_number,"
                           " picture = excluded.picture, story = excluded.story, clip = excluded.clip,"
                           " note = excluded.note"),
            {Number(event.id), event.runId ? Number(event.runId) : QVariant(), Number(event.at), Text(event.kind),
             Number(event.pictureNumber), FileText(event.picture), FileText(event.story), FileText(event.clip),
             Text(event.note)});
        for (const JournalDelivery& delivery : event.deliveries)
            if (failure.empty())
                failure = InsertDelivery(database, event.id, delivery);
        return failure;
    });
    return id;
}

void Journal::SetDelivery(std::int64_t event, const JournalDelivery& delivery)
{
    Post(delivery.channel + " delivery state",
         [=](JournalDatabase& database) { return InsertDelivery(database, event, delivery); });
}
