// The whole path from the adapter's serial line to the browser and the history database,
// for every shipped adapter profile, with the adapter simulator on a real pseudo-terminal.

#include "app/Settings.h"
#include "calls/DatabaseCallHistory.h"
#include "calls/SqliteHistoryStore.h"
#include "link/ReceiveProcessor.h"
#include "link/frmComm.h"

#include "AdapterSimulator.h"
#include "support/FakeCallDisplay.h"
#include "support/FakeTerminalWindow.h"
#include "support/HistoryRows.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingPauser.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace {

const QString kUrl = QStringLiteral("http://crm.example.jp/customer?tel=");

template<typename Condition> bool processEventsUntil(Condition done, std::chrono::milliseconds patience = 5s)
{
    const QDeadlineTimer deadline(patience);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// One adapter model configured in a fresh application directory, with the simulator playing
// it and the program's receive path wired as it runs: the real serial link, the receive
// routines, the SQLite history, and recording fakes where a person or a browser would be.
class Installation
{
public:
    explicit Installation(const QString& model)
    {
        dir.copyShippedSettings();
        sim = std::make_unique<AdapterSimulator>(AdapterSimProfile::load(dir.settingsPath(), model));
        databasePath = dir.filePath(QStringLiteral("cti.mdb"));
        createHistoryDatabase(databasePath);

        SharedState setup = dir.makeState();
        LoadSettings(setup);
        for (int i = 1; i <= 5; ++i) {
            if (setup.adapterModels[i] == model)
                WriteIni(setup, "SYSTEM", "adapter", QString::number(i));
        }
        WriteIni(setup, "SYSTEM", "CommPort", "3");
        WriteIni(setup, "PORTS", "COM3", sim->portPath());
        WriteIni(setup, "URL", "browse", "True");
        WriteIni(setup, "URL", "history", "True");
        WriteIni(setup, "URL", "path1", kUrl);
        WriteIni(setup, "URL", "path3", databasePath);

        state = dir.makeState();
        ReadWriteAppSettings(state, "READ");
        LoadSettings(state);
        history = std::make_unique<DatabaseCallHistory>(state, boxes);
        receive = std::make_unique<ReceiveProcessor>(state, boxes, launcher, *history, &display);
        comm = std::make_unique<frmComm>(state, boxes, pauser, *receive);
        comm->setTerminalWindow(&window);
    }
    ~Installation() { comm->setTerminalWindow(nullptr); }

    TempAppDir dir;
    std::unique_ptr<AdapterSimulator> sim;
    QString databasePath;
    SharedState state;
    ScriptedMessageBoxes boxes;
    RecordingPauser pauser;
    RecordingBrowserLauncher launcher;
    FakeCallDisplay display;
    FakeTerminalWindow window;
    std::unique_ptr<DatabaseCallHistory> history;
    std::unique_ptr<ReceiveProcessor> receive;
    std::unique_ptr<frmComm> comm;
};

class EndToEnd : public ::testing::TestWithParam<const char*>
{};

// The adapter is identified as the configured model, the way the start-up checks it.
TEST_P(EndToEnd, AdapterIsIdentifiedAsTheConfiguredModel)
{
    Installation app(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(app.sim->isValid());
    ASSERT_TRUE(app.comm->OpenPort(0));
    const AdapterProfile& profile = app.state.adapterProfile;
    app.state.rcvMode = RcvMode::Initial;
    if (profile.kind == "INS") {
        for (int i = 1; i <= profile.icommandCount; ++i) {
            ASSERT_TRUE(app.comm->SendCommand(profile.icommand[i]));
            QCoreApplication::processEvents();
        }
    }
    EXPECT_EQ(app.comm->WaitForReply(RcvMode::Initial, profile.getinfo, frmComm::kWaitInterval), ReplyStatus::Handled);
    EXPECT_EQ(app.state.detectedModel, app.state.adapterModel);
    EXPECT_TRUE(app.boxes.shown.empty());

    // Answering as another model of the list fails the check: an ISDN adapter names the
    // other model, the others give no reply that counts and the wait runs out.
    app.sim->answerAs(app.state.adapterModels[1] == app.state.adapterModel ? app.state.adapterModels[2]
                                                                           : app.state.adapterModels[1]);
    app.state.detectedModel.clear();
    const ReplyStatus status = app.comm->WaitForReply(RcvMode::Initial, profile.getinfo, 1s);
    if (profile.kind == "INS") {
        EXPECT_EQ(status, ReplyStatus::Handled);
        EXPECT_EQ(app.state.detectedModel, app.sim->answeringAs());
    } else {
        EXPECT_EQ(status, ReplyStatus::TimedOut);
        EXPECT_TRUE(app.state.detectedModel.isEmpty());
    }
}

// In standby an incoming call opens the URL with the number and appends the history row.
TEST_P(EndToEnd, IncomingCallOpensBrowserAndWritesHistory)
{
    Installation app(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(app.sim->isValid());
    app.state.appState = AppStateCode::StandbyOn;
    app.state.rcvMode = RcvMode::Idle;
    ASSERT_TRUE(app.comm->OpenPort(0));

    app.sim->raiseCall(QStringLiteral("0312345678"));
    ASSERT_TRUE(processEventsUntil([&] { return app.launcher.urls.size() == 1; }));
    app.sim->raiseCall(QStringLiteral("09087654321"));
    ASSERT_TRUE(processEventsUntil([&] { return app.launcher.urls.size() == 2; }));

    EXPECT_EQ(app.launcher.urls, QStringList({kUrl + "0312345678", kUrl + "09087654321"}));
    EXPECT_EQ(app.display.text, "09087654321");
    const auto rows = historyRows(app.databasePath);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].first, "0312345678");
    EXPECT_EQ(rows[1].first, "09087654321");
    EXPECT_LE(rows[0].second, rows[1].second);
    EXPECT_TRUE(app.boxes.shown.empty());
}

// The watchdog keeps standby while the adapter answers its polls and ends it when it falls silent.
TEST_P(EndToEnd, WatchdogEndsStandbyWhenTheAdapterFallsSilent)
{
    Installation app(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(app.sim->isValid());
    app.state.appState = AppStateCode::StandbyOn;
    app.state.rcvMode = RcvMode::Idle;
    ASSERT_TRUE(app.comm->OpenPort(0));
    app.state.watchAck = WatchAck::Answered;

    app.comm->watchTimer_Timer();
    ASSERT_TRUE(processEventsUntil([&] { return app.state.watchAck == WatchAck::Answered; }));
    app.comm->watchTimer_Timer();
    ASSERT_TRUE(processEventsUntil([&] { return app.state.watchAck == WatchAck::Answered; }));
    EXPECT_EQ(app.state.appState, AppStateCode::StandbyOn);
    EXPECT_EQ(app.sim->commandsReceived().count(app.state.adapterProfile.icommand[1]), 2);

    app.sim->setSilent(true);
    app.comm->watchTimer_Timer();
    processEventsUntil([] { return false; }, 300ms);
    EXPECT_EQ(app.state.watchAck, WatchAck::Outstanding);
    EXPECT_TRUE(app.comm->IsPortOpen());
    app.comm->watchTimer_Timer();
    EXPECT_EQ(app.state.appState, AppStateCode::AdapterFault);
    EXPECT_FALSE(app.comm->IsPortOpen());
    ASSERT_EQ(app.boxes.shown.size(), 1u);
    EXPECT_EQ(app.boxes.shown[0].text, QStringLiteral("アダプタに異常が検出されました。"));
}

// A call whose message box stays open across three watchdog ticks (here the browser cannot be
// found) while the adapter goes on answering and a second call comes in: standby stays on;
// once the box is closed the second call is handled, each history row carries the time its
// call arrived, and the watchdog goes on polling.
TEST_P(EndToEnd, AnOpenMessageBoxKeepsStandbyAndEachCallsTime)
{
    Installation app(QString::fromUtf8(GetParam()));
    ASSERT_TRUE(app.sim->isValid());
    app.state.appState = AppStateCode::StandbyOn;
    app.state.rcvMode = RcvMode::Idle;
    app.state.watchAck = WatchAck::Answered;
    ASSERT_TRUE(app.comm->OpenPort(0));
    const QString& poll = app.state.adapterProfile.icommand[1];
    app.comm->watchTimer_Timer();
    ASSERT_TRUE(processEventsUntil([&] { return app.state.watchAck == WatchAck::Answered; }));

    app.launcher.failWithMessage = &app.boxes;
    QDateTime secondRaised;
    QDateTime firstBoxClosing;
    int pollsDuringBox = -1;
    app.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
        if (firstBoxClosing.isValid())
            return;
        const qsizetype pollsBefore = app.sim->commandsReceived().count(poll);
        for (int tick = 0; tick < 3; ++tick) {
            app.comm->watchTimer_Timer();
            processEventsUntil([] { return false; }, 300ms);
            if (tick == 0) {
                secondRaised = QDateTime::currentDateTime();
                app.sim->raiseCall(QStringLiteral("09087654321"));
            }
        }
        processEventsUntil([] { return false; }, 1500ms);
        EXPECT_EQ(app.state.appState, AppStateCode::StandbyOn);
        pollsDuringBox = static_cast<int>(app.sim->commandsReceived().count(poll) - pollsBefore);
        firstBoxClosing = QDateTime::currentDateTime();
    };
    app.sim->raiseCall(QStringLiteral("0312345678"));
    ASSERT_TRUE(processEventsUntil([&] { return historyRows(app.databasePath).size() == 2; }));
    EXPECT_EQ(pollsDuringBox, 0);
    EXPECT_EQ(app.launcher.urls, QStringList({kUrl + "0312345678", kUrl + "09087654321"}));
    const auto rows = historyRows(app.databasePath);
    EXPECT_EQ(rows[0].first, "0312345678");
    EXPECT_EQ(rows[1].first, "09087654321");
    const QDateTime secondRow = QDateTime::fromString(rows[1].second, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_GE(secondRow.addSecs(1), secondRaised);
    EXPECT_LE(secondRow.addSecs(1), firstBoxClosing) << "recorded when it arrived, not when the box closed";

    app.comm->watchTimer_Timer();
    ASSERT_TRUE(processEventsUntil([&] { return app.state.watchAck == WatchAck::Answered; }));
    app.comm->watchTimer_Timer();
    EXPECT_EQ(app.state.appState, AppStateCode::StandbyOn);
    EXPECT_EQ(app.boxes.shown.size(), 2u) << "the two launcher messages and nothing else";
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
        app.sim->setCtiPorts(c.ports);
        ASSERT_TRUE(app.comm->OpenPort(0));
        SystemSettings& s = app.state.systemSettings;
        s.ctiSettings1.clear();
        s.ctiSettings2.clear();
        s.ctiSettings3.clear();
        const AdapterProfile& profile = app.state.adapterProfile;
        for (int query = 1; query <= 5 && !profile.getCtiInfo[query].isEmpty(); ++query) {
            app.state.ctiQueryIndex = static_cast<std::int16_t>(query);
            EXPECT_EQ(app.comm->WaitForReply(RcvMode::GetAInfo, profile.getCtiInfo[query], 2s), ReplyStatus::Handled);
        }
        EXPECT_EQ(QStringList({s.ctiSettings1, s.ctiSettings2, s.ctiSettings3}), c.expected);
    }
}

std::string testName(const ::testing::TestParamInfo<const char*>& info)
{
    QString name = QString::fromUtf8(info.param);
    if (name == QStringLiteral("ソラノT1"))
        return "SoranoT1";
    return name.remove(u'-').toStdString();
}

INSTANTIATE_TEST_SUITE_P(ShippedProfiles, EndToEnd,
                         ::testing::Values("CTI-INS100", "CTI-INS200", "CTI-AN10", "ソラノT1"), testName);

} // namespace
