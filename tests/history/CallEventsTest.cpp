// What people do with calls: what a call's events come to, one claim per call, the day's counts, and the events of a
// single desk's file written in order, waiting for a call's row and told once.

#include "history/CallEvents.h"

#include "calls/CallNotifier.h"
#include "dialogs/LeaveMessageDialog.h"

#include "history/HistoryDatabase.h"
#include "history/SqliteHistoryStore.h"
#include "support/HistoryRows.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Kind = CallEvent::Kind;
using State = CallProgress::State;

namespace {

CallEvent event(Kind kind, const QString& person, const QString& to = {}, bool callBack = false)
{
    return {.kind = kind, .person = person, .to = to, .text = to.isEmpty() ? QString() : "用件", .callBack = callBack};
}

class CallEventsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(createHistoryDatabase(path, &error)) << error.toStdString(); }
    qint64 call(const QString& number, const QDateTime& at = QDateTime::currentDateTime())
    {
        HistoryRow row{number, at};
        EXPECT_EQ(SqliteHistoryStore(path).append(row), HistoryStore::Outcome::Written);
        return runSql(path, "SELECT max(rowid) FROM history").value_or("0").toLongLong();
    }

    QTemporaryDir dir;
    QString path = dir.filePath("history.db");
    QString error;
};

} // namespace

