// A desk following the office's calls on a throwaway PostgreSQL server: the calls other desks write open here, its own
// and late ones do not, a lost or hung server is waited out, and a desk without an adapter starts as a follower.

#include "app/Settings.h"
#include "calls/CallAnnouncements.h"
#include "calls/PostgresHistoryStore.h"
#include "dialogs/FollowDialog.h"
#include "startup/StartupSequence.h"

#include "support/HistoryRows.h"
#include "support/OfficeServer.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/TestDesk.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using State = CallFollower::State;

namespace {

const QString kPage = QStringLiteral("http://crm.example.jp/?tel=");

class CallFollowerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        std::tie(office, database) = freshOfficeHistory(error);
        ASSERT_FALSE(office.isEmpty()) << error.toStdString();
    }

    // A desk that follows the office and writes its own calls to a file of its own.
    std::unique_ptr<TestDesk> follower(const QByteArray& more = {}, bool loaded = true)
    {
        auto desk = std::make_unique<TestDesk>(TestDesk::Setup{
            .ini =
                "[SYSTEM]\ndebugmode=True\nURLinit=True\n[URL]\nbrowse=True\nhistory=True\npath3={dir}/own.db\npath1=" +
                kPage.toUtf8() + "\n[FOLLOW]\nenabled=True\nuri=" + office.toUtf8() + "\n" + more,
            .loaded = loaded});
        desk->program->follower.setTiming({.retry = 500ms, .heartbeat = 300ms, .answerWait = 700ms});
        return desk;
    }
    static bool listening(TestDesk& desk)
    {
        return processEventsUntil([&] { return desk.program->follower.state() == State::Listening; }, 10s);
    }
    // Another desk's call, written as that desk writes it.
    void call(const QString& number, const QDateTime& at = QDateTime::currentDateTime())
    {
        PostgresHistoryStore store(office);
        HistoryRow row{number, at};
        ASSERT_EQ(store.append(row), HistoryStore::Outcome::Written) << store.lastError().toStdString();
    }
    // Waits, handling no event of this thread, until the desk's listening connection has asked the server twice whether
    // it is there since now: by then it has passed on what was announced before, and that waits in this thread's queue.
    bool reportsQueued()
    {
        QList<QStringList> now;
        QSet<QString> beats;
        const QString asked = "SELECT query_start::text FROM pg_stat_activity WHERE application_name = "
                              "'chakushin-follow' AND query = 'SELECT 1' AND query_start > '%1'";
        const QDeadlineTimer deadline(10s);
        for (cluster->query(database, "SELECT clock_timestamp()::text", &now);
             !now.isEmpty() && beats.size() < 2 && !deadline.hasExpired(); QThread::msleep(20))
            if (QList<QStringList> beat; cluster->query(database, asked.arg(now[0][0]), &beat) && !beat.isEmpty())
                beats.insert(beat[0][0]);
        return beats.size() >= 2;
    }
    int rows()
    {
        QList<QStringList> result;
        return cluster->query(database, "SELECT count(*) FROM history", &result) ? result[0][0].toInt() : -1;
    }

    ThrowawayCluster* cluster = &officeServer();
    QString office;
    QString database;
};

} // namespace

// The payloads a follower takes, and those it passes over.
TEST(CallAnnouncement, Payloads)
{
    const QDateTime at(QDate(2026, 12, 9), QTime(10, 30, 5));
    // clang-format off
    const struct { const char* payload; std::optional<AnnouncedCall> call; } cases[] = {
        {R"({"id": 7, "number": "0312345678", "calldate": "2026-12-09 10:30:05", "late": false})", AnnouncedCall{7, "0312345678", at, false}},
        {R"({"id": 8, "number": "", "calldate": "2026-12-09 10:30:05", "late": true})", AnnouncedCall{8, "", at, true}},
        {R"({"id": 9, "number": "03\"1\n&", "calldate": "2026-12-09 10:30:05"})", AnnouncedCall{9, "03\"1\n&", at, false}},
        {R"({"number": "03", "calldate": "2026-12-09 10:30:05"})", std::nullopt},
        {R"({"id": "9", "number": "03", "calldate": "2026-12-09 10:30:05"})", std::nullopt},
        {R"({"id": 9, "number": 3, "calldate": "2026-12-09 10:30:05"})", std::nullopt},
        {R"({"id": 9, "number": "03", "calldate": "2026-12-09"})", std::nullopt},
        {"[1, 2]", std::nullopt},
        {"0312345678", std::nullopt},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(parseCallAnnouncement(c.payload), c.call) << c.payload;
}

