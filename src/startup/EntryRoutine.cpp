#include "startup/EntryRoutine.h"

#include "app/CommandLine.h"
#include "app/Pause.h"
#include "app/Settings.h"
#include "history/PostgresHistoryStore.h"
#include "history/PostgresUri.h"
#include "history/SpoolLock.h"
#include "history/SqliteHistoryStore.h"
#include "phonebook/PhoneBookDatabase.h"
#include "startup/ApplicationDirectory.h"
#include "startup/Autostart.h"
#include "startup/FollowCommand.h"
#include "startup/ForegroundWindow.h"
#include "startup/HistoryCommands.h"
#include "startup/Program.h"
#include "startup/SingleInstance.h"
#include "startup/StartupSequence.h"
#include "ui/ApplicationSetup.h"
#include "ui/QtMessageBoxes.h"
#include "ui/SystemTaskTray.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace {

QStringList rawArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void reportUsageError(const CommandLine& options)
{
    std::fprintf(stderr, "chakushin: %s\n%s", qPrintable(options.error), kUsage);
}

CommandLine commandLine()
{
    const CommandLine options = parseCommandLine(QCoreApplication::arguments());
    if (!options.error.isEmpty())
        reportUsageError(options);
    return options;
}

// Whether the windowing system Qt is about to choose has nothing to show windows on: a Linux
// desktop without an X11 or a Wayland session. A platform chosen by -platform or
// QT_QPA_PLATFORM that needs no session (offscreen, vnc, ...) is left to Qt.
bool lacksDesktopSession(const QStringList& arguments)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (arguments.contains(QLatin1String("-platform")) || arguments.contains(QLatin1String("--platform")))
        return false;
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb")) &&
        !platform.startsWith(QLatin1String("wayland")))
        return false;
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    Q_UNUSED(arguments)
    return false;
#endif
}

// A file is made with its table; in PostgreSQL, the database exists and gets the table.
int createHistoryDb(const QString& path)
{
    QString error;
    const bool onServer = isPostgresUri(path);
    const QString shown = withoutPassword(path);
    const QStringList phoneBook = PhoneBookDatabase::createStatements(onServer);
    if (!(onServer ? createPostgresHistoryTable(path, &error, phoneBook)
                   : createHistoryDatabase(path, &error, phoneBook))) {
        std::fprintf(stderr, "chakushin: cannot create the history %s %s: %s\n", onServer ? "table in" : "database",
                     qPrintable(shown), qPrintable(error));
        return 1;
    }
    std::printf(onServer ? "Created the history table in %s\n" : "Created the history database %s\n",
                qPrintable(shown));
    return 0;
}

ApplicationDirectory applicationDirectory(const CommandLine& options)
{
    ApplicationDirectory dir = resolveApplicationDirectory(options.appDir, QCoreApplication::applicationDirPath());
    if (!dir.error.isEmpty())
        std::fprintf(stderr, "chakushin: cannot prepare %s: %s\n", qPrintable(dir.path), qPrintable(dir.error));
    return dir;
}

int setAutostart(bool on, const QString& appDir)
{
    const AutostartResult result =
        on ? enableAutostart(QCoreApplication::applicationFilePath(), appDir) : disableAutostart();
    std::fprintf(result.ok ? stdout : stderr, "%s%s\n", result.ok ? "" : "chakushin: ", qPrintable(result.message));
    return result.ok ? 0 : 1;
}

// What ends at once and needs no display: the usage, the version, the history database, its
// export, the phone book's import and export, following and the autostart entry.
int runWithoutDisplay(const CommandLine& options)
{
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("chakushin %s\n", CHAKUSHIN_VERSION);
        return 0;
    }
    if (options.createHistoryDb)
        return createHistoryDb(*options.createHistoryDb);
    if (options.exportHistory)
        return exportHistoryFromCommandLine(applicationDirectory(options).path, *options.exportHistory,
                                            options.exportFrom, options.exportTo);
    if (options.importPhoneBook)
        return importPhoneBookFromCommandLine(applicationDirectory(options).path, *options.importPhoneBook);
    if (options.exportPhoneBook)
        return exportPhoneBookFromCommandLine(applicationDirectory(options).path, *options.exportPhoneBook);
    if (options.follow)
        return setFollowingFromCommandLine(applicationDirectory(options).path, *options.follow);
    if (options.autostart == false)
        return setAutostart(false, {});
    if (options.autostart)
        return setAutostart(true, applicationDirectory(options).path);
    return 2;
}

