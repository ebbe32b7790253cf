#include "calls/CallDispatch.h"
#include "app/SharedState.h"
#include "calls/CallCommand.h"
#include "support/CallEventLog.h"
#include "support/FakeCallDisplay.h"
#include "support/LoggedNotifier.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingCallHistory.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StandardErrorCapture.h"
#include "support/StateCodePrinter.h"
#include "support/TraceCapture.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace std::chrono_literals;

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
        dispatch.setNotifier(&notifier);
    }

    SharedState state;
    ScriptedMessageBoxes boxes;
    CallEventLog log;
    FakeCallDisplay display{&log};
    RecordingBrowserLauncher launcher{&log};
    RecordingCallHistory history{&log};
    LoggedNotifier notifier{&log};
    CallDispatch dispatch{state, boxes, launcher, history, &display};
};

} // namespace

// The three switches are compared with exactly "True", each governs only its own action; the display is always set.
TEST(CallDispatch, SwitchesComparedWithExactlyTrue)
{
    const QString display = QString("display:0312"), browser = QString("browser:http://crm.example.jp/?tel=0312");
    const QString history = QString("history:0312"), notice = QString("notify:0312 http://crm.example.jp/?tel=0312");
    // clang-format off
    struct Row { const char* browse; const char* history; const char* notify; QStringList events; };
    const std::vector<Row> rows = {
        {"True", "True", "True", {display, browser, notice, history}},
        {"True", "False", "", {display, browser}},
        {"False", "True", "False", {display, history}},
        {"False", "False", "True", {display, notice}},
        {"true", "TRUE", "true", {display}},
        {"1", " True", "1", {display}},
        {"", "", "", {display}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.browse << "/" << row.history << "/" << row.notify);
        DispatchRig rig;
        rig.state.urlSettings.browse = row.browse;
        rig.state.urlSettings.history = row.history;
        rig.state.urlSettings.notify = row.notify;
        rig.dispatch.dispatch("0312", kNow);
        EXPECT_EQ(rig.log.events, row.events);
    }
}

// The URL is path1 with the number (and the call's date and time) at its placeholders, else the number appended; each
// value percent-encoded (UTF-8) where not URL-safe, anything else in path1 as typed; display and history keep it as is.
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
        {"{number}/page", "0312345678", "0312345678/page"},
        {"https://crm.example.jp/search?tel={number}&src=phone", "03&x=1#", "https://crm.example.jp/search?tel=03%26x%3D1%23&src=phone"},
        {"http://x/?d={date}&t={time}&q={number}", "0312", "http://x/?d=2026-12-08&t=09%3A30%3A00&q=0312"},
        {"http://x/{number}/{number}?at={date}{date}", "03 1", "http://x/03%201/03%201?at=2026-12-082026-12-08"},
        {"http://x/?d={date}", "0312", "http://x/?d=2026-12-08"},
        {"http://x/{word}/{Number}{number?q=", "0312", "http://x/{word}/{Number}{number?q=0312"},
        {"http://x/{word}?q={{number}}", "{date}\"; $(id)", "http://x/{word}?q={%7Bdate%7D%22%3B%20%24%28id%29}"},
        {"http://x/?h={number_hyphen}&e={number_e164}&n={number}", "0312345678", "http://x/?h=03-1234-5678&e=%2B81312345678&n=0312345678"},
        {"http://x/?h={number_hyphen}&e={number_e164}", "+1 212 555 1234", "http://x/?h=%2B1%20212-555-1234&e=%2B12125551234"},
        {"http://x/?h={number_hyphen}&e={number_e164}", "{number_e164}\"'%", "http://x/?h=%7Bnumber_e164%7D%22%27%25&e="},
        {"http://x/?h={number_hyphen}&e={number_e164}", "P", "http://x/?h=P&e="},
        {"http://x/{number_hyphen", "0312345678", "http://x/{number_hyphen0312345678"},
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

