#include "AdapterSimulator.h"
#include "SimulatorConsole.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>
#include <QThread>
#include <QTime>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[0], &byte, 1);
}

/// SIGINT and SIGTERM end the event loop like `quit`, so the link is removed on the way out.
void installSignalHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(g_signalPipe[1], &byte, 1);
        QCoreApplication::quit();
    });
}

/// Closing the master hangs up the line and discards what the program has not read yet, so
/// give it a moment to take the last answer or call before going. The kernel hands written
/// bytes to the slave side a little later, so an empty queue only counts when seen twice.
void drainLine(const QString& slavePath)
{
    constexpr auto kDrainLimit = std::chrono::milliseconds(1000);
    constexpr auto kDrainStep = std::chrono::milliseconds(20);
    const int fd = ::open(QFile::encodeName(slavePath).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    int emptySeen = 0;
    for (auto waited = std::chrono::milliseconds(0); waited < kDrainLimit && emptySeen < 2; waited += kDrainStep) {
        QThread::msleep(static_cast<unsigned long>(kDrainStep.count()));
        int unread = 0;
        if (::ioctl(fd, FIONREAD, &unread) != 0)
            break;
        emptySeen = unread == 0 ? emptySeen + 1 : 0;
    }
    ::close(fd);
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

void logLine(const QString& line)
{
    err() << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) << ' ' << line << Qt::endl;
}

int usageError(const QString& text)
{
    err() << "chakushin-adapter-sim: " << text << Qt::endl << "Try --help." << Qt::endl;
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("chakushin-adapter-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays a caller-ID / CTI adapter of settings.ini on a pseudo-terminal. The slave\n"
                       "device path is printed on standard output; open it as the adapter's serial port.\n"
                       "What the simulator receives and sends is logged on standard error.\n\n") +
        SimulatorConsole::helpText());
    parser.addHelpOption();
    const QCommandLineOption settingsOption(
        QStringLiteral("settings"),
        QStringLiteral("settings.ini to read the profiles from (default: next to this program)."),
        QStringLiteral("PATH"));
    const QCommandLineOption modelOption(
        QStringLiteral("model"), QStringLiteral("Model to play (default: the selected adapter, else the first)."),
        QStringLiteral("NAME"));
    const QCommandLineOption adapterOption(QStringLiteral("adapter"),
                                           QStringLiteral("Play the N-th model of the ADAPTER section (1 to 5)."),
                                           QStringLiteral("N"));
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Also make a symbolic link PATH to the slave device."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption callEveryOption(
        QStringLiteral("call-every"),
        QStringLiteral("Raise a call every SECONDS (needs --number); then end of input does not end the program."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption numberOption(QStringLiteral("number"), QStringLiteral("Caller number for --call-every."),
                                          QStringLiteral("N"));
    parser.addOptions({settingsOption, modelOption, adapterOption, linkOption, callEveryOption, numberOption});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst()));

    const QString settingsPath =
        parser.isSet(settingsOption)
            ? parser.value(settingsOption)
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("settings.ini"));
    if (!QFileInfo(settingsPath).isFile())
        return usageError(QStringLiteral("no settings file at %1").arg(settingsPath));

    QString model;
    if (parser.isSet(modelOption) && parser.isSet(adapterOption))
        return usageError(QStringLiteral("give either --model or --adapter"));
    if (parser.isSet(modelOption)) {
        model = parser.value(modelOption);
    } else if (parser.isSet(adapterOption)) {
        bool ok = false;
        const int index = parser.value(adapterOption).toInt(&ok);
        if (!ok || index < 1 || index > 5)
            return usageError(QStringLiteral("--adapter takes a number from 1 to 5"));
        model = AdapterSimProfile::modelAt(settingsPath, index);
        if (model.isEmpty())
            return usageError(QStringLiteral("adapter%1 is empty in %2").arg(index).arg(settingsPath));
    } else {
        model = AdapterSimProfile::selectedModel(settingsPath);
        if (model.isEmpty())
            model = AdapterSimProfile::models(settingsPath).value(0);
        if (model.isEmpty())
            return usageError(QStringLiteral("%1 lists no adapter models").arg(settingsPath));
    }
    const AdapterSimProfile profile = AdapterSimProfile::load(settingsPath, model);
    if (profile.isEmpty())
        return usageError(QStringLiteral("no profile section [%1] in %2").arg(model, settingsPath));

    std::chrono::milliseconds callInterval{0};
    if (parser.isSet(callEveryOption)) {
        bool ok = false;
        const double seconds = parser.value(callEveryOption).toDouble(&ok);
        if (!ok || seconds <= 0 || seconds > 86400)
            return usageError(QStringLiteral("--call-every takes a number of seconds greater than 0"));
        if (!parser.isSet(numberOption) || parser.value(numberOption).isEmpty())
            return usageError(QStringLiteral("--call-every needs --number"));
        callInterval = std::chrono::milliseconds(qRound64(seconds * 1000));
    } else if (parser.isSet(numberOption)) {
        return usageError(QStringLiteral("--number is used with --call-every"));
    }

    AdapterSimulator simulator(profile);
    // The calls it raises ring on port 1, so a read-out says that port notifies.
    simulator.setCtiPorts({true, false, false});
    QObject::connect(&simulator, &AdapterSimulator::logged, &app, &logLine);
    if (!simulator.isValid()) {
        err() << "chakushin-adapter-sim: no pseudo-terminal: " << simulator.errorString() << Qt::endl;
        return 1;
    }
    QString linkPath;
    if (parser.isSet(linkOption)) {
        linkPath = parser.value(linkOption);
        if (!simulator.makeLink(linkPath)) {
            err() << "chakushin-adapter-sim: cannot make the link " << linkPath << Qt::endl;
            return 1;
        }
    }
    {
        QTextStream out(stdout);
        out << simulator.slavePath() << Qt::endl;
    }
    logLine(QStringLiteral("-- playing %1 on %2%3")
                .arg(model, simulator.slavePath(),
                     linkPath.isEmpty() ? QString() : QStringLiteral(" (link %1)").arg(linkPath)));

    SimulatorConsole console(simulator);
    QTimer callTimer;
    if (callInterval.count() > 0) {
        const QString number = parser.value(numberOption);
        callTimer.setInterval(callInterval);
        QObject::connect(&callTimer, &QTimer::timeout, &simulator,
                         [&simulator, number] { simulator.raiseCall(number); });
        callTimer.start();
    }

    QByteArray input;
    QSocketNotifier stdinNotifier(STDIN_FILENO, QSocketNotifier::Read);
    // Runs one command line; false when it asked to quit.
    const auto runLine = [&](const QByteArray& bytes) {
        const SimulatorConsole::Result result = console.execute(QString::fromLocal8Bit(bytes));
        if (!result.ok) {
            err() << "chakushin-adapter-sim: " << result.text << Qt::endl;
        } else if (!result.text.isEmpty()) {
            QTextStream out(stdout);
            out << result.text << Qt::flush;
        }
        return !result.quit;
    };
    QObject::connect(&stdinNotifier, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            stdinNotifier.setEnabled(false);
            const bool goOn = input.isEmpty() || runLine(std::exchange(input, {}));
            // With periodic calls the simulator is meant to run unattended, without input.
            if (!goOn || callInterval.count() == 0)
                QCoreApplication::quit();
            return;
        }
        input.append(buffer, n);
        qsizetype end;
        while ((end = input.indexOf('\n')) >= 0) {
            const QByteArray line = input.left(end);
            input.remove(0, end + 1);
            if (!runLine(line)) {
                stdinNotifier.setEnabled(false);
                QCoreApplication::quit();
                return;
            }
        }
    });
    installSignalHandlers();

    const int rc = app.exec();
    drainLine(simulator.slavePath());
    if (!linkPath.isEmpty() && QFileInfo(linkPath).symLinkTarget() == simulator.slavePath())
        QFile::remove(linkPath);
    logLine(QStringLiteral("-- ended"));
    return rc;
}
