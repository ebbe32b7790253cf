// The main window: how long the program takes from its start until the user sees its
// first window (the popup of the adapter check), the resident memory with the window up
// and standby on, and the CPU time that idle standby costs while the watchdog polls the
// adapter every 5 s. Beside them: a bare process start of /bin/true, and the same window
// idle with standby off.
//
// Run it on a real X server (scripts/bench does); on the offscreen platform the figures
// leave out the window system.

#include "BenchMessageBoxes.h"
#include "ProcessMemory.h"
#include "Samples.h"
#include "TextTable.h"

#include "app/Pause.h"
#include "app/Settings.h"
#include "startup/Program.h"
#include "ui/SystemTaskTray.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <sys/resource.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDefaultStarts = 20;
constexpr int kQuickStarts = 5;
constexpr auto kDefaultIdle = 60s;
constexpr auto kQuickIdle = 10s;
constexpr auto kCpuTargetPerMinute = 60ms;
constexpr auto kStartPatience = 10s;

std::chrono::microseconds cpuTime()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

void runEventLoopFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// Starts `program` and returns the time until a line containing `marker` appears on its
// standard error (or, with an empty marker, until it exits). Negative when it never does.
Samples::Duration timeStart(const QString& program, const QStringList& arguments, const QByteArray& marker)
{
    QProcess process;
    QByteArray seen;
    const auto started = Clock::now();
    process.start(program, arguments);
    const QDeadlineTimer deadline(kStartPatience);
    bool done = false;
    while (!done && !deadline.hasExpired()) {
        if (marker.isEmpty()) {
            done = process.waitForFinished(10);
        } else {
            process.waitForReadyRead(10);
            seen += process.readAllStandardError();
            done = seen.contains(marker);
        }
    }
    const auto elapsed = Clock::now() - started;
    process.kill();
    process.waitForFinished();
    return done ? Samples::Duration(elapsed) : Samples::Duration(-1);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Start-up time, memory and idle CPU of the main window."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("quick"), QStringLiteral("5 starts and 10 s of idle standby.")});
    parser.process(app);
    const bool quick = parser.isSet(QStringLiteral("quick"));
    const int starts = quick ? kQuickStarts : kDefaultStarts;
    const auto idle = quick ? kQuickIdle : kDefaultIdle;
    const QString binDir = QCoreApplication::applicationDirPath();

    QTemporaryDir dir;
    QFile::copy(binDir + QStringLiteral("/settings.ini"), dir.filePath(QStringLiteral("settings.ini")));
    SharedState state;
    state.appDir = dir.path();
    const QString link = dir.filePath(QStringLiteral("adapter"));
    WriteIni(state, "SYSTEM", "debugmode", "True");
    WriteIni(state, "SYSTEM", "adapter", "1");
    WriteIni(state, "SYSTEM", "CommPort", "3");
    WriteIni(state, "PORTS", "COM3", link);

    // 1. Program start until its first window has been painted: with an adapter configured
    // that is the popup of the adapter check (traced in debug mode). Nothing answers on the
    // link here, so the start would go on into the adapter dialog.
    Samples startUp;
    Samples bareStart;
    for (int i = 0; i < starts; ++i) {
        startUp.add(timeStart(binDir + QStringLiteral("/chakushin"), {QStringLiteral("--app-dir"), dir.path()},
                              "frmMessage shown"));
        bareStart.add(timeStart(QStringLiteral("/bin/true"), {}, {}));
    }
    if (startUp.percentile(0) < 0ns) {
        printLine(QStringLiteral("SUMMARY window: FAILED: no window was shown within 10 s"));
        return 1;
    }

    // 2. The window in this process, standby on with the simulator in a process of its own.
    QProcess sim;
    sim.start(binDir + QStringLiteral("/chakushin-adapter-sim"),
              {QStringLiteral("--settings"), dir.filePath(QStringLiteral("settings.ini")), QStringLiteral("--model"),
               QStringLiteral("CTI-INS100"), QStringLiteral("--link"), link});
    const QDeadlineTimer simDeadline(kStartPatience);
    while (!QFile::exists(link) && !simDeadline.hasExpired())
        sim.waitForReadyRead(20);

    WriteIni(state, "SYSTEM", "debugmode", "False");
    BenchMessageBoxes boxes;
    ThreadPauser pauser;
    SystemTaskTray tray;
    Program program(dir.path(), {boxes, pauser, tray});
    ReadWriteAppSettings(program.state, QStringLiteral("READ"));
    LoadSettings(program.state);
    program.state.appState = AppStateCode::StandbyOff;
    frmTerminal& window = program.loadMainWindow();
    frmComm& comm = program.comm;
    window.show();
    runEventLoopFor(1s);

    // Floor: the same window idle with standby off.
    const auto floorPeriod = idle / 3;
    const auto floorBefore = cpuTime();
    runEventLoopFor(floorPeriod);
    const auto floorCpu = cpuTime() - floorBefore;

    window.cbMachiuke->click();
    if (!comm.IsPortOpen() || !boxes.shown.isEmpty()) {
        printLine(QStringLiteral("SUMMARY window: FAILED: standby did not start: ") + boxes.shown.join(u' '));
        return 1;
    }
    runEventLoopFor(1s);
    const ProcessMemory memory = ProcessMemory::now();

    int polls = 0;
    QObject::connect(&comm, &frmComm::watchdogPolled, &comm, [&] { ++polls; });
    const auto standbyBefore = cpuTime();
    runEventLoopFor(idle);
    const auto standbyCpu = cpuTime() - standbyBefore;
    const bool stillOn = program.state.appState == AppStateCode::StandbyOn && comm.IsPortOpen();

    const auto perMinute = [](std::chrono::microseconds cpu, std::chrono::milliseconds period) {
        return std::chrono::nanoseconds(cpu) * 60 / std::chrono::duration_cast<std::chrono::seconds>(period).count();
    };
    const auto standbyPerMinute = perMinute(standbyCpu, idle);
    const auto floorPerMinute = perMinute(floorCpu, floorPeriod);

    TextTable table(
        {QStringLiteral("measure"), QStringLiteral("p50 ms"), QStringLiteral("p99 ms"), QStringLiteral("max ms")});
    table.addRow({QStringLiteral("start to first window shown"), milliseconds(startUp.p50()),
                  milliseconds(startUp.p99()), milliseconds(startUp.max())});
    table.addRow({QStringLiteral("/bin/true started and ended"), milliseconds(bareStart.p50()),
                  milliseconds(bareStart.p99()), milliseconds(bareStart.max())});
    table.print(QStringLiteral("Start-up on %1, %2 starts").arg(QGuiApplication::platformName()).arg(starts));

    TextTable idleTable(
        {QStringLiteral("idle"), QStringLiteral("seconds"), QStringLiteral("CPU ms"), QStringLiteral("CPU ms/min")}, 1);
    idleTable.addRow({QStringLiteral("standby on, watchdog polling (%1 polls)").arg(polls),
                      QString::number(std::chrono::seconds(idle).count()), milliseconds(standbyCpu),
                      milliseconds(standbyPerMinute)});
    idleTable.addRow({QStringLiteral("standby off"), QString::number(std::chrono::seconds(floorPeriod).count()),
                      milliseconds(floorCpu), milliseconds(floorPerMinute)});
    idleTable.print(QStringLiteral("Idle CPU of this process"));
    printLine(QStringLiteral("Resident memory with the window up and standby on: %1 KiB (peak %2 KiB)")
                  .arg(memory.residentKiB)
                  .arg(memory.peakResidentKiB));

    window.close();
    sim.kill();
    sim.waitForFinished();
    if (!stillOn) {
        printLine(QStringLiteral("SUMMARY window: FAILED: standby ended during the idle period"));
        return 1;
    }
    printLine(QStringLiteral("SUMMARY window: shown p50 %1 ms p99 %2 ms after start (/bin/true %3 ms); %4 KiB "
                             "resident in standby; idle standby %5 ms CPU per minute (target %6 ms: %7; standby "
                             "off %8 ms)")
                  .arg(milliseconds(startUp.p50()), milliseconds(startUp.p99()), milliseconds(bareStart.p50()))
                  .arg(memory.residentKiB)
                  .arg(milliseconds(standbyPerMinute))
                  .arg(std::chrono::duration_cast<std::chrono::milliseconds>(kCpuTargetPerMinute).count())
                  .arg(standbyPerMinute <= kCpuTargetPerMinute ? QStringLiteral("met") : QStringLiteral("missed"))
                  .arg(milliseconds(floorPerMinute)));
    return 0;
}