// The phone book's caller reaches the page, the command, the notice and the display; a number the book lacks is
// 未登録, never the caller before; a nuisance opens no page when opennuisance is exactly "False".
TEST(CallDispatch, CallerFromThePhoneBook)
{
    struct Book final : CallerNames
    {
        std::optional<Caller> callerOf(const QString& number) const override
        {
            if (number == "0312345678")
                return Caller{true, "Yamada & Co", "山田商事", false};
            return number == "0120111222" ? Caller{true, "営業", "", true} : Caller{};
        }
    } book;
    // clang-format off
    struct Row { const char* number; const char* opennuisance; const char* url; const char* name; };
    const std::vector<Row> rows = {
        {"0312345678", "False", "http://x/?n=Yamada%20%26%20Co&t=0312345678", "Yamada & Co"},
        {"0311112222", "False", "http://x/?n=&t=0311112222", "未登録"},
        {"0120111222", "False", "", "営業"},
        {"0120111222", "", "http://x/?n=%E5%96%B6%E6%A5%AD&t=0120111222", "営業"},
        {"0120111222", "false", "http://x/?n=%E5%96%B6%E6%A5%AD&t=0120111222", "営業"},
        {"P", "False", "http://x/?n=&t=P", nullptr},
    };
    // clang-format on
    DispatchRig rig;
    rig.dispatch.setCallerNames(&book);
    rig.state.urlSettings.path1 = "http://x/?n={name}&t={number}";
    rig.state.urlSettings.notify = "True";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.number);
        rig.launcher.urls.clear();
        rig.state.urlSettings.opennuisance = row.opennuisance;
        rig.dispatch.dispatch(row.number, kNow);
        EXPECT_EQ(rig.launcher.urls, *row.url ? QStringList{row.url} : QStringList{});
        const CallNotice& notice = rig.notifier.notices.back();
        EXPECT_EQ(notice.pageUrl, row.url);
        EXPECT_EQ(notice.caller ? notice.caller->shownName() : QString(), row.name);
        EXPECT_EQ(rig.display.caller, notice.caller);
    }
    EXPECT_EQ(rig.history.numbers.size(), rows.size());
    EXPECT_EQ(callCommand("crm %N %n", "03", kNow, "山田 太郎")->arguments, QStringList({"山田 太郎", "03"}));
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
    const bool watchdogAnswer = rig.dispatch.t1Frame(kBlankT1, kNow);
    EXPECT_EQ((std::tuple{rig.display.values.size(), rig.history.numbers, watchdogAnswer}),
              std::tuple(0, QStringList{"0312"}, true));
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

// Control-code frames: the blank one is the watchdog's answer and is only displayed; a number goes on to the actions.
TEST(CallDispatch, T1FrameDisplaysFirstAndBlankAnswersWatchdog)
{
    DispatchRig rig;
    const bool blankAnswers = rig.dispatch.t1Frame(kBlankT1, kNow);
    EXPECT_EQ((std::pair{rig.log.events, blankAnswers}), std::pair(QStringList{"display:"}, true));

    rig.log.events.clear();
    const bool numberAnswers = rig.dispatch.t1Frame("123456789          0312345678", kNow);
    const QStringList actions = {"display:0312345678", "browser:http://crm.example.jp/?tel=0312345678",
                                 "history:0312345678"};
    EXPECT_EQ((std::pair{rig.log.events, numberAnswers}), std::pair(actions, false));
}

