#include "startup/HistoryCommands.h"

#include "app/Settings.h"
#include "calls/CallerNumber.h"
#include "calls/DesktopBrowserLauncher.h"
#include "calls/FollowProblem.h"
#include "dialogs/HistoryWindow.h"
#include "dialogs/PhoneBookWindow.h"
#include "dialogs/QtFileChooser.h"
#include "history/HistoryCsv.h"
#include "history/HistoryReader.h"
#include "history/PostgresUri.h"
#include "phonebook/PhoneBook.h"
#include "phonebook/PhoneBookFile.h"
#include "phonebook/PhoneBookIndex.h"
#include "phonebook/PhoneBookStore.h"
#include "startup/Program.h"
#include "startup/SingleInstance.h"
#include "ui/QtMessageBoxes.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <functional>

namespace {

SharedState settingsIn(const QString& appDir)
{
    SharedState state(appDir);
    ReadWriteAppSettings(state, QStringLiteral("READ"));
    LoadUrlSettings(state);
    // A desk that follows the office reads the office's phone book.
    LoadFollowSettings(state);
    return state;
}

// Says on standard error that no database holds a phone book; the exit status.
int noPhoneBook(const SharedState& state)
{
    std::fprintf(stderr, "chakushin: no history database is set (path3 in [URL] of %s), so there is no phone book\n",
                 qPrintable(settingsFilePath(state)));
    return 1;
}

// What a window shown from the command line is made with.
struct AloneParts
{
    SharedState& state;
    QtMessageBoxes& boxes;
    DesktopBrowserLauncher& browser;
    QtFileChooser& chooser;
    PhoneBook& book;
    CallEvents& events;
};

// A window asked for on the command line: handed to the running program (as `request`), or else
// shown alone until it is closed, one per title, user and `name`, which a later request brings
// forward. With the phone book and the calls' events of the configured history; the exit status.
int showFromCommandLine(const QString& appDir, SingleInstance::Request request, const QString& name,
                        const std::function<QWidget*(AloneParts& parts)>& make)
{
    SharedState state = settingsIn(appDir);
    SingleInstance running(state.systemSettings.appName);
    if (running.claim(request) == SingleInstance::Role::HandedOver)
        return 0;
    running.release();
    SingleInstance alone(state.systemSettings.appName + u'\n' + name);
    if (alone.claim() == SingleInstance::Role::HandedOver)
        return 0;

    QtMessageBoxes boxes;
    DesktopBrowserLauncher browser(state, boxes);
    QtFileChooser chooser;
    PhoneBook book;
    book.open(phoneBookTarget(state));
    CallEvents events;
    if (request == SingleInstance::Request::History)
        events.open(phoneBookTarget(state), personAtDesk(state));
    AloneParts parts{state, boxes, browser, chooser, book, events};
    QWidget* window = make(parts);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(window, &QObject::destroyed, qApp, &QCoreApplication::quit);
    QObject::connect(&alone, &SingleInstance::forwardRequested, window, [window] {
        window->showNormal();
        window->raise();
        window->activateWindow();
    });
    window->show();
    return QCoreApplication::exec();
}

} // namespace

int exportHistoryFromCommandLine(const QString& appDir, const QString& file, const std::optional<QDate>& from,
                                 const std::optional<QDate>& to)
{
    const SharedState state = settingsIn(appDir);
    const QString& path3 = state.urlSettings.path3;
    if (path3.isEmpty()) {
        std::fprintf(stderr, "chakushin: no history database is set (path3 in [URL] of %s)\n",
                     qPrintable(settingsFilePath(state)));
        return 1;
    }
    HistoryReader reader(path3);
    const HistoryFilter filter{QString(), from, to};
    HistoryExport result;
    if (file == QLatin1String("-")) {
        QFile out;
        if (out.open(stdout, QIODevice::WriteOnly))
            result = exportHistory(reader, filter, out, &CallerNumber::shownOf);
        else
            result.error = out.errorString();
        out.flush();
    } else {
        // The file appears only once it is complete.
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            result.error = out.errorString();
        else if (result = exportHistory(reader, filter, out, &CallerNumber::shownOf); result.ok && !out.commit())
            result = HistoryExport{false, 0, out.errorString()};
    }
    if (!result.ok) {
        std::fprintf(stderr, "chakushin: cannot export the history \"%s\" to %s: %s\n",
                     qPrintable(withoutPassword(path3)), qPrintable(file), qPrintable(result.error));
        return 1;
    }
    if (file != QLatin1String("-"))
        std::printf("Exported %lld calls to %s\n", static_cast<long long>(result.rows), qPrintable(file));
    return 0;
}

