#include "support/StandbyDesk.h"

#include "app/Settings.h"

#include <QFile>

StandbyDesk::StandbyDesk(const QString& appDir, MessageBoxes& boxes, bool watchdog)
    : program(appDir, {boxes, pauser, tray, &browser})
{
    ReadWriteAppSettings(program.state, QStringLiteral("READ"));
    LoadSettings(program.state);
    program.loadMainWindow();
    program.state.appState = AppStateCode::StandbyOn;
    program.state.rcvMode = RcvMode::Idle;
    program.state.watchAck = WatchAck::Answered;
    m_open = program.comm.OpenPort(0);
    if (m_open && watchdog)
        program.comm.watchTimer.start();
}

ProgramWithoutAdapter::ProgramWithoutAdapter(const QString& executable, const SharedState& state,
                                             const QString& history)
{
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    WriteIni(state, QStringLiteral("URL"), QStringLiteral("path3"), history);
    WriteIni(state, QStringLiteral("SYSTEM"), QStringLiteral("adapter"), QStringLiteral("1"));
    WriteIni(state, QStringLiteral("SYSTEM"), QStringLiteral("CommPort"), QStringLiteral("9"));
    WriteIni(state, QStringLiteral("PORTS"), QStringLiteral("COM9"), m_runtime.filePath(QStringLiteral("no-adapter")));
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
