// The whole path from the adapter's serial line to the browser and the history database,
// for every shipped adapter profile, with the adapter simulator on a real pseudo-terminal.

#include "history/SqliteHistoryStore.h"
#include "link/AdapterConversation.h"
#include "ui/frmTerminal.h"

#include "support/HistoryRows.h"
#include "support/ProcessEventsUntil.h"
#include "support/TestDesk.h"

#include <QDateTime>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace std::chrono_literals;

namespace {

const QString kUrl = QStringLiteral("http://crm.example.jp/customer?tel=");
const char* const kModels[] = {"CTI-INS100", "CTI-INS200", "CTI-AN10", "ソラノT1"};

bool settle(const std::function<bool()>& done, std::chrono::milliseconds patience = 5s)
{
    return processEventsUntil(done, patience);
}

QByteArray shippedIndex(const QString& model)
{
    for (int i = 0; i < 4; ++i)
        if (model == QString::fromUtf8(kModels[i]))
            return QByteArray::number(i + 1);
    return "0";
}

// A desk set up for `model` (its place in the shipped list): the simulator on COM3, the
// browser and the history on, the history database in the application directory.
struct Installation
{
    explicit Installation(const QString& model)
        : desk({.ini = "[SYSTEM]\nCommPort=3\nadapter=" + shippedIndex(model) +
                       "\n[URL]\nbrowse=True\nhistory=True\npath1=" + kUrl.toUtf8() + "\npath3={dir}/cti.mdb\n",
                .adapter = model})
        , databasePath(desk.dir.filePath(QStringLiteral("cti.mdb")))
        , conversation(desk.state(), desk.comm(), desk.pauser)
    {
        createHistoryDatabase(databasePath);
        desk.window();
    }

    // Standby as the toggle starts it; the tests tick the watchdog themselves.
    bool standBy()
    {
        const bool started = conversation.startStandby() == AdapterConversation::StandbyStart::Started;
        desk.comm().stopWatchdog();
        return started;
    }

