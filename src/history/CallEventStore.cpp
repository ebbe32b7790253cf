#include "history/CallEventStore.h"

#include "history/CallEventDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// What a desk asks is small; anything longer is a server in trouble.
constexpr std::chrono::milliseconds kStatementTimeout{5000};

QString textOf(const QVariant& value)
{
    // The server gives its timestamps as QDateTime, SQLite its text.
    return value.userType() == QMetaType::QDateTime ? HistoryDatabase::dateTimeText(value.toDateTime())
                                                    : value.toString();
}

} // namespace

CallEvent eventFromRow(const QSqlQuery& query, bool withCall)
{
    CallEvent event;
    event.id = query.value(0).toLongLong();
    event.callId = query.value(1).toLongLong();
    event.kind = kindOf(query.value(2).toString()).value_or(CallEvent::Kind::Done);
    event.person = query.value(3).toString();
    event.to = query.value(4).toString();
    event.text = query.value(5).toString();
    event.callBack = query.value(6).toBool();
    event.at = HistoryDatabase::dateTimeFromText(textOf(query.value(7)));
    if (withCall) {
        event.number = query.value(8).toString();
        event.calldate = textOf(query.value(9));
    }
    return event;
}

bool readEventsOfCalls(QSqlQuery& query, bool onServer, const std::vector<qint64>& callIds,
                       QHash<qint64, std::vector<CallEvent>>& events)
{
    if (callIds.empty())
        return true;
    query.setForwardOnly(true);
    if (!query.prepare(CallEventDatabase::eventsOfCallsStatement(onServer, int(callIds.size()))))
        return false;
    for (const qint64 id : callIds)
        query.addBindValue(id);
    if (!query.exec())
        return false;
    while (query.next()) {
        CallEvent event = eventFromRow(query, false);
        events[event.callId].push_back(std::move(event));
    }
    return !query.lastError().isValid();
}

CallEventStore::CallEventStore(QString target)
    : m_session(target, {QStringLiteral("events table (call_events)"),
                         CallEventDatabase::existsStatement(HistoryDatabase::onServer(target)), kStatementTimeout})
    , m_history{HistoryDatabase::onServer(target)}
{}

bool CallEventStore::listen(std::function<void(qint64 id)> announced)
{
    return m_session.listen(QString::fromLatin1(CallEventDatabase::kChannel), std::move(announced));
}

std::optional<CallEventStore::Added> CallEventStore::add(const CallEvent& event)
{
    if (!connect())
        return std::nullopt;
    const bool onServer = m_session.onServer();
    const QDateTime at = event.at.isValid() ? event.at : QDateTime::currentDateTime();
    // A null text would be bound as NULL, which the table refuses.
    const auto text = [](const QString& value) {
        return value.isNull() ? QStringLiteral("") : value;
    };
    QSqlQuery query(m_session.database());
    if (!m_session.run(query, CallEventDatabase::insertStatement(onServer),
                       {event.callId, kindText(event.kind), text(event.person), text(event.to),
                        text(event.text.left(CallEventDatabase::kMaxText)),
                        onServer ? QVariant(event.callBack) : QVariant(event.callBack ? 1 : 0),
                        HistoryDatabase::dateTimeText(at)}))
        return std::nullopt;
    if (onServer ? query.next() : query.numRowsAffected() == 1)
        return Added{onServer ? query.value(0).toLongLong() : query.lastInsertId().toLongLong()};
    // Only a claim can be turned away: the call is someone's already.
    QSqlQuery claimer(m_session.database());
    if (!m_session.run(claimer, CallEventDatabase::claimerStatement(), {event.callId}))
        return std::nullopt;
    if (!claimer.next()) {
        m_session.fail(QStringLiteral("the event was not written"));
        return std::nullopt;
    }
    return Added{0, claimer.value(0).toString()};
}

std::optional<std::vector<CallEvent>> CallEventStore::read(const QString& statement, const QVariantList& values)
{
    return m_session.rows(statement, values, [](const QSqlQuery& query) { return eventFromRow(query, true); });
}

std::optional<std::vector<CallEvent>> CallEventStore::events(const std::vector<qint64>& ids)
{
    if (ids.empty())
        return std::vector<CallEvent>{};
    QVariantList values;
    for (const qint64 id : ids)
        values << id;
    return read(CallEventDatabase::eventsStatement(m_history, int(ids.size())), values);
}

std::optional<std::vector<CallEvent>> CallEventStore::eventsAbove(qint64 id, int limit)
{
    return read(CallEventDatabase::eventsAboveStatement(m_history, limit), {id});
}

std::optional<qint64> CallEventStore::newest()
{
    if (!connect())
        return std::nullopt;
    QSqlQuery query(m_session.database());
    if (!m_session.run(query, CallEventDatabase::newestStatement()) || !query.next())
        return std::nullopt;
    return query.value(0).toLongLong();
}

std::optional<qint64> CallEventStore::callKey(const QString& number, const QString& calldate)
{
    if (!connect())
        return std::nullopt;
    QSqlQuery query(m_session.database());
    if (!m_session.run(query, CallEventDatabase::callKeyStatement(m_history),
                       {number.isNull() ? QStringLiteral("") : number, calldate}))
        return std::nullopt;
    return query.next() ? query.value(0).toLongLong() : 0;
}

std::optional<CallCounts> CallEventStore::counts(const QDate& day, const QString& person)
{
    if (!connect())
        return std::nullopt;
    const QString from = HistoryDatabase::dateTimeText(day.startOfDay());
    const QString to = HistoryDatabase::dateTimeText(day.addDays(1).startOfDay());
    QSqlQuery open(m_session.database());
    if (!m_session.run(open, CallEventDatabase::openCountStatement(m_history), {from, to}) || !open.next())
        return std::nullopt;
    CallCounts counts{open.value(0).toInt(), 0};
    if (person.isEmpty())
        return counts;
    QSqlQuery messages(m_session.database());
    if (!m_session.run(messages, CallEventDatabase::messageCountStatement(m_history), {person, from, to}) ||
        !messages.next())
        return std::nullopt;
    counts.messages = messages.value(0).toInt();
    return counts;
}

bool CallEventStore::seen(const QString& person)
{
    if (person.isEmpty() || !connect())
        return false;
    QSqlQuery query(m_session.database());
    return m_session.run(query, CallEventDatabase::personSeenStatement(),
                         {person, HistoryDatabase::dateTimeText(QDateTime::currentDateTime())});
}

std::optional<QStringList> CallEventStore::people()
{
    const auto people = m_session.rows(CallEventDatabase::peopleStatement(), {},
                                       [](const QSqlQuery& query) { return query.value(0).toString(); });
    if (!people)
        return std::nullopt;
    return QStringList(people->begin(), people->end());
}
