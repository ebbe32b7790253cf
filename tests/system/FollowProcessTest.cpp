// An office on a throwaway PostgreSQL server with real programs, each with its own application and runtime directory:
// a desk with the simulated adapter that also follows, and two desks that only follow. A call opens the page once on
// every desk and writes one row; a server restart and a follower killed and started again lose no later call, and
// the calls of the outage are not opened late.

#include "support/ProcessEventsUntil.h"
#include "support/TestDesk.h"
#include "support/X11Box.h"

#include "ThrowawayCluster.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifndef CHAKUSHIN_EXECUTABLE
#error "CHAKUSHIN_EXECUTABLE must name the program"
#endif

using namespace std::chrono_literals;

namespace {

const QString kPage = QStringLiteral("http://crm.example.jp/?tel=");

void wait(std::chrono::milliseconds time)
{
    processEventsUntil([] { return false; }, time);
}

// One desk as a running program: its settings, the adapter simulator when it has one, a browser that notes each
// URL in a file, and what the program traces.
struct Desk
{
    explicit Desk(const QByteArray& ini, const QString& adapter = {})
        : desk({.ini =
                    "[SYSTEM]\ndebugmode=True\nURLinit=True\n[URL]\nbrowse=True\npath1=" + kPage.toUtf8() + "\n" + ini,
                .adapter = adapter})
    {
        desk.program.reset(); // the desk's own program is the one started below
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile browser(desk.dir.filePath("browser"));
        browser.open(QIODevice::WriteOnly);
        browser.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >>\"" + QFile::encodeName(desk.dir.filePath("urls")) + "\"\n");
        browser.setPermissions(browser.permissions() | QFile::ExeOwner);
    }
    ~Desk() { end(); }

    QProcessEnvironment environment(bool display) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("BROWSER", desk.dir.filePath("browser"));
        env.insert("QT_QPA_PLATFORM", "xcb");
        if (!display)
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(name);
        return env;
    }
    // `chakushin --follow VALUE` on this desk, without a display: its exit status and standard error.
    std::pair<int, QString> follow(const QString& value) const
    {
        QProcess once;
        once.setProcessEnvironment(environment(false));
        once.start(CHAKUSHIN_EXECUTABLE, {"--app-dir", desk.dir.path(), "--follow", value});
        once.waitForFinished(20000);
        return {once.exitCode(), QString::fromUtf8(once.readAllStandardError())};
    }
    // Starts the program and answers 「はい」 to its question about standby.
    bool start()
    {
        trace.clear();
        program.setProcessEnvironment(environment(true));
        program.start(CHAKUSHIN_EXECUTABLE, {"--app-dir", desk.dir.path()});
        program.waitForStarted();
        return answerBoxWithReturn(program, 30s);
    }
    // Whether the program has traced `line` since it started, waiting for it at most `patience`.
    bool traced(const QString& line, std::chrono::milliseconds patience = 20s)
    {
        return processEventsUntil(
            [&] {
                trace += QString::fromUtf8(program.readAllStandardError());
                return trace.contains(line);
            },
            patience);
    }
    // The numbers whose pages the browser was handed, in order.
    QStringList opened() const
    {
        QFile file(desk.dir.filePath("urls"));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll()).remove(kPage).split(u'\n', Qt::SkipEmptyParts);
    }
    void end()
    {
        program.kill();
        program.waitForFinished();
    }

    QTemporaryDir runtime;
    TestDesk desk;
    QProcess program;
    QString trace;
};

} // namespace