int showHistoryFromCommandLine(const QString& appDir)
{
    return showFromCommandLine(
        appDir, SingleInstance::Request::History, QStringLiteral("着信履歴"), [](AloneParts& parts) {
            auto* window =
                new HistoryWindow(parts.state, parts.browser, parts.chooser, nullptr, &parts.book, &parts.boxes);
            window->setCallEvents(&parts.events);
            return window;
        });
}

int showPhoneBookFromCommandLine(const QString& appDir)
{
    return showFromCommandLine(
        appDir, SingleInstance::Request::PhoneBook, QStringLiteral("電話帳"),
        [](AloneParts& parts) { return new PhoneBookWindow(parts.book, parts.boxes, parts.chooser); });
}

int importPhoneBookFromCommandLine(const QString& appDir, const QString& file)
{
    SharedState state = settingsIn(appDir);
    const QString target = phoneBookTarget(state);
    if (target.isEmpty())
        return noPhoneBook(state);
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "chakushin: cannot read %s: %s\n", qPrintable(file), qPrintable(in.errorString()));
        return 1;
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        std::fprintf(stderr, "chakushin: cannot read %s: %s\n", qPrintable(file), qPrintable(in.errorString()));
        return 1;
    }
    PhoneBookStore store(target);
    const std::optional<ImportPlan> plan = store.import(readPhoneBookFile(bytes));
    if (!plan) {
        std::fprintf(stderr, "chakushin: cannot import %s into the phone book of \"%s\" (nothing was added): %s\n",
                     qPrintable(file), qPrintable(withoutPassword(target)),
                     qPrintable(withoutPasswordOf(target, store.lastError())));
        return 1;
    }
    std::printf("%s\n", qPrintable(importReport(*plan)));
    return 0;
}

int exportPhoneBookFromCommandLine(const QString& appDir, const QString& file)
{
    SharedState state = settingsIn(appDir);
    const QString target = phoneBookTarget(state);
    if (target.isEmpty())
        return noPhoneBook(state);
    PhoneBookStore store(target);
    const std::optional<std::vector<PhoneBookEntry>> all = store.all();
    if (!all) {
        std::fprintf(stderr, "chakushin: cannot read the phone book of \"%s\": %s\n",
                     qPrintable(withoutPassword(target)), qPrintable(withoutPasswordOf(target, store.lastError())));
        return 1;
    }
    // In the window's order.
    const PhoneBookIndex index(*all);
    std::vector<PhoneBookEntry> entries;
    for (const PhoneBookEntry* entry : index.search(QString()))
        entries.push_back(*entry);

    const bool toStdout = file == QLatin1String("-");
    const QByteArray bytes = !toStdout && file.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive)
                                 ? phoneBookVCard(entries)
                                 : phoneBookCsv(entries);
    QString error;
    if (toStdout) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
            error = out.errorString();
    } else {
        // The file appears only once it is complete.
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
            error = out.errorString();
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "chakushin: cannot export the phone book to %s: %s\n", qPrintable(file),
                     qPrintable(error));
        return 1;
    }
    if (!toStdout)
        std::printf("Exported %lld entries to %s\n", static_cast<long long>(entries.size()), qPrintable(file));
    return 0;
}