// The announcing function runs in the inserting desk's session, and its names must not resolve in a schema that
// session puts before the catalog.
TEST_F(CallFollowerTest, AnnouncementKeepsItsOwnSearchPath)
{
    QList<QStringList> config;
    ASSERT_TRUE(cluster->query(database,
                               "SELECT array_to_string(proconfig, ';') FROM pg_proc WHERE proname = "
                               "'chakushin_announce_call'",
                               &config));
    EXPECT_EQ(config, QList<QStringList>({{"search_path=pg_catalog, pg_temp"}}));
}

// Another desk's call shows its number, opens this desk's page, percent-encoded, is announced, and writes nothing here.
// A call this desk took itself, and one written late, open nothing; the late one is counted and told.
TEST_F(CallFollowerTest, OpensOtherDesksCallsOnly)
{
    auto desk = follower();
    desk->window().cbMachiuke->click();
    ASSERT_TRUE(listening(*desk));
    EXPECT_EQ(desk->tray.tip, desk->state().systemSettings.appName + "\n着信をフォローしています");

    call(QStringLiteral("0312345678"));
    ASSERT_TRUE(processEventsUntil([&] { return desk->browser.urls.size() == 1; }, 5s));
    EXPECT_EQ(desk->window().txtRecvData->text(), "0312345678");

    const QDateTime own = QDateTime::currentDateTime();
    desk->program->history.journal(QStringLiteral("0598765432"), own);
    call(QStringLiteral("0598765432"), own);
    call(QStringLiteral("0311112222"), QDateTime::currentDateTime().addSecs(-60));
    call(QStringLiteral("03\"1 2&x=1\n#"));
    ASSERT_TRUE(processEventsUntil([&] { return desk->browser.urls.size() == 2; }, 5s));
    processEventsUntil([] { return false; }, 300ms);

    EXPECT_EQ(desk->browser.urls, QStringList({kPage + "0312345678", kPage + "03%221%202%26x%3D1%0A%23"}));
    EXPECT_EQ(desk->program->follower.missedCalls(), 1);
    EXPECT_TRUE(desk->tray.messages.contains("着信\n0312345678")) << "without a notification service, the tray";
    EXPECT_EQ(desk->tray.messages.size(), 3) << "two calls announced, one counted";
    EXPECT_EQ(rows(), 4);
    EXPECT_EQ(historyRows(desk->dir.filePath("own.db")).size(), 0u) << "a followed call is the other desk's row";

    desk->window().cbMachiuke->click();
    EXPECT_EQ(desk->program->follower.state(), State::Off);
    call(QStringLiteral("0399999999"));
    processEventsUntil([] { return false; }, 500ms);
    EXPECT_EQ(desk->browser.urls.size(), 2) << "standby off opens nothing";
}

// A follower stopped and started again while the reports of its connection wait in the queue (a call to open, one
// written late): they are dropped when they come, so no page opens for them, nothing is counted, and the state is the
// new connection's.
TEST_F(CallFollowerTest, StoppedWithReportsQueued)
{
    QList<State> states; // outlives the desk, which stops following as it goes
    auto desk = follower();
    CallFollower& following = desk->program->follower;
    desk->window().cbMachiuke->click();
    ASSERT_TRUE(listening(*desk));

    call(QStringLiteral("0312345678"));
    call(QStringLiteral("0311112222"), QDateTime::currentDateTime().addSecs(-60));
    ASSERT_TRUE(reportsQueued());
    QObject::connect(&following, &CallFollower::stateChanged, [&states](State state) { states << state; });
    following.stop();
    following.start();
    ASSERT_TRUE(listening(*desk));
    call(QStringLiteral("0333333333"));
    ASSERT_TRUE(processEventsUntil([&] { return desk->browser.urls.contains(kPage + "0333333333"); }, 5s));

    EXPECT_EQ(desk->browser.urls, QStringList({kPage + "0333333333"}));
    EXPECT_EQ(desk->tray.messages, QStringList({"着信\n0333333333"}));
    EXPECT_EQ(following.missedCalls(), 0);
    EXPECT_EQ(states, QList<State>({State::Off, State::Connecting, State::Listening}));
    EXPECT_EQ(desk->tray.tip, desk->state().systemSettings.appName + "\n着信をフォローしています");
}