TEST(FollowingDesks, AnOfficeOfThreeDesks)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs an X server (run under scripts/lib/with-xvfb)";
    ThrowawayCluster cluster;
    ASSERT_TRUE(cluster.start() && cluster.createDatabase("office")) << cluster.error().toStdString();
    const QString uri = cluster.uri("office");
    QProcess create;
    create.start(CHAKUSHIN_EXECUTABLE, {"--create-history-db", uri});
    ASSERT_TRUE(create.waitForFinished(20000) && create.exitCode() == 0) << create.readAllStandardError().toStdString();
    const auto rows = [&] {
        QList<QStringList> result;
        return cluster.query("office", "SELECT count(*) FROM history", &result) ? result[0][0].toInt() : -1;
    };

    // The adapter desk writes the history and follows too; the two others are set up by --follow alone.
    Desk adapterDesk("[SYSTEM]\nadapter=1\nCommPort=3\nCOMMinit=True\n[URL]\nhistory=True\npath3=" + uri.toUtf8() +
                         "\n[FOLLOW]\nenabled=True\nuri=" + uri.toUtf8() + "\n",
                     "CTI-INS100");
    Desk first(""), second("");
    for (Desk* follower : {&first, &second}) {
        const auto [status, errors] = follower->follow(uri);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(errors, QString()) << "the table announces its calls";
    }
    for (Desk* desk : {&adapterDesk, &first, &second}) {
        ASSERT_TRUE(desk->start()) << desk->program.readAllStandardError().toStdString();
        ASSERT_TRUE(desk->traced("listening for calls")) << desk->trace.toStdString();
    }
    const auto ring = [&](const QString& number) {
        adapterDesk.desk.sim->raiseCall(number);
    };
    const auto opened = [&](Desk& desk, const QStringList& numbers) {
        return processEventsUntil([&] { return desk.opened() == numbers; }, 15s);
    };

    // One call: the page once on every desk, one row.
    ring("0312345678");
    for (Desk* desk : {&first, &second, &adapterDesk})
        EXPECT_TRUE(opened(*desk, {"0312345678"})) << desk->opened().join(' ').toStdString();
    wait(1s);
    EXPECT_EQ(adapterDesk.opened(), QStringList{"0312345678"}) << "the adapter desk opens its own call once";
    EXPECT_EQ(rows(), 1);

    // The server restarted: a call of the outage is kept at the adapter desk and written with the next call, late;
    // the followers count it and open only the next one.
    ASSERT_TRUE(cluster.stop());
    for (Desk* follower : {&first, &second})
        EXPECT_TRUE(follower->traced("following: ")) << follower->trace.toStdString();
    QElapsedTimer outageCall;
    outageCall.start();
    ring("0322222222");
    EXPECT_TRUE(opened(adapterDesk, {"0312345678", "0322222222"}));
    EXPECT_TRUE(answerBoxWithReturn(adapterDesk.program, 30s))
        << "the row is not written now, and the adapter desk says so";
    ASSERT_TRUE(cluster.start()) << cluster.error().toStdString();
    for (Desk* follower : {&first, &second})
        EXPECT_TRUE(follower->traced("listening for calls again")) << follower->trace.toStdString();
    wait(std::max(0ms, 7000ms - std::chrono::milliseconds(outageCall.elapsed())));
    ring("0333333333");
    for (Desk* follower : {&first, &second}) {
        EXPECT_TRUE(opened(*follower, {"0312345678", "0333333333"})) << follower->opened().join(' ').toStdString();
        EXPECT_TRUE(follower->traced("was written late")) << follower->trace.toStdString();
    }
    EXPECT_EQ(rows(), 3);

    // A follower killed misses nothing once started again.
    second.end();
    ring("0344444444");
    EXPECT_TRUE(opened(first, {"0312345678", "0333333333", "0344444444"}));
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(second.traced("listening for calls")) << second.trace.toStdString();
    ring("0355555555");
    EXPECT_TRUE(opened(first, {"0312345678", "0333333333", "0344444444", "0355555555"}));
    EXPECT_TRUE(opened(second, {"0312345678", "0333333333", "0355555555"})) << second.opened().join(' ').toStdString();
    EXPECT_TRUE(opened(adapterDesk, {"0312345678", "0322222222", "0333333333", "0344444444", "0355555555"}));
    EXPECT_EQ(rows(), 5);
}
