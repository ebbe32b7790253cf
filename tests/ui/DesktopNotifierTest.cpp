#include "ui/DesktopNotifier.h"

#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/TestDesk.h"
#include "ui/SystemTaskTray.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace std::chrono_literals;

namespace {

const QDateTime kAt(QDate(2026, 12, 9), QTime(10, 15, 30));
const QString kPage = QStringLiteral("http://crm.example.jp/?tel=%1&at=10%3A15%3A30");
const QByteArray kSettings = "[URL]\nbrowse=True\nnotify=True\npath1=http://crm.example.jp/?tel={number}&at={time}\n";

// A session bus of the tests' own, which starts no service by itself, and on it dunst (on the X server the tests run
// beside) while a test wants a notification service. dunst runs a recorder for each notification it shows.
struct NotificationDesktop
{
    NotificationDesktop()
    {
        write("bus.conf", "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                          "<policy context='default'><allow send_destination='*' eavesdrop='true'/><allow "
                          "eavesdrop='true'/><allow own='*'/></policy></busconfig>");
        write("record",
              "#!/bin/sh\necho \"$DUNST_ID\" > \"$0.id\"\nprintf '%s|%s|%s\\n' \"$1\" \"$2\" \"$3\" >> \"$0.log\"\n");
        write("dunstrc", "[record]\nappname = \"*\"\nscript = " + path("record").toUtf8() + "\n");
        bus.start("dbus-daemon", {"--config-file=" + path("bus.conf"), "--nofork", "--print-address=1"});
        bus.waitForReadyRead(5000);
        // Before anything asks for the session bus: the program's own notifier takes this one.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    }
    ~NotificationDesktop()
    {
        stopService();
        bus.kill();
        bus.waitForFinished();
    }
    bool startService()
    {
        service.start("dunst", {"-config", path("dunstrc")});
        return processEventsUntil(
            [] {
                return QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.Notifications");
            },
            10s);
    }
    void stopService()
    {
        service.kill();
        service.waitForFinished();
    }
    void signalService(int signal) const { ::kill(static_cast<pid_t>(service.processId()), signal); }
    /// What dunst has shown, "source|summary|body" a line.
    QStringList shown() const
    {
        QFile log(path("record.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                             : QStringList();
    }
    /// Invokes `action` on the notification dunst showed last, as a click on its button does.
    void invoke(const QString& action) const
    {
        QFile id(path("record.id"));
        id.open(QIODevice::ReadOnly);
        QDBusMessage clicked = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                          "org.freedesktop.Notifications", "ActionInvoked");
        clicked << id.readAll().trimmed().toUInt() << action;
        QDBusConnection::sessionBus().send(clicked);
    }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    void write(const char* name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }

    QTemporaryDir dir;
    QProcess bus;
    QProcess service;
};

NotificationDesktop& desktop()
{
    static NotificationDesktop one;
    return one;
}

QString dunstctl(const QStringList& arguments)
{
    QProcess control;
    control.start("dunstctl", arguments);
    control.waitForFinished();
    return QString::fromUtf8(control.readAllStandardOutput()).trimmed();
}

void call(TestDesk& desk, const QString& number)
{
    desk.program->dispatch.dispatch(number, kAt);
}

} // namespace

// A call shows one notification from the program with its number as people write it; the next call's replaces it, and
// its action opens the page of the call it shows. Nothing goes to the tray.
TEST(DesktopNotifier, OneNotificationReplacedAndItsActionOpensThePage)
{
    ASSERT_TRUE(desktop().startService()) << "dunst on the test's own bus";
    TestDesk desk({.ini = kSettings});
    call(desk, "0312345678");
    call(desk, "03<b>&x=1#'\"");
    ASSERT_TRUE(processEventsUntil([] { return desktop().shown().size() == 2; }, 10s));
    // The body as the service received it: a server that reads markup shows the characters themselves.
    EXPECT_EQ(desktop().shown(), QStringList({"着信|着信|03-1234-5678", "着信|着信|03&lt;b&gt;&amp;x=1#&#39;&quot;"}));
    EXPECT_EQ(dunstctl({"count", "displayed"}), "1");

    dunstctl({"action", "0"});
    ASSERT_TRUE(processEventsUntil([&] { return desk.browser.urls.size() == 3; }, 10s));
    EXPECT_EQ(desk.browser.urls, QStringList({kPage.arg("0312345678"), kPage.arg("03%3Cb%3E%26x%3D1%23%27%22"),
                                              kPage.arg("03%3Cb%3E%26x%3D1%23%27%22")}));
    EXPECT_TRUE(desk.tray.messages.isEmpty());
}

// 対応します on a call's notification hands the call over; once someone has taken it, the notification says who and
// offers it no more. A message has a notification of its own, whose action opens the history.
TEST(DesktopNotifier, ClaimAndMessage)
{
    ASSERT_TRUE(desktop().startService());
    TestDesk desk({.ini = kSettings});
    const qsizetype before = desktop().shown().size();
    const auto shown = [before] {
        return desktop().shown().mid(before);
    };
    const int displayed = dunstctl({"count", "displayed"}).toInt();
    DesktopNotifier& notifier = desk.program->notifier;
    std::vector<CallNotice> claimed;
    int opened = 0;
    notifier.setClaimHandler([&](const CallNotice& notice) { claimed.push_back(notice); });
    notifier.setHistoryOpener([&] { ++opened; });
    call(desk, "0312345678");
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 1; }, 10s));
    desktop().invoke("claim");
    ASSERT_TRUE(processEventsUntil([&] { return claimed.size() == 1; }, 5s));
    EXPECT_EQ(claimed[0].number, "0312345678");

    const CallEvent claim{
        .kind = CallEvent::Kind::Claim, .person = "馬場", .number = "0312345678", .calldate = "2026-12-09 10:15:30"};
    notifier.claimed(claim);
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 3; }, 10s));
    EXPECT_EQ(shown().mid(1), QStringList({"着信|着信|03-1234-5678", "馬場さんが対応中"}));
    desktop().invoke("claim");
    processEventsUntil([] { return false; }, 300ms);
    EXPECT_EQ(claimed.size(), 1u) << "a call taken is not offered";

    CallEvent message = claim;
    message.kind = CallEvent::Kind::Message;
    message.person = "安藤";
    message.text = "見積もり";
    notifier.messageLeft(message);
    ASSERT_TRUE(processEventsUntil([&] { return shown().size() == 6; }, 10s));
    EXPECT_EQ(shown().mid(3),
              QStringList({"着信|伝言（安藤さんから）|見積もり", "03-1234-5678 2026-12-09 10:15:30", "折り返し不要"}));
    desktop().invoke("history");
    EXPECT_TRUE(processEventsUntil([&] { return opened == 1; }, 5s));
    EXPECT_EQ(dunstctl({"count", "displayed"}).toInt(), displayed + 2) << "the call's and the message's";
}