// The command runs after the other actions with each value as one argument of its own, however hostile the number,
// its program as typed; one that cannot start is told on standard error and in the trace, and the call is handled.
TEST(CallDispatch, CommandForEachCall)
{
    QTemporaryDir dir;
    const QStringList numbers = {"0312345678", "\"; rm -rf / $(id) `id` &x=1#", "a b\nc'd\\", "%t", "-e", ""};
    for (int i = 0; i < numbers.size(); ++i) {
        SCOPED_TRACE(numbers[i].toStdString());
        DispatchRig rig;
        const QString out = dir.filePath(QString::number(i));
        rig.state.urlSettings.command = "sh -c 'printf \"%s\\0\" \"$@\" > \"$0.part\" && mv \"$0.part\" \"$0\"' '" +
                                        out + "' %n \"at %d %t\" 100%% %x";
        rig.dispatch.dispatch(numbers[i], kNow);
        EXPECT_EQ(rig.log.events.size(), 3);
        ASSERT_TRUE(processEventsUntil([&] { return QFile::exists(out); }, 5s));
        QFile written(out);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromUtf8(written.readAll()).split(QChar(0)),
                  QStringList({numbers[i], "at 2026-12-08 09:30:00", "100%", "%x", ""}));
    }
    EXPECT_EQ(callCommand("%n 'x y'", "03", kNow)->program, "%n");
    EXPECT_EQ(callCommand("crm %h %e=%n '%h%%e'", "0312345678", kNow)->arguments,
              QStringList({"03-1234-5678", "+81312345678=0312345678", "03-1234-5678%e"}));
    EXPECT_EQ(callCommand("crm %h %e", "%e\"'$(id) %h", kNow)->arguments, QStringList({"%e\"'$(id) %h", ""}));

    DispatchRig rig;
    rig.state.systemSettings.debugmode = "True";
    StandardErrorCapture standardError;
    TraceCapture trace;
    rig.state.urlSettings.command = "/nonexistent/notify-crm %n";
    rig.dispatch.dispatch("0312", kNow);
    rig.state.urlSettings.command = "notify-crm 'unbalanced %n";
    rig.dispatch.dispatch("0313", kNow);
    EXPECT_EQ(rig.history.numbers, QStringList({"0312", "0313"}));
    const QString told = standardError.text();
    EXPECT_TRUE(told.contains("0312: cannot start /nonexistent/notify-crm")) << told.toStdString();
    EXPECT_TRUE(told.contains("0313: the command line cannot be read")) << told.toStdString();
    EXPECT_EQ(trace.lines.size(), 2);
}

// Whatever a command prints, the program's own output stays as it was; with debugmode the command's first lines go to
// the trace, each cut short, and the rest is read and dropped up to the end of its output.
TEST(CallDispatch, CommandOutputGoesNowhereOrItsFirstLinesToTheTrace)
{
    QTemporaryDir dir;
    DispatchRig rig;
    StandardErrorCapture output;
    const int savedOutput = ::dup(STDOUT_FILENO);
    ::dup2(output.file.handle(), STDOUT_FILENO); // standard output into the same file
    const auto restoreOutput = qScopeGuard([&] { ::dup2(savedOutput, STDOUT_FILENO), ::close(savedOutput); });
    const QString ended = dir.filePath("ended");
    rig.state.urlSettings.command =
        "sh -c 'head -c 5000000 /dev/zero; head -c 5000000 /dev/zero >&2; echo >> \"$0\"' '" + ended + "'";
    for (const char* number : {"1", "2", "3"})
        rig.dispatch.dispatch(number, kNow);
    ASSERT_TRUE(processEventsUntil([&] { return QFile(ended).size() == 3; }, 30s));
    rig.state.systemSettings.debugmode = "True";
    TraceCapture trace;
    rig.state.urlSettings.command = "sh -c 'printf \"%0300d\\n\" 0; seq 2 15; head -c 5000000 /dev/zero'";
    rig.dispatch.dispatch("0312", kNow);
    QStringList expected = {QString(200, u'0') + u'…', "2", "3", "4", "5", "6", "7", "8", "9", "10"};
    expected.replaceInStrings(QRegularExpression("^"), "the command for the call of 0312 printed: ");
    expected.append(QString("the command for the call of 0312 printed %1 bytes in all").arg(301 + 34 + 5000000));
    ASSERT_TRUE(processEventsUntil([&] { return trace.lines.size() >= expected.size(); }, 30s));
    EXPECT_EQ(trace.lines, expected);
    EXPECT_LT(output.text().size(), 1024);
}
