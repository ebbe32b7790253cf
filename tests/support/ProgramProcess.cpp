#include "support/ProgramProcess.h"

#include "history/DatabaseCallHistory.h"
#include "history/HistorySpool.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TestDesk.h"

#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

ProgramWithoutAdapter::ProgramWithoutAdapter(const QString& executable, const SharedState& state,
                                             const QString& history)
{
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TempAppDir(state.appDir)
        .writeKeys(TestDesk::historyIni(history, false) + "[PORTS]\nCOM3=" + m_runtime.filePath("no-adapter").toUtf8());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(executable, {QStringLiteral("--app-dir"), state.appDir});
    process.waitForStarted();
}

ProgramWithoutAdapter::~ProgramWithoutAdapter()
{
    process.kill();
    process.waitForFinished();
}

void killDuringFlushes(const QString& executable, SharedState state, const QString& history,
                       const std::function<bool()>& clear, const std::function<QStringList()>& numbersIn, int rows,
                       int trials)
{
    ScriptedMessageBoxes boxes;
    const QString spool = HistorySpool::pathIn(state.appDir);
    state.urlSettings.path3 = state.appDir + QStringLiteral("/missing.mdb");
    QStringList calls;
    {
        DatabaseCallHistory waiting(state, boxes);
        for (int n = 1; n <= rows; ++n) {
            calls << QStringLiteral("03%1").arg(n, 8, 10, QLatin1Char('0'));
            waiting.journal(calls.last(), QDateTime(QDate(2026, 12, 7), QTime(9, 0)).addSecs(n * 61));
        }
    }
    // Every connection to the spool has closed, so the file holds all of it, its log merged.
    QFile::remove(spool + QStringLiteral(".full"));
    EXPECT_TRUE(QFile::copy(spool, spool + QStringLiteral(".full")));
    state.urlSettings.path3 = history;
    int midway = 0;
    for (int trial = 1; trial <= trials; ++trial) {
        SCOPED_TRACE(trial);
        for (const char* file : {"", "-wal", "-shm"})
            QFile::remove(spool + QLatin1String(file));
        EXPECT_TRUE(QFile::copy(spool + QStringLiteral(".full"), spool) && clear());
        const int killAfter = QRandomGenerator::global()->bounded(1, rows);
        {
            ProgramWithoutAdapter flushing(executable, state, history);
            while (numbersIn().size() < killAfter && flushing.process.state() == QProcess::Running)
                QThread::msleep(2);
        }
        midway += numbersIn().size() < rows;
        DatabaseCallHistory(state, boxes).drainSpool();
        EXPECT_EQ(numbersIn(), calls);
        EXPECT_EQ(HistorySpool(spool).waiting().size(), 0u);
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_GT(midway, 0) << "no kill fell into a flush";
}