// The state each sequence of events comes to, who took the call, and for whom a message is still open.
TEST(CallProgress, FoldsEventsInOrder)
{
    const CallEvent claimB = event(Kind::Claim, "B"), claimC = event(Kind::Claim, "C");
    const CallEvent toC = event(Kind::Message, "A", "C"), toCBack = event(Kind::Message, "A", "C", true);
    const CallEvent back = event(Kind::CalledBack, "C"), done = event(Kind::Done, "B");
    // clang-format off
    const struct { std::vector<CallEvent> events; State state; QString claimer; std::vector<QString> openFor; } cases[] = {
        {{}, State::Open, "", {}},
        {{claimB, claimC}, State::Claimed, "B", {}},
        {{claimB, toC}, State::Message, "B", {"C"}},
        {{toC, toCBack}, State::AwaitCallBack, "", {"C"}},
        {{toCBack, back}, State::Done, "", {}},
        {{claimB, done}, State::Done, "B", {}},
        {{toCBack, done, toC}, State::Message, "", {"C"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        const CallProgress progress = progressOf(c.events);
        EXPECT_EQ(progress.state, c.state) << stateText(c.state).toStdString();
        EXPECT_EQ(progress.claimer, c.claimer);
        EXPECT_EQ(progress.openFor, c.openFor);
    }
    EXPECT_EQ(progressOf({toC}).memo, "Cさんへ: 用件");
}

// Which notification an event is about: a followed call's by its row's key, the desk's own by number and date; and
// whom the message dialog offers, the others first.
TEST(CallProgress, NoticesAndRecipients)
{
    const QDateTime at(QDate(2026, 12, 9), QTime(10, 15, 30));
    const CallEvent event{.callId = 7, .number = "0312345678", .calldate = "2026-12-09 10:15:30"};
    // clang-format off
    const struct { CallNotice notice; bool about; } cases[] = {
        {{.number = "0312345678", .calldate = at, .callId = 7}, true},
        {{.number = "0312345678", .calldate = at, .callId = 8}, false},
        {{.number = "0312345678", .calldate = at}, true},
        {{.number = "0312345678", .calldate = at.addSecs(1)}, false},
        {{.number = "0312345679", .calldate = at}, false},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(c.notice.isAbout(event), c.about) << c.notice.callId << c.notice.calldate.toString().toStdString();
    EXPECT_EQ(LeaveMessageDialog::recipients({"田中", "佐藤", "", "鈴木", "佐藤"}, "田中"),
              QStringList({"佐藤", "鈴木", "田中"}));
}

// One claim per call whoever asks, the day's open calls and the messages still open for one person, and the people.
TEST_F(CallEventsTest, StoreKeepsOneClaimAndCounts)
{
    const qint64 first = call("0312345678"), second = call("P"), third = call("0611112222");
    call("0399999999", QDateTime::currentDateTime().addDays(-1));
    CallEventStore store(path);
    ASSERT_EQ(store.add({.callId = first, .kind = Kind::Claim, .person = "B"})->claimer, "");
    const auto lost = store.add({.callId = first, .kind = Kind::Claim, .person = "C"});
    ASSERT_TRUE(lost);
    EXPECT_EQ(lost->id, 0);
    EXPECT_EQ(lost->claimer, "B");

    EXPECT_EQ(store.counts(QDate::currentDate(), "C"), (CallCounts{2, 0}));
    store.add(
        {.callId = second, .kind = Kind::Message, .person = "B", .to = "C", .text = "折り返し", .callBack = true});
    store.add({.callId = third, .kind = Kind::Message, .person = "B", .to = "C"});
    EXPECT_EQ(store.counts(QDate::currentDate(), "C"), (CallCounts{0, 2}));
    EXPECT_EQ(store.counts(QDate::currentDate(), "A"), (CallCounts{0, 0}));
    EXPECT_EQ(store.counts(QDate::currentDate().addDays(-1), "C"), (CallCounts{1, 0}));
    store.add({.callId = second, .kind = Kind::CalledBack, .person = "C"});
    EXPECT_EQ(store.counts(QDate::currentDate(), "C"), (CallCounts{0, 1}));

    call("0312345678", QDateTime::currentDateTime().addDays(-2));
    const qint64 again = call("0312345678", QDateTime::currentDateTime().addDays(-2));
    EXPECT_EQ(store.callKey("0312345678", HistoryDatabase::dateTimeText(QDateTime::currentDateTime().addDays(-2))),
              again)
        << "the newest row of the number and date";
    EXPECT_EQ(store.callKey("0312345678", "2001-01-01 00:00:00"), 0);

    const auto events = store.eventsAbove(0, 10);
    ASSERT_TRUE(events && events->size() == 4u);
    EXPECT_EQ(events->at(1).text, "折り返し");
    EXPECT_EQ(events->at(1).number, "P");
    EXPECT_TRUE(events->at(1).callBack);
    store.seen("B");
    store.seen("C");
    QStringList people = store.people().value_or(QStringList());
    people.sort();
    EXPECT_EQ(people, QStringList({"B", "C"}));
}

// The desk's own call, claimed by its number and date before its row is written, is claimed once the row is there;
// each event is told once, none written before the desk came; and a history without the table turns the events off.
TEST_F(CallEventsTest, LiveOnASingleDesksFile)
{
    ASSERT_TRUE(CallEventStore(path).add({.callId = call("0399999999"), .kind = Kind::Claim, .person = "A"}));
    CallEvents events;
    events.setTiming({.retry = 100ms, .recount = 100ms, .rowWait = 50ms});
    std::vector<CallEvent> arrived;
    QObject::connect(&events, &CallEvents::arrived, [&](const CallEvent& e) { arrived.push_back(e); });
    events.open(path, "B");
    ASSERT_TRUE(processEventsUntil([&] { return events.status() == CallEvents::Status::Ready; }, 5s));

    const QDateTime at = QDateTime::currentDateTime();
    std::optional<CallEvents::Written> claimed;
    events.claim({0, "0312345678", at}, [&](const CallEvents::Written& w) { claimed = w; });
    processEventsUntil([] { return false; }, 200ms);
    EXPECT_FALSE(claimed) << "no row yet";
    const qint64 id = call("0312345678", at);
    ASSERT_TRUE(processEventsUntil([&] { return claimed.has_value(); }, 5s));
    EXPECT_TRUE(claimed->ok());
    EXPECT_EQ(claimed->event.callId, id);
    events.leaveMessage({id}, "C", "見積もり", true);
    ASSERT_TRUE(processEventsUntil([&] { return arrived.size() == 2; }, 5s));
    EXPECT_EQ(arrived[1].to, "C");
    EXPECT_EQ(arrived[1].calldate, HistoryDatabase::dateTimeText(at));
    processEventsUntil([] { return false; }, 300ms);
    EXPECT_EQ(arrived.size(), 2u) << "each event told once";

    const QString old = dir.filePath("old.db");
    ASSERT_TRUE(runSql(old, HistoryDatabase::createStatements(false).first()));
    events.open(old, "B");
    EXPECT_TRUE(processEventsUntil([&] { return !events.isOn(); }, 5s));
}

// Asked for while the history cannot be reached, events wait in order and are written once it can; an event another
// program writes to the file, which announces nothing, arrives with the next count.
TEST_F(CallEventsTest, WaitsForTheDatabaseAndReadsWhatOthersWrote)
{
    const QString later = dir.filePath("later.db");
    CallEvents events;
    events.setTiming({.retry = 100ms, .recount = 100ms, .rowWait = 50ms});
    std::vector<CallEvent> arrived;
    QObject::connect(&events, &CallEvents::arrived, [&](const CallEvent& e) { arrived.push_back(e); });
    events.open(later, "B");
    std::vector<CallEvents::Written> written;
    const auto done = [&](const CallEvents::Written& w) {
        written.push_back(w);
    };
    events.claim({1}, done);
    events.leaveMessage({1}, "C", "用件", false, done);
    processEventsUntil([] { return false; }, 300ms);
    EXPECT_EQ(events.status(), CallEvents::Status::Away);
    EXPECT_TRUE(written.empty());

    ASSERT_TRUE(createHistoryDatabase(later, &error)) << error.toStdString();
    HistoryRow row{"0312345678", QDateTime::currentDateTime()};
    ASSERT_EQ(SqliteHistoryStore(later).append(row), HistoryStore::Outcome::Written);
    ASSERT_TRUE(processEventsUntil([&] { return written.size() == 2; }, 5s));
    EXPECT_TRUE(written[0].ok() && written[1].ok());
    EXPECT_LT(written[0].event.id, written[1].event.id) << "in the order asked";
    EXPECT_TRUE(processEventsUntil([&] { return events.counts() == CallCounts{0, 0}; }, 5s));

    ASSERT_TRUE(CallEventStore(later).add({.callId = 1, .kind = Kind::Message, .person = "A", .to = "B"}));
    ASSERT_TRUE(processEventsUntil([&] { return arrived.size() == 3; }, 5s));
    EXPECT_EQ(arrived[2].person, "A");
    EXPECT_TRUE(processEventsUntil([&] { return events.counts() == CallCounts{0, 1}; }, 5s));
}