    TestDesk desk;
    QString databasePath;
    AdapterConversation conversation;
    SharedState& state = desk.state();
    frmComm& comm = desk.comm();
    AdapterSimulator& sim = *desk.sim;
};

class EndToEnd : public ::testing::TestWithParam<const char*>
{};

// The adapter is identified as the configured model, the way the start-up checks it.
TEST_P(EndToEnd, AdapterIsIdentifiedAsTheConfiguredModel)
{
    Installation app(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(app.sim.isValid());
    EXPECT_TRUE(app.conversation.checkConfiguredAdapter(0ms, frmComm::kWaitInterval));
    EXPECT_EQ(app.comm.reply().detectedModel, app.state.adapterModel);
    const AdapterProfile& profile = app.state.adapterProfile;
    for (int i = 1; profile.kind == "INS" && i <= profile.icommandCount; ++i)
        EXPECT_TRUE(app.sim.commandsReceived().contains(profile.icommand[i])) << i;
    EXPECT_TRUE(app.desk.boxes.shown.empty());

    // Answering as another model of the list fails the check: an ISDN adapter names the
    // other model, the others give no reply that counts and the wait runs out.
    app.sim.answerAs(app.state.adapterModels[1] == app.state.adapterModel ? app.state.adapterModels[2]
                                                                          : app.state.adapterModels[1]);
    app.comm.reply().detectedModel.clear();
    const AdapterConversation::Identification reply = app.conversation.identify(RcvMode::Initial, 1s);
    if (profile.kind == "INS") {
        EXPECT_EQ(reply.status, ReplyStatus::Handled);
        EXPECT_EQ(reply.model, app.sim.answeringAs());
    } else {
        EXPECT_EQ(reply.status, ReplyStatus::TimedOut);
        EXPECT_TRUE(reply.model.isEmpty());
    }
}

// In standby an incoming call opens the URL with the number and appends the history row.
TEST_P(EndToEnd, IncomingCallOpensBrowserAndWritesHistory)
{
    Installation app(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(app.sim.isValid());
    ASSERT_TRUE(app.standBy());

    app.sim.raiseCall(QStringLiteral("0312345678"));
    ASSERT_TRUE(settle([&] { return app.desk.browser.urls.size() == 1; }));
    app.sim.raiseCall(QStringLiteral("09087654321"));
    ASSERT_TRUE(settle([&] { return app.desk.browser.urls.size() == 2; }));

    EXPECT_EQ(app.desk.browser.urls, QStringList({kUrl + "0312345678", kUrl + "09087654321"}));
    EXPECT_EQ(app.desk.window().txtRecvData->text(), "09087654321");
    const auto rows = historyRows(app.databasePath);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].first, "0312345678");
    EXPECT_EQ(rows[1].first, "09087654321");
    EXPECT_LE(rows[0].second, rows[1].second);
    EXPECT_TRUE(app.desk.boxes.shown.empty());
}

// The watchdog keeps standby while the adapter answers its polls and ends it when it falls silent.
TEST_P(EndToEnd, WatchdogEndsStandbyWhenTheAdapterFallsSilent)
{
    Installation app(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(app.sim.isValid());
    ASSERT_TRUE(app.standBy());
    app.state.watchAck = WatchAck::Answered;

    app.comm.watchTimer_Timer();
    ASSERT_TRUE(settle([&] { return app.state.watchAck == WatchAck::Answered; }));
    app.comm.watchTimer_Timer();
    ASSERT_TRUE(settle([&] { return app.state.watchAck == WatchAck::Answered; }));
    EXPECT_EQ(app.state.appState, AppStateCode::StandbyOn);
    EXPECT_EQ(app.sim.commandsReceived().count(app.state.adapterProfile.icommand[1]), 2);

    app.sim.setSilent(true);
    for (int tick = 0; tick < frmComm::kUnansweredPolls; ++tick) {
        app.comm.watchTimer_Timer();
        settle([] { return false; }, 300ms);
        EXPECT_EQ(app.state.watchAck, WatchAck::Outstanding);
        EXPECT_TRUE(app.comm.IsPortOpen());
    }
    app.comm.watchTimer_Timer();
    EXPECT_EQ(app.state.appState, AppStateCode::AdapterFault);
    EXPECT_FALSE(app.comm.IsPortOpen());
    ASSERT_EQ(app.desk.boxes.shown.size(), 1u);
    EXPECT_EQ(app.desk.boxes.shown[0].text, QStringLiteral("アダプタに異常が検出されました。"));
}

// Line noise on a watching line: a stray byte just before the watchdog's answer ends no standby, and a call whose
// line is half read when a poll goes out is handled whole, its answer after it.
TEST_P(EndToEnd, LineNoiseNextToThePollEndsNoStandby)
{
    Installation app(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(app.standBy());
    const AdapterSimProfile& profile = app.sim.profile();
    const QByteArray call = profile.controlCodeFraming()
                                ? "\x02" + AdapterSimulator::frameText("120910001", "0312345678").toUtf8() + "\x03"
                                : (profile.ring + "0312345678" + (profile.isIns() ? ";1" : ":1") + "\r\n").toUtf8();
    // Each stray piece waits when a poll goes out; a call's half is finished (the adapter ends its line before it
    // answers), the others glue themselves to the answer.
    for (const QByteArray& stray : {QByteArray("\xfe"), QByteArray("~+"), call.first(call.size() / 2)}) {
        app.sim.sendBytes(stray);
        settle([] { return false; }, 100ms);
        bool rest = stray == call.first(stray.size());
        app.desk.pauser.onPause = [&](std::chrono::milliseconds) {
            if (std::exchange(rest, false))
                app.sim.sendBytes(call.sliced(stray.size()));
        };
        app.comm.watchTimer_Timer();
        app.desk.pauser.onPause = {};
        settle([] { return false; }, 300ms);
        app.comm.watchTimer_Timer();
        EXPECT_TRUE(settle([&] { return app.state.watchAck == WatchAck::Answered; })) << stray.toHex().constData();
    }
    app.sim.raiseCall(QStringLiteral("09087654321"));
    ASSERT_TRUE(settle([&] { return app.desk.browser.urls.size() == 2; }));
    EXPECT_EQ(app.desk.browser.urls, QStringList({kUrl + "0312345678", kUrl + "09087654321"}));
    EXPECT_EQ(std::pair(app.state.appState, app.desk.boxes.shown.size()),
              std::pair(AppStateCode::StandbyOn, std::size_t(0)));
}

// A call whose message box stays open across three watchdog ticks (here the browser cannot be
// found) while the adapter goes on answering and a second call comes in: standby stays on;
// once the box is closed the second call is handled, each history row carries the time its
// call arrived, and the watchdog goes on polling.
TEST_P(EndToEnd, AnOpenMessageBoxKeepsStandbyAndEachCallsTime)
{
    Installation app(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(app.sim.isValid());
    ASSERT_TRUE(app.standBy());
    app.state.watchAck = WatchAck::Answered;
    const QString& poll = app.state.adapterProfile.icommand[1];
    app.comm.watchTimer_Timer();
    ASSERT_TRUE(settle([&] { return app.state.watchAck == WatchAck::Answered; }));

    app.desk.browser.failWithMessage = &app.desk.boxes;
    QDateTime secondRaised;
    QDateTime firstBoxClosing;
    int pollsDuringBox = -1;
    app.desk.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
        if (firstBoxClosing.isValid())
            return;
        const qsizetype pollsBefore = app.sim.commandsReceived().count(poll);
        for (int tick = 0; tick < 3; ++tick) {
            app.comm.watchTimer_Timer();
            settle([] { return false; }, 300ms);
            if (tick == 0) {
                secondRaised = QDateTime::currentDateTime();
                app.sim.raiseCall(QStringLiteral("09087654321"));
            }
        }
        settle([] { return false; }, 1500ms);
        EXPECT_EQ(app.state.appState, AppStateCode::StandbyOn);
        pollsDuringBox = static_cast<int>(app.sim.commandsReceived().count(poll) - pollsBefore);
        firstBoxClosing = QDateTime::currentDateTime();
    };
    app.sim.raiseCall(QStringLiteral("0312345678"));
    ASSERT_TRUE(settle([&] { return historyRows(app.databasePath).size() == 2; }));
    EXPECT_EQ(pollsDuringBox, 0);
    EXPECT_EQ(app.desk.browser.urls, QStringList({kUrl + "0312345678", kUrl + "09087654321"}));
    const auto rows = historyRows(app.databasePath);
    EXPECT_EQ(rows[0].first, "0312345678");
    EXPECT_EQ(rows[1].first, "09087654321");
    const QDateTime secondRow = QDateTime::fromString(rows[1].second, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_GE(secondRow.addSecs(1), secondRaised);
    EXPECT_LE(secondRow.addSecs(1), firstBoxClosing) << "recorded when it arrived, not when the box closed";

    app.comm.watchTimer_Timer();
    ASSERT_TRUE(settle([&] { return app.state.watchAck == WatchAck::Answered; }));
    app.comm.watchTimer_Timer();
    EXPECT_EQ(app.state.appState, AppStateCode::StandbyOn);
    EXPECT_EQ(app.desk.boxes.shown.size(), 2u) << "the two launcher messages and nothing else";
}

// The CTI read-out of both ISDN schemes against the adapter's own notification state.
TEST(EndToEndCti, ReadOutReflectsTheAdaptersPortSettings)
{
    struct Case
    {
        const char* model;
        std::array<bool, 3> ports;
        QStringList expected;
    };
    const Case cases[] = {
        {"CTI-INS100", {true, true, false}, {"1", "1", "1"}},  {"CTI-INS100", {true, false, false}, {"1", "0", "0"}},
        {"CTI-INS100", {false, true, false}, {"0", "1", "0"}}, {"CTI-INS100", {false, false, false}, {"0", "0", "0"}},
        {"CTI-INS200", {false, true, true}, {"0", "1", "1"}},  {"CTI-INS200", {true, false, false}, {"1", "0", "0"}},
    };
    for (const Case& c : cases) {
        Installation app(QString::fromUtf8(c.model));
        SCOPED_TRACE(c.model);
        app.sim.setCtiPorts(c.ports);
        ASSERT_TRUE(app.conversation.openConfiguredPort());
        QTimer wait;
        const AdapterConversation::CtiReadOut readOut = app.conversation.readOutCti(wait, 2s);
        EXPECT_EQ(readOut.status, ReplyStatus::Handled);
        EXPECT_TRUE(readOut.complete);
        const std::array<QString, 3> values = readOut.values.value_or(std::array<QString, 3>());
        EXPECT_EQ(QStringList(values.begin(), values.end()), c.expected);
    }
}

std::string testName(const ::testing::TestParamInfo<const char*>& info)
{
    QString name = QString::fromUtf8(info.param);
    if (name == QStringLiteral("ソラノT1"))
        return "SoranoT1";
    return name.remove(u'-').toStdString();
}

INSTANTIATE_TEST_SUITE_P(ShippedProfiles, EndToEnd, ::testing::ValuesIn(kModels), testName);

} // namespace
