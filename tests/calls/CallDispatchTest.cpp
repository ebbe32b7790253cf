#include "calls/CallDispatch.h"
#include "app/SharedState.h"
#include "support/CallEventLog.h"
#include "support/FakeCallDisplay.h"
#include "support/QStringPrinter.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingCallHistory.h"
#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

struct DispatchRig
{
    DispatchRig()
    {
        state.systemSettings.appName = QStringLiteral("着信");
        state.adapterProfile.ring = QStringLiteral("RING");
        state.urlSettings.browse = QStringLiteral("True");
        state.urlSettings.history = QStringLiteral("True");
        state.urlSettings.path1 = QStringLiteral("http://crm.example.jp/?tel=");
    }

    SharedState state;
    ScriptedMessageBoxes boxes;
    CallEventLog log;
    FakeCallDisplay display{&log};
    RecordingBrowserLauncher launcher{&log};
    RecordingCallHistory history{&log};
    CallDispatch dispatch{state, boxes, launcher, history, &display};
};

} // namespace

// The two switches are compared with exactly "True": any other spelling is off, and each
// switch governs only its own action; the display is always set.
TEST(CallDispatch, SwitchesComparedWithExactlyTrue)
{
    struct Row
    {
        const char* browse;
        const char* history;
        QStringList events;
    };
    const QString display = QStringLiteral("display:0312");
    const QString browser = QStringLiteral("browser:http://crm.example.jp/?tel=0312");
    const QString history = QStringLiteral("history:0312");
    const std::vector<Row> rows = {
        {"True", "True", {display, browser, history}},
        {"True", "False", {display, browser}},
        {"False", "True", {display, history}},
        {"true", "TRUE", {display}},
        {"1", " True", {display}},
        {"", "", {display}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.browse << "/" << row.history);
        DispatchRig rig;
        rig.state.urlSettings.browse = s(row.browse);
        rig.state.urlSettings.history = s(row.history);
        rig.dispatch.dispatch(QStringLiteral("0312"));
        EXPECT_EQ(rig.log.events, row.events);
    }
}

// The URL is path1 followed directly by the number whatever path1 ends with, and numbers
// that would be dangerous in a shell or in SQL reach launcher and history unchanged.
TEST(CallDispatch, NumbersAndUrlsPassUnchanged)
{
    struct Row
    {
        const char* path1;
        const char* number;
    };
    const std::vector<Row> rows = {
        {"http://crm.example.jp/?tel=", "0312345678"},
        {"http://crm.example.jp/", "0312345678"},
        {"http://crm.example.jp", "0312345678"},
        {"", "0312345678"},
        {"http://x/?q=", "\"0312\"; rm -rf / $(reboot) `id`"},
        {"http://x/?q=", "03 12&tel='1' OR 1=1;--"},
        {"http://x/?q=", "０３１２％"},
        {"http://x/?q=", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.number);
        DispatchRig rig;
        rig.state.urlSettings.path1 = s(row.path1);
        rig.dispatch.dispatch(s(row.number));
        EXPECT_EQ(rig.display.text, s(row.number));
        EXPECT_EQ(rig.launcher.urls, QStringList({s(row.path1) + s(row.number)}));
        EXPECT_EQ(rig.history.numbers, QStringList({s(row.number)}));
    }
}

// Hostile numbers cut from real notifications survive extraction and dispatch unchanged.
TEST(CallDispatch, HostileNotificationsReachActionsUnchanged)
{
    DispatchRig rig;
    rig.dispatch.isdnNotification(QStringLiteral("RING'$(id)\"` ;rest"));
    EXPECT_EQ(rig.history.numbers, QStringList({s("'$(id)\"`")}));
    rig.state.adapterProfile.ring = QStringLiteral("CALL");
    ASSERT_FALSE(rig.dispatch.analogNotification(QStringLiteral("CALL\"a b\"; $(x):1")));
    EXPECT_EQ(rig.history.numbers.last(), s("\"a b\"; $(x)"));
    EXPECT_EQ(rig.launcher.urls.last(), s("http://crm.example.jp/?tel=\"a b\"; $(x)"));
}