int runProgram(const ApplicationDirectory& dir)
{
    const QString& appDir = dir.path;
    // Only the title and the debug switch are read before it is clear that this start runs.
    SharedState titleOnly(appDir);
    ReadWriteAppSettings(titleOnly, QStringLiteral("READ"));
    for (const QString& line : dir.trace)
        DebugLog(titleOnly, line);
    SingleInstance instance(titleOnly.systemSettings.appName);
    if (instance.claim() == SingleInstance::Role::HandedOver) {
        DebugLog(titleOnly, QStringLiteral("handed over to the running instance"));
        return 0;
    }

    QtMessageBoxes boxes;
    ThreadPauser pauser;
    SystemTaskTray tray;
    Program program(appDir, {boxes, pauser, tray});
    ReadWriteAppSettings(program.state, QStringLiteral("READ"));
    // Another program on this directory (started with another title, by another user, in
    // another session) owns the calls waiting in its spool and the adapter's port: this one
    // would write that program's rows a second time.
    if (const SpoolLock& spool = program.history.spoolLock(); spool.state() == SpoolLock::State::HeldElsewhere) {
        std::fprintf(stderr, "chakushin: %s is in use by another chakushin (%s holds %s); not starting\n",
                     qPrintable(appDir), qPrintable(spool.holder()), qPrintable(spool.path()));
        boxes.show(QStringLiteral("このフォルダーの設定は、ほかに起動している着信が使っています（%1）。\n%2\n"
                                  "同じフォルダーで二つ同時には起動できません。")
                       .arg(spool.holder(), QDir::toNativeSeparators(appDir)),
                   program.state.systemSettings.appName, MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
        return 1;
    }

    // Rows a previous run could not write (it may have been killed) go in before anything
    // else, wherever the history is now; the retry every minute goes on if they cannot.
    // Before the main window: its identification guard counts from its load, and a database
    // that keeps the drain waiting must not eat into it.
    if (const int earlier = program.history.rowsOfEarlierRun(); earlier > 0) {
        LoadUrlSettings(program.state);
        program.history.drainSpool();
        const QString told = QStringLiteral("%1 calls of an earlier run waited for the history; %2 written now")
                                 .arg(earlier)
                                 .arg(earlier - program.history.spooledRows());
        std::fprintf(stderr, "chakushin: %s\n", qPrintable(told));
        DebugLog(program.state, told);
    }

    frmTerminal& window = program.loadMainWindow();
    ForegroundWindow foreground(window);
    QObject::connect(&instance, &SingleInstance::forwardRequested, &foreground, &ForegroundWindow::bringForward);
    QObject::connect(&instance, &SingleInstance::historyRequested, &window, [&program] { program.openHistory(); });
    QObject::connect(&instance, &SingleInstance::phoneBookRequested, &window, [&program] { program.openPhoneBook(); });

    StartupSequence startup(program.state, boxes, pauser, program.comm, window, program.stepDialogs());
    switch (startup.run()) {
    case StartupSequence::Outcome::SettingsUnusable:
        return 1;
    case StartupSequence::Outcome::Quit:
        return 0;
    case StartupSequence::Outcome::Running:
        break;
    }
    foreground.releaseMainWindow();
    return program.runUntilUnloaded();
}

} // namespace

int runEntryRoutine(int& argc, char** argv)
{
    // The per-user directory and the autostart entry are named after this.
    QCoreApplication::setApplicationName(QStringLiteral("chakushin"));

    // The options that do their work and end need no display, so they also work from a
    // script or a remote shell.
    const QStringList arguments = rawArguments(argc, argv);
    const CommandLine early = parseCommandLine(arguments);
    if (early.endsAtOnce) {
        QCoreApplication app(argc, argv);
        const CommandLine options = commandLine();
        return options.error.isEmpty() ? runWithoutDisplay(options) : 2;
    }
    // Qt would abort here with advice to reinstall the application.
    if (lacksDesktopSession(arguments)) {
        if (!early.error.isEmpty()) {
            reportUsageError(early);
            return 2;
        }
        std::fputs("chakushin: needs a desktop session, and neither DISPLAY nor WAYLAND_DISPLAY is set "
                   "(chakushin --help lists what works without one)\n",
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    prepareApplication(app);
    const CommandLine options = commandLine();
    if (!options.error.isEmpty())
        return 2;
    if (options.createHistoryDb || options.exportHistory || options.importPhoneBook || options.exportPhoneBook ||
        options.follow || options.autostart || options.help || options.version)
        return runWithoutDisplay(options);
    if (options.history)
        return showHistoryFromCommandLine(applicationDirectory(options).path);
    if (options.phoneBook)
        return showPhoneBookFromCommandLine(applicationDirectory(options).path);
    return runProgram(applicationDirectory(options));
}