// The connection cut: the desk says it reconnects, connects again by itself, and counts the calls written meanwhile
// instead of opening them; later calls open.
TEST_F(CallFollowerTest, ReconnectsAndCountsWhatItMissed)
{
    auto desk = follower();
    desk->program->follower.setTiming({.retry = 2s, .heartbeat = 5s, .answerWait = 5s});
    desk->window().cbMachiuke->click();
    ASSERT_TRUE(listening(*desk));

    ASSERT_TRUE(cluster->query(database, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                                         "application_name = 'chakushin-follow'"));
    ASSERT_TRUE(processEventsUntil([&] { return desk->program->follower.state() == State::Reconnecting; }, 5s));
    EXPECT_EQ(desk->tray.tip, desk->state().systemSettings.appName + "\n着信のフォロー先に接続し直しています…");
    call(QStringLiteral("0311111111"));
    call(QStringLiteral("0322222222"));
    ASSERT_TRUE(listening(*desk));
    EXPECT_EQ(desk->program->follower.missedCalls(), 2);
    EXPECT_TRUE(desk->tray.messages.value(0).contains("2 件")) << desk->tray.messages.value(0).toStdString();

    call(QStringLiteral("0333333333"));
    ASSERT_TRUE(processEventsUntil([&] { return !desk->browser.urls.isEmpty(); }, 5s));
    EXPECT_EQ(desk->browser.urls, QStringList({kPage + "0333333333"}));
}

// A server that stops answering (SIGSTOP) never holds up the window: its events run throughout, the desk notices and
// reconnects; once the server goes on (SIGCONT) calls open again.
TEST_F(CallFollowerTest, HungServerKeepsTheWindowResponsive)
{
    auto desk = follower();
    desk->window().cbMachiuke->click();
    ASSERT_TRUE(listening(*desk));

    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    ASSERT_TRUE(cluster->freeze());
    sinceTick.start();
    ticks.start(20);
    const bool noticed =
        processEventsUntil([&] { return desk->program->follower.state() == State::Reconnecting; }, 10s);
    processEventsUntil([] { return false; }, 3s); // connection attempts held up by the server
    desk->program->openFollowSettings().reject();
    ticks.stop();
    ASSERT_TRUE(cluster->thaw());
    EXPECT_TRUE(noticed);
    // A connection attempt alone would hold a thread for its 2 s time-out.
    EXPECT_LT(longestGap, 1000) << "the window's events waited for the server";

    ASSERT_TRUE(listening(*desk));
    call(QStringLiteral("0312345678"));
    EXPECT_TRUE(processEventsUntil([&] { return desk->browser.urls == QStringList{kPage + "0312345678"}; }, 5s));
}

// A desk that follows and has no adapter starts without the adapter check and its steps, asks about standby, and
// stands by listening; the dialog turns following off, and with it that standby.
TEST_F(CallFollowerTest, DeskWithoutAnAdapterStartsAsAFollower)
{
    auto desk = follower("[SYSTEM]\nCommPort=\nCOMMinit=False\n", false);
    QStringList steps;
    const auto step = [&](const char* name) {
        return [&steps, name] {
            steps << name;
        };
    };
    desk->boxes.answers = {MessageBoxes::Answer::Yes};
    StartupSequence startup(desk->state(), desk->boxes, desk->pauser, desk->comm(), desk->window(),
                            {step("adapter"), step("cti"), step("url")});
    ASSERT_EQ(startup.run(), StartupSequence::Outcome::Running);
    EXPECT_TRUE(steps.isEmpty()) << steps.join(' ').toStdString();
    ASSERT_EQ(desk->boxes.shown.size(), 1u);
    EXPECT_EQ(desk->boxes.shown[0].text, "待ち受けを開始しますか？");
    ASSERT_TRUE(listening(*desk));
    EXPECT_EQ(desk->window().cbMachiuke->text(), "待ち受け停止");
    EXPECT_EQ(desk->state().appState, AppStateCode::StandbyOn);

    FollowDialog& dialog = desk->program->openFollowSettings();
    dialog.txtFollowUri->setText("/var/lib/office.db");
    dialog.cmdOK->click();
    EXPECT_EQ(desk->boxes.shown.size(), 2u) << "a file cannot be followed";
    dialog.txtFollowUri->setText(office + "?application_name=desk7");
    dialog.cmdOK->click();
    ASSERT_TRUE(listening(*desk));
    EXPECT_EQ(desk->window().cbMachiuke->text(), "待ち受け停止") << "another URI, still following";
    QList<QStringList> desk7;
    ASSERT_TRUE(cluster->query(database, "SELECT 1 FROM pg_stat_activity WHERE application_name = 'desk7'", &desk7));
    EXPECT_EQ(desk7.size(), 1);

    FollowDialog& again = desk->program->openFollowSettings();
    again.chkFollow->setChecked(false);
    again.txtFollowUri->setText(office);
    again.cmdOK->click();
    EXPECT_EQ(ReadIni(desk->state(), "FOLLOW", "enabled"), "False");
    EXPECT_EQ(ReadIni(desk->state(), "FOLLOW", "uri"), office);
    EXPECT_EQ(desk->program->follower.state(), State::Off);
    EXPECT_EQ(desk->window().cbMachiuke->text(), "待ち受け開始");
    EXPECT_EQ(desk->state().appState, AppStateCode::StandbyOff);
}
