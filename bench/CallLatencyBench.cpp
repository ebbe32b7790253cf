// Notification latency: from the moment the adapter simulator writes an incoming-call
// notification to the pseudo-terminal until the real receive path in standby has started
// the browser program and until the history row is durable, beside a bare poll() on the
// same descriptor and the notification's wire time at the profile's baud rate. Each call is
// taken twice in turn, once as the plain settings have it and once with the per-call extras
// on: a `path1` with placeholders, a desktop notification (to dunst on a private session bus
// where one can be had, else to the tray) and a command run for each call. With --phonebook N
// the second turn is the plain settings with a phone book of N entries instead, read from the
// history file, in which every caller is listed: the caller is looked up at each call.

#include "AdapterSimulator.h"
#include "BareReader.h"
#include "BenchPauser.h"
#include "PhoneBookSamples.h"
#include "Samples.h"
#include "StandbyRig.h"
#include "TextTable.h"

#include "calls/DetachedProcess.h"
#include "ui/DesktopNotifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDefaultCalls = 2000;
constexpr int kDefaultRealPauseCalls = 3;
constexpr int kQuickCalls = 100;
constexpr int kWarmUpCalls = 20;
constexpr auto kCallPatience = 10s;
// The browser's start is judged against a bare process start on the same machine in the
// same run: what the program adds (reading the line, journaling the call durably, building
// the URL) must stay within this multiple of it, p99 against p99.
constexpr double kLaunchTargetRatio = 3.0;
// Calls come seconds apart in real life. After each started process the next sample waits
// this long, so that /bin/true running its course does not delay the next measurement.
constexpr auto kSettle = 2ms;
// The extras, as a user would set them in [URL].
constexpr auto kTemplatePath1 = "http://crm.example.jp/customer?tel={number}&d={date}&t={time}";
constexpr auto kCallCommand = "/bin/true %n %d %t";
constexpr auto kServerPatience = 5s;
constexpr auto kPhoneBookPatience = 120s;
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");

/// A desktop notification service of the bench's own: a private session bus (dbus-daemon)
/// with dunst on it, on the X display in DISPLAY; both stop with this object. Without one,
/// `bus` is not connected and `name` says why, so that the notifier falls back to the tray.
class NotificationServer
{
public:
    NotificationServer()
    {
        const QString failure = start();
        if (failure.isEmpty())
            return;
        QDBusConnection::disconnectFromBus(kConnection);
        bus = QDBusConnection(kConnection);
        name = QStringLiteral("the tray fallback, since ") + failure;
    }

    ~NotificationServer()
    {
        QDBusConnection::disconnectFromBus(kConnection);
        for (QProcess* process : {&m_dunst, &m_daemon}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
        }
    }

    /// A round trip to the service: once it is back, the notifications sent before it on
    /// `bus` have been answered.
    void roundTrip()
    {
        if (bus.isConnected())
            bus.call(serverInformation());
    }

    QDBusConnection bus{kConnection};
    /// Who shows the notifications, for the output.
    QString name;

private:
    static inline const QString kConnection = QStringLiteral("bench");

    static QDBusMessage serverInformation()
    {
        return QDBusMessage::createMethodCall(kNotifications, QStringLiteral("/org/freedesktop/Notifications"),
                                              kNotifications, QStringLiteral("GetServerInformation"));
    }

