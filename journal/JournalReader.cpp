#include "journal/JournalReader.h"

#include "journal/JournalDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <map>

namespace fs = std::filesystem;

namespace {

std::string QueryError(const QSqlQuery& query)
{
    return query.lastError().databaseText().isEmpty() ? query.lastError().text().toStdString()
                                                      : query.lastError().databaseText().toStdString();
}

std::string FileAt(const QSqlQuery& query, int column)
{
    return query.isNull(column) ? std::string() : TextPath(query.value(column).toString()).string();
}

bool ReadRuns(JournalDatabase& database, std::vector<JournalRun>& runs, std::string& reason)
{
    QSqlQuery query(database.database());
    if (!query.exec(QStringLiteral("SELECT id, started_ms, ended_ms, how_ended, detect_mode FROM runs"
                                   " ORDER BY started_ms, id"))) {
        reason = QueryError(query);
        return false;
    }
    while (query.next())
        runs.push_back({query.value(0).toLongLong(), query.value(1).toLongLong(), query.value(2).toLongLong(),
                        query.value(3).toString().toStdString(), query.value(4).toString().toStdString()});
    return true;
}

bool ReadEvents(JournalDatabase& database, std::vector<JournalEvent>& events, std::string& reason)
{
    QSqlQuery query(database.database());
    if (!query.exec(QStringLiteral("SELECT id, run_id, at_ms, kind, picture_number, picture, story, clip, note"
                                   " FROM events ORDER BY at_ms, seq"))) {
        reason = QueryError(query);
        return false;
    }
    while (query.next())
        events.push_back({query.value(0).toLongLong(), query.value(1).toLongLong(), query.value(2).toLongLong(),
                          query.value(3).toString().toStdString(), query.value(4).toLongLong(), FileAt(query, 5),
                          FileAt(query, 6), FileAt(query, 7), query.value(8).toString().toStdString(), {}});
    return true;
}

bool ReadDeliveries(JournalDatabase& database, std::vector<JournalEvent>& events, std::string& reason)
{
    std::map<std::int64_t, JournalEvent*> byId;
    for (JournalEvent& event : events)
        byId[event.id] = &event;
    QSqlQuery query(database.database());
    if (!query.exec(QStringLiteral("SELECT event_id, channel, state, at_ms, reason FROM deliveries"
                                   " ORDER BY channel"))) {
        reason = QueryError(query);
        return false;
    }
    while (query.next())
        if (const auto event = byId.find(query.value(0).toLongLong()); event != byId.end())
            event->second->deliveries.push_back({query.value(1).toString().toStdString(),
                                                 DeliveryStateFromName(query.value(2).toString().toStdString()),
                                                 query.value(3).toLongLong(), query.value(4).toString().toStdString()});
    return true;
}

}  // namespace

bool ReadJournal(const fs::path& file, JournalContents& contents, std::string& reason)
{
    contents = {};
    JournalDatabase database(file, JournalDatabase::Use::Read);
    if (!database.ok()) {
        reason = "the journal " + file.string() + " cannot be read: " + database.problem();
        return false;
    }
    if (database.missing())
        return true;
    // One read transaction: the events and their deliveries as of one moment.
    database.Exec(QStringLiteral("BEGIN"));
    const bool read = ReadRuns(database, contents.runs, reason) && ReadEvents(database, contents.events, reason)
        && ReadDeliveries(database, contents.events, reason);
    database.Exec(QStringLiteral("COMMIT"));
    if (!read)
        reason = "the journal " + file.string() + " cannot be read: " + reason;
    return read;
}

bool DeleteJournalEvent(const fs::path& file, std::int64_t event, std::string& reason)
{
    JournalDatabase database(file, JournalDatabase::Use::Read);
    if (!database.ok() || database.missing()) {
        reason = "the journal " + file.string() + " cannot be opened: "
            + (database.missing() ? "it is not there" : database.problem());
        return false;
    }
    QSqlQuery query(database.database());
    query.prepare(QStringLiteral("SELECT picture, story, clip FROM events WHERE id = ?"));
    query.addBindValue(QVariant::fromValue<qlonglong>(event));
    if (!query.exec() || !query.next()) {
        reason = query.isActive() ? "the event is no longer in the journal" : QueryError(query);
        return false;
    }
    for (int column = 0; column < 3; ++column) {
        const fs::path path = FileAt(query, column);
        std::error_code error;
        if (!path.empty() && !fs::remove(path, error) && error) {
            reason = path.string() + " could not be removed: " + error.message();
            return false;
        }
    }
    query.finish();
    reason = database.Exec(QStringLiteral("DELETE FROM events WHERE id = ?"), {QVariant::fromValue<qlonglong>(event)});
    return reason.empty();
}
