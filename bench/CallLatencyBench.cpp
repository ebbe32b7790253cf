// Notification latency: from the moment the adapter simulator writes an incoming-call
// notification to the pseudo-terminal until the real receive path in standby has started
// the browser program and until the history row is durable, beside a bare poll() on the
// same descriptor and the notification's wire time at the profile's baud rate.

#include "AdapterSimulator.h"
#include "BareReader.h"
#include "BenchPauser.h"
#include "Samples.h"
#include "StandbyRig.h"
#include "TextTable.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
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

QString callNumber(int index)
{
    return QStringLiteral("03%1").arg(index, 8, 10, QLatin1Char('0'));
}

struct ProfileResult
{
    QString model;
    QString error;
    qint32 baudRate = 0;
    qsizetype notificationBytes = 0;
    std::chrono::nanoseconds wireTime{0};
    Samples floor;
    Samples processStart;
    Samples dispatched;
    Samples launched;
    Samples recorded;
    int lost = 0;
    QStringList messages;
    /// The protocol's pauses per notification, as recorded instead of slept.
    std::chrono::milliseconds pausePerCall{0};
    int pausesPerCall = 0;
    Samples launchedWithPause;
    Samples recordedWithPause;
};

class LatencyRun
{
public:
    LatencyRun(const QString& model, int calls, int realPauseCalls)
        : m_calls(calls)
        , m_realPauseCalls(realPauseCalls)
        , m_sim(AdapterSimProfile::load(StandbyRig::shippedSettingsPath(), model))
        , m_rig(model, m_pauser)
    {
        m_result.model = model;
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
        const std::size_t total = std::size_t(kWarmUpCalls + m_calls + m_realPauseCalls);
        m_rig.launcher.reserve(total);
        m_rig.history.reserve(total);
        m_result.floor.reserve(std::size_t(m_calls));
        m_result.launched.reserve(std::size_t(m_calls));
        m_result.recorded.reserve(std::size_t(m_calls));

        int index = 0;
        // The first calls load the SQLite driver and fill caches; they are not counted.
        for (int i = 0; i < kWarmUpCalls; ++i) {
            if (!floorCall(callNumber(index), false) || !programCall(callNumber(index), false)) {
                m_result.error = QStringLiteral("warm-up call %1 did not complete").arg(index);
                return m_result;
            }
            ++index;
        }
        for (int i = 0; i < m_calls; ++i, ++index) {
            // Floor and program take turns, so both see the same moments of a noisy machine.
            if (!floorCall(callNumber(index), true))
                ++m_result.lost;
            startFloorCall(callNumber(index));
            m_pauser.reset();
            if (!programCall(callNumber(index), true)) {
                ++m_result.lost;
                continue;
            }
            m_result.pausePerCall = std::max(m_result.pausePerCall, m_pauser.total());
            m_result.pausesPerCall = std::max(m_result.pausesPerCall, m_pauser.count());
        }
        if (m_controlCode && m_realPauseCalls > 0) {
            m_pauser.setSleeping(true);
            for (int i = 0; i < m_realPauseCalls; ++i, ++index) {
                if (!programCall(callNumber(index), false)) {
                    ++m_result.lost;
                    continue;
                }
                m_result.launchedWithPause.add(m_rig.launcher.last() - m_written);
                m_result.recordedWithPause.add(m_rig.history.last() - m_written);
            }
            m_pauser.setSleeping(false);
        }
        m_result.messages = m_rig.boxes.shown;
        return m_result;
    }

private:
    bool floorCall(const QString& number, bool measured)
    {
        m_sim.raiseCall(number);
        const char terminator = m_controlCode ? '\x03' : '\r';
        const char last = m_controlCode ? '\x03' : '\n';
        const BareReader::Result read =
            BareReader::readNotifications(int(m_rig.comm.MSComm1.handle()), terminator, last, 1, kCallPatience);
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
        QProcess::startDetached(QStringLiteral("/bin/true"), {QString::fromLatin1(StandbyRig::kUrlPrefix) + number});
        m_result.processStart.add(Clock::now() - start);
        std::this_thread::sleep_for(kSettle);
    }

    bool programCall(const QString& number, bool measured)
    {
        const std::size_t launchesBefore = m_rig.launcher.count();
        const std::size_t rowsBefore = m_rig.history.count();
        m_guard.start();
        m_sim.raiseCall(number);
        while (m_rig.history.count() == rowsBefore && m_guard.isActive())
            m_loop.exec();
        m_guard.stop();
        std::this_thread::sleep_for(kSettle);
        if (m_rig.history.count() != rowsBefore + 1 || m_rig.launcher.count() != launchesBefore + 1)
            return false;
        if (measured) {
            m_result.dispatched.add(m_rig.launcher.lastEntered() - m_written);
            m_result.launched.add(m_rig.launcher.last() - m_written);
            m_result.recorded.add(m_rig.history.last() - m_written);
        }
        return true;
    }