    // Connects `bus` to dunst on a private bus and names it; otherwise says why not.
    QString start()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return QStringLiteral("DISPLAY is not set");
        for (const char* program : {"dbus-daemon", "dunst"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                return QStringLiteral("%1 is not installed").arg(QLatin1String(program));
        }
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        if (!m_dir.isValid() || !config.open(QIODevice::WriteOnly) ||
            config.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                         "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                         "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n") < 0)
            return QStringLiteral("cannot write the bus configuration");
        config.close();

        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address=1")});
        const Clock::time_point until = Clock::now() + kServerPatience;
        while (!m_daemon.canReadLine() && Clock::now() < until && m_daemon.waitForReadyRead(100)) {
        }
        const QString address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
        if (address.isEmpty())
            return QStringLiteral("dbus-daemon did not start");

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        m_dunst.setProcessEnvironment(environment);
        m_dunst.setStandardOutputFile(QProcess::nullDevice());
        m_dunst.setStandardErrorFile(QProcess::nullDevice());
        m_dunst.start(QStringLiteral("dunst"), {QStringLiteral("-config"), QStringLiteral("/dev/null")});
        bus = QDBusConnection::connectToBus(address, kConnection);
        if (!bus.isConnected())
            return QStringLiteral("cannot connect to the private bus: ") + bus.lastError().message();
        while (!bus.interface()->isServiceRegistered(kNotifications)) {
            if (m_dunst.state() == QProcess::NotRunning || Clock::now() >= until)
                return QStringLiteral("dunst did not take %1").arg(kNotifications);
            std::this_thread::sleep_for(20ms);
        }
        const QList<QVariant> info = bus.call(serverInformation()).arguments();
        name = QStringLiteral("%1 %2 on a private session bus").arg(info.value(0).toString(), info.value(2).toString());
        return {};
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QProcess m_dunst;
};

QString callNumber(int index)
{
    return QStringLiteral("03%1").arg(index, 8, 10, QLatin1Char('0'));
}

// The caller's number as a person typed it into the phone book.
QString writtenCallNumber(int index)
{
    const QString digits = callNumber(index);
    return QStringLiteral("%1-%2-%3").arg(digits.left(2), digits.mid(2, 4), digits.mid(6));
}

/// One call's moments through the receive path, from the write of the notification.
struct CallSamples
{
    Samples dispatched;
    Samples launched;
    Samples recorded;
};

struct ProfileResult
{
    QString model;
    QString error;
    qint32 baudRate = 0;
    qsizetype notificationBytes = 0;
    std::chrono::nanoseconds wireTime{0};
    Samples floor;
    Samples processStart;
    /// With the extras (or the phone book) off, then on.
    CallSamples plain;
    CallSamples extras;
    int lost = 0;
    QStringList messages;
    int trayMessages = 0;
    /// The protocol's pauses per notification, as recorded instead of slept.
    std::chrono::milliseconds pausePerCall{0};
    int pausesPerCall = 0;
    Samples launchedWithPause;
    Samples recordedWithPause;
};

class LatencyRun
{
public:
    LatencyRun(const QString& model, int calls, int realPauseCalls, int phoneBookEntries, NotificationServer& server)
        : m_calls(calls)
        , m_realPauseCalls(realPauseCalls)
        , m_phoneBookEntries(phoneBookEntries)
        , m_sim(AdapterSimProfile::load(StandbyRig::shippedSettingsPath(), model))
        , m_rig(model, m_pauser)
        , m_server(server)
        , m_notifier(m_rig.program.state, m_rig.tray, *m_rig.realLauncher, server.bus)
    {
        m_result.model = model;
        m_rig.program.dispatch.setNotifier(&m_notifier);
        m_guard.setSingleShot(true);
        m_guard.setInterval(kCallPatience);
        QObject::connect(&m_guard, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        // The simulator reports each transmission just before it hands the bytes to the
        // kernel in one write; the notification's terminating byte is in that write.
        QObject::connect(&m_sim, &AdapterSimulator::logged, &m_sim, [this](const QString& line) {
            if (line.startsWith(QLatin1String(">> ")))
                m_written = Clock::now();
        });
        m_rig.history.setObserver([this](const QString&) { m_loop.quit(); });
    }

    ProfileResult run()
    {
        if (!m_sim.isValid()) {
            m_result.error = m_sim.errorString();
            return m_result;
        }
        m_result.error = m_rig.startStandby(m_sim.portPath());
        if (!m_result.error.isEmpty())
            return m_result;
        m_result.baudRate = m_rig.baudRate();
        m_controlCode = m_sim.profile().controlCodeFraming();
        // The dispatch reads [URL] at each call, so the two settings can take turns.
        m_plain = m_rig.program.state.urlSettings;
        m_plain.notify = QStringLiteral("False");
        m_plain.command.clear();
        m_extras = m_plain;
        m_extras.path1 = QString::fromLatin1(kTemplatePath1);
        m_extras.notify = QStringLiteral("True");
        m_extras.command = QString::fromLatin1(kCallCommand);
        if (m_phoneBookEntries > 0) {
            m_result.error = openPhoneBook(kWarmUpCalls + m_calls + m_realPauseCalls);
            if (!m_result.error.isEmpty())
                return m_result;
        }
        const std::size_t total = std::size_t(2 * (kWarmUpCalls + m_calls) + m_realPauseCalls);
        m_rig.launcher.reserve(total);
        m_rig.history.reserve(total);
        m_result.floor.reserve(std::size_t(m_calls));
        for (CallSamples* samples : {&m_result.plain, &m_result.extras}) {
            samples->dispatched.reserve(std::size_t(m_calls));
            samples->launched.reserve(std::size_t(m_calls));
            samples->recorded.reserve(std::size_t(m_calls));
        }

        int index = 0;
        // The first calls load the SQLite driver, fill caches and show the first notification;
        // they are not counted.
        for (int i = 0; i < kWarmUpCalls; ++i) {
            if (!floorCall(callNumber(index), false) || !programCall(callNumber(index), false, nullptr) ||
                !programCall(callNumber(index), true, nullptr)) {
                m_result.error = QStringLiteral("warm-up call %1 did not complete").arg(index);
                return m_result;
            }
            ++index;
        }
        for (int i = 0; i < m_calls; ++i, ++index) {
            // Floor and program take turns, so both see the same moments of a noisy machine;
            // the settings swap places each round, so neither always follows the other.
            if (!floorCall(callNumber(index), true))
                ++m_result.lost;
            startFloorCall(callNumber(index));
            const bool extrasFirst = i % 2 == 1;
            for (const bool extras : {extrasFirst, !extrasFirst}) {
                m_pauser.reset();
                if (!programCall(callNumber(index), extras, extras ? &m_result.extras : &m_result.plain)) {
                    ++m_result.lost;
                    continue;
                }
                m_result.pausePerCall = std::max(m_result.pausePerCall, m_pauser.total());
                m_result.pausesPerCall = std::max(m_result.pausesPerCall, m_pauser.count());
            }
        }
        if (m_controlCode && m_realPauseCalls > 0) {
            m_pauser.setSleeping(true);
            for (int i = 0; i < m_realPauseCalls; ++i, ++index) {
                if (!programCall(callNumber(index), false, nullptr)) {
                    ++m_result.lost;
                    continue;
                }
                m_result.launchedWithPause.add(m_rig.launcher.last() - m_written);
                m_result.recordedWithPause.add(m_rig.history.last() - m_written);
            }
            m_pauser.setSleeping(false);
        }
        m_result.messages = m_rig.boxes.shown;
        m_result.trayMessages = m_rig.tray.messages;
        return m_result;
    }

private:
    bool floorCall(const QString& number, bool measured)
    {
        m_sim.raiseCall(number);
        const char terminator = m_controlCode ? '\x03' : '\r';
        const char last = m_controlCode ? '\x03' : '\n';
        const BareReader::Result read =
            BareReader::readNotifications(int(m_rig.program.comm.MSComm1.handle()), terminator, last, 1, kCallPatience);
        if (!read.complete)
            return false;
        m_result.notificationBytes = read.bytes;
        m_result.wireTime = m_rig.wireTime(read.bytes);
        if (measured)
            m_result.floor.add(read.terminatorAt - m_written);
        return true;
    }

    // The platform's part of a browser start: the same program started the same way, with
    // nothing of ours around it.
    void startFloorCall(const QString& number)
    {
        const Clock::time_point start = Clock::now();
        startDetachedProcess(QStringLiteral("/bin/true"), {QString::fromLatin1(StandbyRig::kUrlPrefix) + number});
        m_result.processStart.add(Clock::now() - start);
        std::this_thread::sleep_for(kSettle);
    }

    // A book of `m_phoneBookEntries` entries in the history file, entry i holding the number
    // of call i for the first `callers` calls, read by the program as it reads it at start.
    QString openPhoneBook(int callers)
    {
        std::vector<PhoneBookEntry> book = samplePhoneBook(m_phoneBookEntries);
        // No caller is a nuisance: with opennuisance=False, as shipped, a nuisance's page is not opened.
        for (int i = 0; i < std::min(callers, m_phoneBookEntries); ++i) {
            book[std::size_t(i)].numbers.prepend(writtenCallNumber(i));
            book[std::size_t(i)].nuisance = false;
        }
        if (const QString error = writePhoneBook(m_rig.databasePath(), book, true); !error.isEmpty())
            return QStringLiteral("phone book not written: ") + error;
        PhoneBook& phoneBook = m_rig.program.phoneBook;
        m_rig.program.openPhoneBookDatabase();
        m_guard.start(kPhoneBookPatience);
        const QMetaObject::Connection changed =
            QObject::connect(&phoneBook, &PhoneBook::changed, &m_loop, &QEventLoop::quit);
        while (!phoneBook.isLoaded() && m_guard.isActive())
            m_loop.exec();
        m_guard.stop();
        QObject::disconnect(changed);
        m_guard.setInterval(kCallPatience);
        if (phoneBook.index().size() != book.size())
            return QStringLiteral("phone book not read (%1 of %2 entries): %3")
                .arg(phoneBook.index().size())
                .arg(book.size())
                .arg(phoneBook.problem());
        for (int i = 0; i < callers; ++i) {
            const std::optional<Caller> caller = phoneBook.callerOf(callNumber(i));
            if (!caller || !caller->listed)
                return QStringLiteral("caller %1 is not in the phone book of %2 entries: give more entries")
                    .arg(callNumber(i))
                    .arg(m_phoneBookEntries);
        }
        return {};
    }

    /// With the extras: [URL] as the user set it for them, or the plain one. With a phone
    /// book: the plain [URL], and the caller looked up (for the browser, the notification and
    /// the history's name, as Program sets it up) or not.
    void takeTurn(bool on)
    {
        if (m_phoneBookEntries == 0) {
            m_rig.program.state.urlSettings = on ? m_extras : m_plain;
            return;
        }
        Program& program = m_rig.program;
        program.state.urlSettings = m_plain;
        program.dispatch.setCallerNames(on ? &program.phoneBook : nullptr);
        if (on) {
            program.history.setNameOf([&program](const QString& number) {
                const std::optional<Caller> caller = program.phoneBook.callerOf(number);
                return caller && caller->listed ? caller->name : QString();
            });
        } else {
            program.history.setNameOf({});
        }
    }

    /// One call with the extras (or the phone book) on or off; its moments go to `measured`
    /// unless that is null.
    bool programCall(const QString& number, bool on, CallSamples* measured)
    {
        takeTurn(on);
        const std::size_t launchesBefore = m_rig.launcher.count();
        const std::size_t rowsBefore = m_rig.history.count();
        m_guard.start();
        m_sim.raiseCall(number);
        while (m_rig.history.count() == rowsBefore && m_guard.isActive())
            m_loop.exec();
        m_guard.stop();
        // Every call, with the extras or without, waits until the notification service has
        // answered what it was sent and the answer has been taken in, so that no call's
        // notification is handled inside the next call's time.
        m_server.roundTrip();
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(kSettle);
        if (m_rig.history.count() != rowsBefore + 1 || m_rig.launcher.count() != launchesBefore + 1) {
            std::fprintf(stderr, "bench_call_latency: call of %s lost (%s): %zu rows, %zu browser starts\n",
                         qPrintable(number), on ? "on" : "off", m_rig.history.count() - rowsBefore,
                         m_rig.launcher.count() - launchesBefore);
            return false;
        }
        if (measured) {
            measured->dispatched.add(m_rig.launcher.lastEntered() - m_written);
            measured->launched.add(m_rig.launcher.last() - m_written);
            measured->recorded.add(m_rig.history.last() - m_written);
        }
        return true;
    }

    int m_calls;
    int m_realPauseCalls;
    int m_phoneBookEntries;
    bool m_controlCode = false;
    AdapterSimulator m_sim;
    BenchPauser m_pauser;
    StandbyRig m_rig;
    NotificationServer& m_server;
    DesktopNotifier m_notifier;
    UrlSettings m_plain;
    UrlSettings m_extras;
    QEventLoop m_loop;
    QTimer m_guard;
    Clock::time_point m_written;
    ProfileResult m_result;
};

} // namespace

int main(int argc, char* argv[])
{
    // The browser is a program that starts and ends at once: its own start-up is not ours
    // to count, and a developer's real browser must not open thousands of tabs.
    qputenv("BROWSER", "/bin/true");
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Incoming-call notification latency through the receive path."));
    parser.addHelpOption();
    const QCommandLineOption callsOption(QStringLiteral("calls"), QStringLiteral("Measured calls per profile."),
                                         QStringLiteral("n"), QString::number(kDefaultCalls));
    const QCommandLineOption pauseOption(QStringLiteral("real-pause-calls"),
                                         QStringLiteral("ソラノT1 calls with the real acknowledgement pause."),
                                         QStringLiteral("n"), QString::number(kDefaultRealPauseCalls));
    const QCommandLineOption quickOption(QStringLiteral("quick"), QStringLiteral("Few calls, for development."));
    const QCommandLineOption profilesOption(
        QStringLiteral("profiles"), QStringLiteral("Shipped profiles to measure, comma-separated."),
        QStringLiteral("models"), QStringLiteral("CTI-INS100,CTI-INS200,CTI-AN10,ソラノT1"));
    const QCommandLineOption phoneBookOption(
        QStringLiteral("phonebook"),
        QStringLiteral("Instead of the extras, take each call without and with a phone book of n entries."),
        QStringLiteral("n"), QStringLiteral("0"));
    parser.addOptions({callsOption, pauseOption, quickOption, profilesOption, phoneBookOption});
    parser.process(app);
    const bool quick = parser.isSet(quickOption);
    const int calls =
        std::max(1, parser.isSet(callsOption) || !quick ? parser.value(callsOption).toInt() : kQuickCalls);
    const int realPauseCalls = std::max(0, parser.isSet(pauseOption) || !quick ? parser.value(pauseOption).toInt() : 1);
    const int phoneBookEntries = std::max(0, parser.value(phoneBookOption).toInt());
    const bool withBook = phoneBookEntries > 0;
    // What the second turn of each call has on.
    const QString turnOn =
        withBook ? QStringLiteral("the phone book (%1 entries)").arg(phoneBookEntries) : QStringLiteral("the extras");

    const QStringList models = parser.value(profilesOption).split(u',', Qt::SkipEmptyParts);
    NotificationServer server;
    printLine(QStringLiteral("  notifications: %1").arg(server.name));
    std::vector<ProfileResult> results;
    for (const QString& model : models) {
        printLine(QStringLiteral("  %1: %2 calls without and %2 with %3 ...").arg(model).arg(calls).arg(turnOn));
        results.push_back(LatencyRun(model, calls, realPauseCalls, phoneBookEntries, server).run());
    }

    TextTable table({QStringLiteral("profile"), QStringLiteral("measured"), QStringLiteral("p50 ms"),
                     QStringLiteral("p99 ms"), QStringLiteral("max ms"), QStringLiteral("p50/floor"),
                     QStringLiteral("on: p50 ms"), QStringLiteral("p99 ms"), QStringLiteral("max ms"),
                     QStringLiteral("p99 on/off")},
                    2);
    // The worst profile's figures, without the extras [0] and with them [1].
    std::chrono::nanoseconds worstLaunchP50[2]{};
    std::chrono::nanoseconds worstLaunchP99[2]{};
    std::chrono::nanoseconds worstRowP50[2]{};
    std::chrono::nanoseconds worstRowP99[2]{};
    std::chrono::nanoseconds worstDispatchP99[2]{};
    double worstLaunchRatio[2]{};
    std::chrono::nanoseconds worstFloorP99{0};
    std::chrono::nanoseconds worstStartP99{0};
    int lost = 0;
    int messages = 0;
    int trayMessages = 0;
    QStringList failures;
    const ProfileResult* t1 = nullptr;
    for (const ProfileResult& r : results) {
        if (!r.error.isEmpty()) {
            table.addRow({r.model, QStringLiteral("FAILED: ") + r.error});
            failures << r.model;
            continue;
        }
        const auto row = [&](const QString& model, const QString& what, const Samples& s, const Samples* on) {
            QStringList cells{model,
                              what,
                              milliseconds(s.p50()),
                              milliseconds(s.p99()),
                              milliseconds(s.max()),
                              ratio(s.p50(), r.floor.p50())};
            if (on)
                cells << milliseconds(on->p50()) << milliseconds(on->p99()) << milliseconds(on->max())
                      << ratio(on->p99(), s.p99());
            table.addRow(cells);
        };
        row(r.model, QStringLiteral("floor: poll() on the port"), r.floor, nullptr);
        row(QString(), QStringLiteral("floor: start /bin/true alone"), r.processStart, nullptr);
        row(QString(), QStringLiteral("received, launcher called"), r.plain.dispatched, &r.extras.dispatched);
        row(QString(), QStringLiteral("browser program started"), r.plain.launched, &r.extras.launched);
        row(QString(), QStringLiteral("history row durable"), r.plain.recorded, &r.extras.recorded);
        table.addRow({QString(),
                      QStringLiteral("wire time, %1 bytes at %2 baud").arg(r.notificationBytes).arg(r.baudRate),
                      milliseconds(r.wireTime)});
        if (r.pausePerCall > 0ms) {
            t1 = &r;
            table.addRow({QString(),
                          QStringLiteral("+ ACK pause (protocol, %1 pauses, not included above)").arg(r.pausesPerCall),
                          milliseconds(r.pausePerCall)});
        }
        for (int on = 0; on < 2; ++on) {
            const CallSamples& c = on ? r.extras : r.plain;
            worstLaunchP50[on] = std::max(worstLaunchP50[on], c.launched.p50());
            worstLaunchP99[on] = std::max(worstLaunchP99[on], c.launched.p99());
            worstLaunchRatio[on] =
                std::max(worstLaunchRatio[on],
                         double(c.launched.p99().count()) / double(std::max<qint64>(1, r.processStart.p99().count())));
            worstRowP50[on] = std::max(worstRowP50[on], c.recorded.p50());
            worstRowP99[on] = std::max(worstRowP99[on], c.recorded.p99());
            worstDispatchP99[on] = std::max(worstDispatchP99[on], c.dispatched.p99());
        }
        worstFloorP99 = std::max(worstFloorP99, r.floor.p99());
        worstStartP99 = std::max(worstStartP99, r.processStart.p99());
        lost += r.lost;
        messages += int(r.messages.size());
        trayMessages += r.trayMessages;
        for (const QString& message : r.messages.mid(0, 3))
            printLine(QStringLiteral("  %1: message shown: %2").arg(r.model, message));
    }
    printLine(QString());
    const QString onDescription =
        withBook ? QStringLiteral("the same with a phone book of %1 entries read from the history file, in which "
                                  "each caller is listed and looked up")
                       .arg(phoneBookEntries)
                 : QStringLiteral("the same with path1=%1, notify=True to %2 and command=%3")
                       .arg(QLatin1String(kTemplatePath1), server.name, QLatin1String(kCallCommand));
    table.print(QStringLiteral("Notification latency, %1 calls per profile (after %2 warm-up calls), from the "
                               "write of the notification; on: %3, the two taking turns call by call")
                    .arg(calls)
                    .arg(kWarmUpCalls)
                    .arg(onDescription));

    if (t1 && !t1->launchedWithPause.isEmpty()) {
        TextTable paused(
            {QStringLiteral("ソラノT1 with the real pause"), QStringLiteral("p50 ms"), QStringLiteral("max ms")});
        paused.addRow({QStringLiteral("browser program started"), milliseconds(t1->launchedWithPause.p50()),
                       milliseconds(t1->launchedWithPause.max())});
        paused.addRow({QStringLiteral("history row durable"), milliseconds(t1->recordedWithPause.p50()),
                       milliseconds(t1->recordedWithPause.max())});
        printLine(QString());
        paused.print(QStringLiteral("%1 ソラノT1 calls with the acknowledgement's pauses really slept")
                         .arg(t1->launchedWithPause.count()));
    }

    const auto met = [&](int on) {
        return failures.isEmpty() && lost == 0 && worstLaunchRatio[on] <= kLaunchTargetRatio ? QStringLiteral("met")
                                                                                             : QStringLiteral("MISSED");
    };
    const auto offOn = [](const std::chrono::nanoseconds(&figures)[2]) {
        return QStringLiteral("%1 vs %2").arg(milliseconds(figures[0]), milliseconds(figures[1]));
    };
    printLine(QString());
    printLine(
        QStringLiteral("SUMMARY call latency: browser started p99 %1 ms worst profile, %2x /bin/true started "
                       "alone (target %3x: %4; received to launcher called p99 %5 ms, /bin/true started alone "
                       "p99 %6 ms), row durable p99 %7 ms, poll floor p99 %8 ms; %9: browser started p50 %10 "
                       "ms, p99 %11 ms, %12x vs "
                       "%13x (target: %14 vs %15), row durable p50 %16 ms, p99 %17 ms, tray messages %18; "
                       "lost %19, messages %20%21%22")
            .arg(milliseconds(worstLaunchP99[0]), QString::number(worstLaunchRatio[0], 'f', 1),
                 QString::number(kLaunchTargetRatio, 'f', 1), met(0), milliseconds(worstDispatchP99[0]),
                 milliseconds(worstStartP99), milliseconds(worstRowP99[0]), milliseconds(worstFloorP99),
                 withBook
                     ? QStringLiteral("phone book off vs on (%1 entries, each caller listed)").arg(phoneBookEntries)
                     : QStringLiteral("extras off vs on (path1 template, notify to %1, command)")
                           .arg(server.bus.isConnected() ? QStringLiteral("dunst") : QStringLiteral("the tray")))
            .arg(offOn(worstLaunchP50), offOn(worstLaunchP99), QString::number(worstLaunchRatio[0], 'f', 1),
                 QString::number(worstLaunchRatio[1], 'f', 1), met(0), met(1), offOn(worstRowP50), offOn(worstRowP99))
            .arg(trayMessages)
            .arg(lost)
            .arg(messages)
            .arg(t1 ? QStringLiteral("; ソラノT1 adds the protocol's %1 ms ACK pause per receive event")
                          .arg(t1->pausePerCall.count())
                    : QString(),
                 failures.isEmpty() ? QString() : QStringLiteral("; FAILED: ") + failures.join(u' ')));
    return failures.isEmpty() && lost == 0 ? 0 : 1;
}