// Without a notification service the tray shows the call as it is; without a bus or a tray either, the call is handled
// as ever.
TEST(DesktopNotifier, WithoutTheServiceTheTrayOrNothing)
{
    desktop().stopService();
    TestDesk desk({.ini = kSettings});
    call(desk, "03<b>&");
    ASSERT_TRUE(processEventsUntil([&] { return !desk.tray.messages.isEmpty(); }, 10s));
    EXPECT_EQ(desk.tray.messages, QStringList({"着信\n03<b>&"})) << "the tray's message is plain text";

    SystemTaskTray noTray;
    TestDesk bare({.ini = kSettings, .tray = &noTray});
    DesktopNotifier busless(bare.state(), noTray, bare.browser, QDBusConnection(QStringLiteral("none")));
    bare.program->dispatch.setNotifier(&busless);
    call(bare, "0398765432");
    EXPECT_EQ(bare.browser.urls, QStringList({kPage.arg("0398765432")}));
    EXPECT_TRUE(bare.boxes.shown.empty());
}

// With the service stopped, the tray shows the newest call once the service is known to fail and each call after it at
// once, never an older one after a newer; the service, going on, ends on the newest call in its one notification.
TEST(DesktopNotifier, StoppedServiceTrayOnlyMovesForward)
{
    ASSERT_TRUE(desktop().startService()) << "dunst on the test's own bus";
    TestDesk desk({.ini = kSettings});
    QStringList numbers;
    for (int i = 0; i <= 20; ++i)
        numbers.append(QString("03180%1").arg(i, 2, 10, QChar(u'0')));
    call(desk, numbers[0]);
    ASSERT_TRUE(processEventsUntil([&] { return desktop().shown().join(u'\n').endsWith(numbers[0]); }, 10s));
    // dunst answers in order: once it has answered dunstctl, its answer to the Notify has left it too.
    ASSERT_EQ(dunstctl({"count", "displayed"}), "1");
    desktop().signalService(SIGSTOP);
    for (int i = 1; i <= 10; ++i)
        call(desk, numbers[i]);
    // The first Notify since the stop fails after its wait; the calls after it find the service failing.
    ASSERT_TRUE(processEventsUntil([&] { return !desk.tray.messages.isEmpty(); }, 10s));
    for (int i = 11; i <= 20; ++i)
        call(desk, numbers[i]);
    desktop().signalService(SIGCONT);
    ASSERT_TRUE(processEventsUntil([&] { return desktop().shown().join(u'\n').endsWith(numbers[20]); }, 20s));
    EXPECT_EQ(desk.tray.messages.join(u' ').remove("着信\n"), numbers.sliced(10).join(u' '));
    EXPECT_EQ(dunstctl({"count", "displayed"}), "1");
}
