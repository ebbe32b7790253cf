#include "ui/DesktopNotifier.h"

#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/TestDesk.h"
#include "ui/SystemTaskTray.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

const QDateTime kAt(QDate(2026, 12, 9), QTime(10, 15, 30));
const QString kPage = QStringLiteral("http://crm.example.jp/?tel=%1&at=10%3A15%3A30");
const QByteArray kSettings = "[URL]\nbrowse=True\nnotify=True\npath1=http://crm.example.jp/?tel={number}&at={time}\n";

// A session bus of the tests' own, which starts no service by itself, and on it the desktop's notification service
// (dunst, on the X server the tests run beside) while a test wants it. dunst runs a recorder for each notification it
// shows: "source|summary|body" a line.
class DesktopNotifierTest : public testing::Test
{
public:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        write("bus.conf", "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                          "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                          "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        write("record", "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$1\" \"$2\" \"$3\" >> \"$0.log\"\n");
        QFile::setPermissions(path("record"), QFile::permissions(path("record")) | QFile::ExeOwner);
        write("dunstrc", "[record]\n    appname = \"*\"\n    script = " + path("record").toUtf8() + "\n");

        s_bus = new QProcess;
        s_bus->start("dbus-daemon", {"--config-file=" + path("bus.conf"), "--nofork", "--print-address=1"});
        ASSERT_TRUE(s_bus->waitForReadyRead(5000)) << "dbus-daemon";
        // Before anything asks for the session bus: the program's own notifier takes this one.
        qputenv("DBUS_SESSION_BUS_ADDRESS", s_bus->readLine().trimmed());
    }
    static void TearDownTestSuite()
    {
        s_bus->kill();
        s_bus->waitForFinished();
        delete s_bus;
        delete s_dir;
    }

protected:
    void TearDown() override
    {
        m_service.kill();
        m_service.waitForFinished();
        QFile::remove(path("record.log"));
    }

    void startService()
    {
        m_service.start("dunst", {"-config", path("dunstrc")});
        ASSERT_TRUE(m_service.waitForStarted()) << "dunst";
        ASSERT_TRUE(processEventsUntil(
            [] {
                return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                    QStringLiteral("org.freedesktop.Notifications"));
            },
            10s));
    }
    static QString dunstctl(const QStringList& arguments)
    {
        QProcess control;
        control.start("dunstctl", arguments);
        control.waitForFinished();
        return QString::fromUtf8(control.readAllStandardOutput()).trimmed();
    }
    /// What the service has shown, a line each.
    static QStringList shown()
    {
        QFile log(path("record.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                             : QStringList();
    }
    static QString path(const char* name) { return s_dir->filePath(QLatin1String(name)); }
    static void write(const char* name, const QByteArray& bytes)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    static void call(TestDesk& desk, const QString& number) { desk.program->receive.dispatch().dispatch(number, kAt); }

    static inline QTemporaryDir* s_dir = nullptr;
    static inline QProcess* s_bus = nullptr;
    QProcess m_service;
};

} // namespace

// A call shows one notification from the program with its number; the next call's replaces it, and its action opens
// the page of the call it shows. Nothing goes to the tray.
TEST_F(DesktopNotifierTest, OneNotificationReplacedAndItsActionOpensThePage)
{
    startService();
    TestDesk desk({.ini = kSettings});
    call(desk, "0312345678");
    call(desk, "03&x=1#");
    ASSERT_TRUE(processEventsUntil([] { return shown().size() == 2; }, 10s)) << shown().join(u'\n').toStdString();
    EXPECT_EQ(shown(), QStringList({"着信|着信|0312345678", "着信|着信|03&x=1#"}));
    EXPECT_EQ(dunstctl({"count", "displayed"}), "1");

    dunstctl({"action", "0"});
    ASSERT_TRUE(processEventsUntil([&] { return desk.browser.urls.size() == 3; }, 10s));
    EXPECT_EQ(desk.browser.urls,
              QStringList({kPage.arg("0312345678"), kPage.arg("03%26x%3D1%23"), kPage.arg("03%26x%3D1%23")}));
    EXPECT_TRUE(desk.tray.messages.isEmpty());
}

// Without a notification service the tray shows the call; without a tray either, the call is handled as ever.
TEST_F(DesktopNotifierTest, WithoutTheServiceTheTrayOrNothing)
{
    TestDesk desk({.ini = kSettings});
    call(desk, "0312345678");
    ASSERT_TRUE(processEventsUntil([&] { return !desk.tray.messages.isEmpty(); }, 10s));
    EXPECT_EQ(desk.tray.messages, QStringList({"着信\n0312345678"}));

    SystemTaskTray noTray;
    TestDesk bare({.ini = kSettings, .tray = &noTray});
    call(bare, "0398765432");
    processEventsUntil([] { return false; }, 500ms);
    DesktopNotifier busless(bare.state(), noTray, bare.browser, QDBusConnection(QStringLiteral("none")));
    busless.announce({"0398765432", kAt, kPage.arg("0398765432")});
    EXPECT_EQ(bare.browser.urls, QStringList({kPage.arg("0398765432")}));
    EXPECT_TRUE(bare.boxes.shown.empty());
}
