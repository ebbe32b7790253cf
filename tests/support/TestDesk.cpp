#include "support/TestDesk.h"

#include "app/Settings.h"

#include <QFile>

#include <stdexcept>

TestDesk::TestDesk()
    : TestDesk(Setup{})
{}

TestDesk::TestDesk(Setup setup)
{
    if (setup.shipped) {
        dir.copyShippedSettings();
        write(setup.ini);
    } else {
        dir.writeSettings(setup.ini);
    }
    if (!setup.adapter.isEmpty()) {
        // The simulator answers as the settings describe the model, keys written above included.
        sim = std::make_unique<AdapterSimulator>(AdapterSimProfile::load(dir.settingsPath(), setup.adapter));
        if (!sim->isValid())
            throw std::runtime_error(sim->errorString().toStdString());
        write("[PORTS]\nCOM3=" + sim->portPath().toUtf8());
    }
    program = std::make_unique<Program>(dir.path(), ProgramSeams{boxes, pauser, setup.tray ? *setup.tray : tray,
                                                                 setup.desktopBrowser ? nullptr : &browser, &chooser});
    ReadWriteAppSettings(state(), QStringLiteral("READ"));
    if (setup.loaded) {
        LoadSettings(state());
        state().appState = AppStateCode::StandbyOff;
    }
}

TestDesk::~TestDesk()
{
    // A test's pause hook may look at the window, which goes before the serial link that
    // still pauses when it closes the port.
    pauser.onPause = nullptr;
    program.reset();
    // Whatever a test left read-only must go with the directory.
    QFile::setPermissions(dir.settingsPath(), QFile::ReadOwner | QFile::WriteOwner);
}

void TestDesk::write(const QByteArray& ini) const
{
    const SharedState target = dir.makeState();
    QString section;
    for (const QByteArray& line : ini.split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed().replace(QStringLiteral("{dir}"), dir.path());
        if (text.startsWith(u'[') && text.endsWith(u']'))
            section = text.mid(1, text.size() - 2);
        else if (const qsizetype equals = text.indexOf(u'='); equals > 0 && !section.isEmpty())
            WriteIni(target, section, text.left(equals), text.mid(equals + 1));
    }
}

void TestDesk::makeSettingsReadOnly() const
{
    QFile::setPermissions(dir.settingsPath(), QFile::ReadOwner);
}
