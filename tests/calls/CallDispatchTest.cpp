#include "calls/CallDispatch.h"
#include "app/SharedState.h"
#include "support/CallEventLog.h"
#include "support/FakeCallDisplay.h"
#include "support/QStringPrinter.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingCallHistory.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(9, 30));
const QString kBlankT1 = "123456789" + QString(20, u' ');

struct DispatchRig
{
    explicit DispatchRig(const char* ring = "RING")
    {
        state.systemSettings.appName = "着信";
        state.adapterProfile.ring = ring;
        state.urlSettings.browse = state.urlSettings.history = "True";
        state.urlSettings.path1 = "http://crm.example.jp/?tel=";
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

// The two switches are compared with exactly "True", each governs only its own action; the display is always set.
TEST(CallDispatch, SwitchesComparedWithExactlyTrue)
{
    const QString display = QString("display:0312"), browser = QString("browser:http://crm.example.jp/?tel=0312");
    const QString history = QString("history:0312");
    // clang-format off
    struct Row { const char* browse; const char* history; QStringList events; };
    const std::vector<Row> rows = {
        {"True", "True", {display, browser, history}},
        {"True", "False", {display, browser}},
        {"False", "True", {display, history}},
        {"true", "TRUE", {display}},
        {"1", " True", {display}},
        {"", "", {display}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.browse << "/" << row.history);
        DispatchRig rig;
        rig.state.urlSettings.browse = row.browse;
        rig.state.urlSettings.history = row.history;
        rig.dispatch.dispatch("0312", kNow);
        EXPECT_EQ(rig.log.events, row.events);
    }
}

// The URL is path1 then the number, percent-encoded (UTF-8) where not URL-safe; display and history keep it as is.
TEST(CallDispatch, NumberIsEncodedInTheUrlOnly)
{
    // clang-format off
    struct Row { const char* path1; const char* number; const char* url; };
    const std::vector<Row> rows = {
        {"http://crm.example.jp/?tel=", "0312345678", "http://crm.example.jp/?tel=0312345678"},
        {"http://crm.example.jp/", "0312345678", "http://crm.example.jp/0312345678"},
        {"http://crm.example.jp", "0312345678", "http://crm.example.jp0312345678"},
        {"", "0312345678", "0312345678"},
        {"http://x/?q=", "03&x=1#top", "http://x/?q=03%26x%3D1%23top"},
        {"http://x/?q=", "03 12%41", "http://x/?q=03%2012%2541"},
        {"http://x/?q=", "０３着", "http://x/?q=%EF%BC%90%EF%BC%93%E7%9D%80"},
        {"http://x/?q=", "a-b.c_d~e+f/g", "http://x/?q=a-b.c_d~e%2Bf%2Fg"},
        {"http://x/?q=", "\"0312\"; rm -rf / $(reboot) `id`", "http://x/?q=%220312%22%3B%20rm%20-rf%20%2F%20%24%28reboot%29%20%60id%60"},
        {"http://x/?q=", "", "http://x/?q="},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.number);
        DispatchRig rig;
        rig.state.urlSettings.path1 = row.path1;
        rig.dispatch.dispatch(row.number, kNow);
        EXPECT_EQ((std::tuple{rig.display.text, rig.launcher.urls, rig.history.numbers}),
                  std::tuple(QString(row.number), QStringList{row.url}, QStringList{row.number}));
    }
}

// Hostile numbers cut from real notifications reach the history unchanged and the browser encoded.
TEST(CallDispatch, HostileNotificationsReachActions)
{
    DispatchRig rig;
    rig.dispatch.isdnNotification("RING'$(id)\"` ;rest", kNow);
    EXPECT_EQ(rig.history.numbers, QStringList{"'$(id)\"`"});
    rig.state.adapterProfile.ring = "CALL";
    ASSERT_FALSE(rig.dispatch.analogNotification("CALL\"a b\"&x=1#; $(x):1", kNow));
    EXPECT_EQ(rig.history.numbers.last(), QString("\"a b\"&x=1#; $(x)"));
    EXPECT_EQ(rig.launcher.urls.last(), QString("http://crm.example.jp/?tel=%22a%20b%22%26x%3D1%23%3B%20%24%28x%29"));
}

// The history row carries the time the notification arrived, handed over with the line.
TEST(CallDispatch, HistoryRowCarriesTheArrivalTime)
{
    DispatchRig rig;
    const QDateTime arrived(QDate(2026, 12, 7), QTime(9, 36, 12));
    rig.dispatch.isdnNotification("RING0312345678;1", arrived);
    rig.state.adapterProfile.ring = "CALL";
    ASSERT_FALSE(rig.dispatch.analogNotification("CALL0312:1", arrived));
    rig.dispatch.t1Frame("T1STAT001" + QStringLiteral("0312").rightJustified(20), arrived);
    EXPECT_EQ(rig.history.calldates, QList<QDateTime>({arrived, arrived, arrived}));
}

// A browser failure the launcher reports itself does not stop the history step, run once its message is closed.
TEST(CallDispatch, BrowserFailureWithOwnMessageStillWritesHistory)
{
    DispatchRig rig;
    rig.launcher.failWithMessage = &rig.boxes;
    int historyRowsWhileBoxOpen = -1;
    rig.boxes.whileOpen = [&](const auto&) {
        historyRowsWhileBoxOpen = int(rig.history.numbers.size());
    };
    rig.dispatch.isdnNotification("RING0312345678;1", kNow);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ((std::tuple{rig.boxes.shown[0].title, historyRowsWhileBoxOpen, rig.history.numbers}),
              std::tuple(QString("Browser Not Found"), 0, QStringList{"0312345678"}));
}

// Without the main window the number is shown nowhere, and the call is still handled.
TEST(CallDispatch, MissingDisplayStillOpensAndRecords)
{
    DispatchRig rig;
    rig.dispatch.setDisplay(nullptr);
    rig.dispatch.dispatch("0312", kNow);
    rig.dispatch.t1Frame(kBlankT1, kNow);
    EXPECT_EQ((std::tuple{rig.display.values.size(), rig.history.numbers, rig.state.watchAck}),
              std::tuple(0, QStringList{"0312"}, WatchAck::Answered));
}

// ISDN notification without a delimiter: the two-line critical message with the whole line, and no action.
TEST(CallDispatch, IsdnWithoutDelimiterShowsMessageOnly)
{
    DispatchRig rig;
    const QString line = "RING0312345678";
    rig.dispatch.isdnNotification(line, kNow);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    const auto& box = rig.boxes.shown[0];
    EXPECT_EQ((std::tuple{box.text, box.title, box.icon, box.buttons}),
              std::tuple(QString("電話番号を取り出すことができませんでした\r着信通知データ：" + line), QString("着信"),
                         MessageBoxes::Icon::Critical, MessageBoxes::Buttons::Ok));
    EXPECT_TRUE(rig.log.events.isEmpty());
}

// Analog notification without ":" is the routine's failure, no action; with ":" an empty number is dispatched.
TEST(CallDispatch, AnalogWithoutColonIsAFailure)
{
    DispatchRig rig("CALL");
    const std::optional<CallFailure> failure = rig.dispatch.analogNotification("CALL0312345678", kNow);
    ASSERT_TRUE(failure);
    EXPECT_EQ((std::tuple{failure->description.isEmpty(), rig.log.events, rig.boxes.shown.size()}),
              std::tuple(false, QStringList(), 0u));

    EXPECT_FALSE(rig.dispatch.analogNotification("CALL:0312", kNow));
    EXPECT_EQ(rig.log.events, (QStringList{"display:", "browser:http://crm.example.jp/?tel=", "history:"}));
}

// Control-code frames: the blank watchdog answer sets display and watchAck only; a number goes on to the actions.
TEST(CallDispatch, T1FrameDisplaysFirstAndBlankAnswersWatchdog)
{
    DispatchRig rig;
    rig.state.watchAck = WatchAck::Outstanding;
    rig.dispatch.t1Frame(kBlankT1, kNow);
    EXPECT_EQ((std::pair{rig.log.events, rig.state.watchAck}), std::pair(QStringList{"display:"}, WatchAck::Answered));

    rig.state.watchAck = WatchAck::Outstanding;
    rig.log.events.clear();
    rig.dispatch.t1Frame("123456789          0312345678", kNow);
    const QStringList actions = {"display:0312345678", "browser:http://crm.example.jp/?tel=0312345678",
                                 "history:0312345678"};
    EXPECT_EQ((std::pair{rig.log.events, rig.state.watchAck}), std::pair(actions, WatchAck::Outstanding));
}