    int m_calls;
    int m_realPauseCalls;
    bool m_controlCode = false;
    AdapterSimulator m_sim;
    BenchPauser m_pauser;
    StandbyRig m_rig;
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
    parser.addOptions({callsOption, pauseOption, quickOption, profilesOption});
    parser.process(app);
    const bool quick = parser.isSet(quickOption);
    const int calls =
        std::max(1, parser.isSet(callsOption) || !quick ? parser.value(callsOption).toInt() : kQuickCalls);
    const int realPauseCalls = std::max(0, parser.isSet(pauseOption) || !quick ? parser.value(pauseOption).toInt() : 1);

    const QStringList models = parser.value(profilesOption).split(u',', Qt::SkipEmptyParts);
    std::vector<ProfileResult> results;
    for (const QString& model : models) {
        printLine(QStringLiteral("  %1: %2 calls ...").arg(model).arg(calls));
        results.push_back(LatencyRun(model, calls, realPauseCalls).run());
    }

    TextTable table({QStringLiteral("profile"), QStringLiteral("measured"), QStringLiteral("p50 ms"),
                     QStringLiteral("p99 ms"), QStringLiteral("max ms"), QStringLiteral("p50/floor")},
                    2);
    std::chrono::nanoseconds worstLaunchP99{0};
    std::chrono::nanoseconds worstRowP99{0};
    std::chrono::nanoseconds worstFloorP99{0};
    std::chrono::nanoseconds worstStartP99{0};
    std::chrono::nanoseconds worstDispatchP99{0};
    double worstLaunchRatio = 0;
    int lost = 0;
    int messages = 0;
    QStringList failures;
    const ProfileResult* t1 = nullptr;
    for (const ProfileResult& r : results) {
        if (!r.error.isEmpty()) {
            table.addRow({r.model, QStringLiteral("FAILED: ") + r.error});
            failures << r.model;
            continue;
        }
        const auto row = [&](const QString& model, const QString& what, const Samples& s) {
            table.addRow({model, what, milliseconds(s.p50()), milliseconds(s.p99()), milliseconds(s.max()),
                          ratio(s.p50(), r.floor.p50())});
        };
        row(r.model, QStringLiteral("floor: poll() on the port"), r.floor);
        row(QString(), QStringLiteral("floor: start /bin/true alone"), r.processStart);
        row(QString(), QStringLiteral("received, launcher called"), r.dispatched);
        row(QString(), QStringLiteral("browser program started"), r.launched);
        row(QString(), QStringLiteral("history row durable"), r.recorded);
        table.addRow({QString(),
                      QStringLiteral("wire time, %1 bytes at %2 baud").arg(r.notificationBytes).arg(r.baudRate),
                      milliseconds(r.wireTime)});
        if (r.pausePerCall > 0ms) {
            t1 = &r;
            table.addRow({QString(),
                          QStringLiteral("+ ACK pause (protocol, %1 pauses, not included above)").arg(r.pausesPerCall),
                          milliseconds(r.pausePerCall)});
        }
        worstLaunchP99 = std::max(worstLaunchP99, r.launched.p99());
        worstLaunchRatio = std::max(worstLaunchRatio, double(r.launched.p99().count()) /
                                                          double(std::max<qint64>(1, r.processStart.p99().count())));
        worstRowP99 = std::max(worstRowP99, r.recorded.p99());
        worstFloorP99 = std::max(worstFloorP99, r.floor.p99());
        worstStartP99 = std::max(worstStartP99, r.processStart.p99());
        worstDispatchP99 = std::max(worstDispatchP99, r.dispatched.p99());
        lost += r.lost;
        messages += int(r.messages.size());
        for (const QString& message : r.messages.mid(0, 3))
            printLine(QStringLiteral("  %1: message shown: %2").arg(r.model, message));
    }
    printLine(QString());
    table.print(QStringLiteral("Notification latency, %1 calls per profile (after %2 warm-up calls), from the "
                               "write of the notification")
                    .arg(calls)
                    .arg(kWarmUpCalls));

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

    const bool launchMet = failures.isEmpty() && lost == 0 && worstLaunchRatio <= kLaunchTargetRatio;
    printLine(QString());
    printLine(QStringLiteral("SUMMARY call latency: browser started p99 %1 ms worst profile, %2x /bin/true started "
                             "alone (target %3x: %4; received to launcher called p99 %5 ms, /bin/true started alone "
                             "p99 %6 ms), row durable p99 %7 ms, poll floor p99 %8 ms; lost %9, messages %10%11%12")
                  .arg(milliseconds(worstLaunchP99), QString::number(worstLaunchRatio, 'f', 1),
                       QString::number(kLaunchTargetRatio, 'f', 1),
                       launchMet ? QStringLiteral("met") : QStringLiteral("MISSED"), milliseconds(worstDispatchP99),
                       milliseconds(worstStartP99), milliseconds(worstRowP99), milliseconds(worstFloorP99))
                  .arg(lost)
                  .arg(messages)
                  .arg(t1 ? QStringLiteral("; ソラノT1 adds the protocol's %1 ms ACK pause per receive event")
                                .arg(t1->pausePerCall.count())
                          : QString(),
                       failures.isEmpty() ? QString() : QStringLiteral("; FAILED: ") + failures.join(u' ')));
    return failures.isEmpty() && lost == 0 ? 0 : 1;
}