// A browser failure the launcher reports itself does not stop the history step, which
// runs after the user has closed the launcher's message.
TEST(CallDispatch, BrowserFailureWithOwnMessageStillWritesHistory)
{
    DispatchRig rig;
    rig.launcher.failWithMessage = &rig.boxes;
    int historyRowsWhileBoxOpen = -1;
    rig.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
        historyRowsWhileBoxOpen = static_cast<int>(rig.history.numbers.size());
    };
    rig.dispatch.isdnNotification(QStringLiteral("RING0312345678;1"));
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].title, s("Browser Not Found"));
    EXPECT_EQ(historyRowsWhileBoxOpen, 0);
    EXPECT_EQ(rig.history.numbers, QStringList({s("0312345678")}));
}

// Without the main window the number is shown nowhere, and the call is still handled.
TEST(CallDispatch, MissingDisplayStillOpensAndRecords)
{
    DispatchRig rig;
    rig.dispatch.setDisplay(nullptr);
    rig.dispatch.dispatch(QStringLiteral("0312"));
    rig.dispatch.t1Frame(QStringLiteral("123456789") + QString(20, u' '));
    EXPECT_TRUE(rig.display.values.isEmpty());
    EXPECT_EQ(rig.history.numbers, QStringList({s("0312")}));
    EXPECT_EQ(rig.state.watchAck, WatchAck::Answered);
}

// ISDN notification without a delimiter: the two-line critical message with the whole
// line, and nothing displayed, opened or written.
TEST(CallDispatch, IsdnWithoutDelimiterShowsMessageOnly)
{
    DispatchRig rig;
    const QString line = QStringLiteral("RING0312345678");
    rig.dispatch.isdnNotification(line);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    const auto& box = rig.boxes.shown[0];
    EXPECT_EQ(box.text, s("電話番号を取り出すことができませんでした") + QChar(13) + s("着信通知データ：") + line);
    EXPECT_EQ(box.title, s("着信"));
    EXPECT_EQ(box.icon, MessageBoxes::Icon::Critical);
    EXPECT_EQ(box.buttons, MessageBoxes::Buttons::Ok);
    EXPECT_TRUE(rig.log.events.isEmpty());
}

// Analog notification without ":": the failure comes back for the routine to report and
// no action runs; with ":" the empty number is dispatched like any other.
TEST(CallDispatch, AnalogWithoutColonIsAFailure)
{
    DispatchRig rig;
    rig.state.adapterProfile.ring = QStringLiteral("CALL");
    const std::optional<CallFailure> failure = rig.dispatch.analogNotification(QStringLiteral("CALL0312345678"));
    ASSERT_TRUE(failure);
    EXPECT_FALSE(failure->description.isEmpty());
    EXPECT_TRUE(rig.log.events.isEmpty());
    EXPECT_TRUE(rig.boxes.shown.empty());

    EXPECT_FALSE(rig.dispatch.analogNotification(QStringLiteral("CALL:0312")));
    EXPECT_EQ(rig.log.events, QStringList({s("display:"), s("browser:http://crm.example.jp/?tel="), s("history:")}));
}

// Control-code frames: the display is set even for the blank watchdog answer, which sets
// watchAck and nothing else; a number skips a second display and goes on to the actions.
TEST(CallDispatch, T1FrameDisplaysFirstAndBlankAnswersWatchdog)
{
    DispatchRig rig;
    rig.state.watchAck = WatchAck::Outstanding;
    rig.dispatch.t1Frame(QStringLiteral("123456789") + QString(20, u' '));
    EXPECT_EQ(rig.log.events, QStringList({s("display:")}));
    EXPECT_EQ(rig.state.watchAck, WatchAck::Answered);

    rig.state.watchAck = WatchAck::Outstanding;
    rig.log.events.clear();
    rig.dispatch.t1Frame(QStringLiteral("123456789          0312345678"));
    EXPECT_EQ(rig.log.events, QStringList({s("display:0312345678"), s("browser:http://crm.example.jp/?tel=0312345678"),
                                           s("history:0312345678")}));
    EXPECT_EQ(rig.state.watchAck, WatchAck::Outstanding);
}
