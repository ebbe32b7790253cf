#pragma once

#include "app/Settings.h"
#include "link/ReceiveProcessor.h"
#include "link/frmComm.h"
#include "ui/DialogOpeners.h"
#include "ui/frmMessage.h"
#include "ui/frmTerminal.h"

#include "AdapterSimulator.h"
#include "support/Pictures.h"
#include "support/ProcessEventsUntil.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingCallHistory.h"
#include "support/RecordingPauser.h"
#include "support/RecordingTaskTray.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <initializer_list>
#include <memory>
#include <stdexcept>

/// A desk with the CTI-INS100 adapter simulated on COM3, the shipped settings with that
/// adapter selected, three icon files of plain colours (iconFile blue, iconFile_on green,
/// iconFile_off red) and the main window loaded over the real serial link and receive
/// path, with recording fakes for people, pauses, the tray, the browser and the history.
struct Desk
{
    struct Key
    {
        const char* section;
        const char* key;
        QString value;
    };

    /// `extra` keys are written over the shipped settings; `realTray` replaces the recording one.
    explicit Desk(std::initializer_list<Key> extra = {}, TaskTray* realTray = nullptr)
    {
        dir.copyShippedSettings();
        sim = std::make_unique<AdapterSimulator>(
            AdapterSimProfile::load(dir.settingsPath(), QStringLiteral("CTI-INS100")));
        if (!sim->isValid())
            throw std::runtime_error(sim->errorString().toStdString());
        SharedState setup = dir.makeState();
        const std::initializer_list<Key> base = {
            {"SYSTEM", "adapter", "1"},
            {"SYSTEM", "CommPort", "3"},
            {"PORTS", "COM3", sim->portPath()},
            {"SYSTEM", "iconFile", "\\app.png"},
            {"SYSTEM", "iconFile_on", "\\on.png"},
            {"SYSTEM", "iconFile_off", "\\off.png"},
        };
        for (const auto& keys : {base, extra}) {
            for (const Key& k : keys)
                WriteIni(setup, QLatin1String(k.section), QLatin1String(k.key), k.value);
        }
        paint(QStringLiteral("app.png"), Qt::blue);
        paint(QStringLiteral("on.png"), Qt::green);
        paint(QStringLiteral("off.png"), Qt::red);

        state = dir.makeState();
        ReadWriteAppSettings(state, QStringLiteral("READ"));
        LoadSettings(state);
        state.appState = AppStateCode::StandbyOff;
        receive = std::make_unique<ReceiveProcessor>(state, boxes, launcher, history);
        comm = std::make_unique<frmComm>(state, boxes, pauser, *receive);
        window =
            std::make_unique<frmTerminal>(state, boxes, pauser, *comm, *receive, realTray ? *realTray : tray, openers);
    }

    void paint(const QString& name, Qt::GlobalColor colour) const { paintPicture(dir.filePath(name), colour); }
    QImage filePicture(const QString& name) const { return pictureOf(QIcon(dir.filePath(name))); }

    frmMessage& popup() { return window->popup(); }
    QString caption() const { return window->cbMachiuke->text(); }

    TempAppDir dir;
    std::unique_ptr<AdapterSimulator> sim;
    SharedState state;
    ScriptedMessageBoxes boxes;
    RecordingPauser pauser;
    RecordingBrowserLauncher launcher;
    RecordingCallHistory history;
    RecordingTaskTray tray;
    DialogOpeners openers;
    std::unique_ptr<ReceiveProcessor> receive;
    std::unique_ptr<frmComm> comm;
    std::unique_ptr<frmTerminal> window;
};
