#include "support/TestDesk.h"

#include "app/Settings.h"
#include "link/AdapterConversation.h"

#include <QFile>

#include <stdexcept>

TestDesk::TestDesk()
    : TestDesk(Setup{})
{}

TestDesk::TestDesk(Setup setup)
    : dir(setup.appDir)
{
    if (setup.appDir.isEmpty() && setup.shipped) {
        dir.copyShippedSettings();
        write(setup.ini);
    } else if (setup.appDir.isEmpty()) {
        dir.writeSettings(setup.ini);
    }
    if (!setup.adapter.isEmpty()) {
        // The simulator answers as the settings describe the model, keys written above included.
        sim = std::make_unique<AdapterSimulator>(AdapterSimProfile::load(dir.settingsPath(), setup.adapter));
        if (!sim->isValid())
            throw std::runtime_error(sim->errorString().toStdString());
        write("[PORTS]\nCOM3=" + sim->portPath().toUtf8());
    }
    pauser.sleeps = setup.sleeps;
    program = std::make_unique<Program>(dir.path(), ProgramSeams{setup.boxes ? *setup.boxes : boxes, pauser,
                                                                 setup.tray ? *setup.tray : tray,
                                                                 setup.desktopBrowser ? nullptr : &browser, &chooser});
    ReadWriteAppSettings(state(), QStringLiteral("READ"));
    if (setup.loaded || setup.standby) {
        LoadSettings(state());
        state().appState = AppStateCode::StandbyOff;
    }
    if (setup.standby) {
        window();
        if (AdapterConversation(state(), comm(), pauser).startStandby() != AdapterConversation::StandbyStart::Started)
            throw std::runtime_error("standby did not start");
        setup.watchdog ? comm().startWatchdog() : comm().stopWatchdog();
    }
}

QByteArray TestDesk::historyIni(const QString& history, bool browse)
{
    return "[SYSTEM]\nadapter=1\nCommPort=3\n[URL]\nhistory=True\nbrowse=" + QByteArray(browse ? "True" : "False") +
           "\npath3=" + history.toUtf8() + '\n';
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

void TestDesk::makeSettingsReadOnly() const
{
    QFile::setPermissions(dir.settingsPath(), QFile::ReadOwner);
}
