#pragma once

#include "app/Settings.h"
#include "link/ReceiveProcessor.h"
#include "link/frmComm.h"
#include "ui/DialogOpeners.h"
#include "ui/frmMessage.h"
#include "ui/frmTerminal.h"

#include "AdapterSimulator.h"
#include "support/Pictures.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingCallHistory.h"
#include "support/RecordingPauser.h"
#include "support/RecordingTaskTray.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"

#include <QFile>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>

/// A desk for the settings dialogs: the shipped settings with `model` simulated on COM3
/// (selected as `adapter` `index`, COMMinit True), `extra` keys written over them before the
/// simulator reads its profile, and the main window over the real serial link, with
/// recording fakes for people, pauses, the tray, the browser and the history.
struct DialogDesk
{
    struct Key
    {
        const char* section;
        const char* key;
        QString value;
    };

    explicit DialogDesk(const char* model = "CTI-INS100", const char* index = "1",
                        std::initializer_list<Key> extra = {})
    {
        dir.copyShippedSettings();
        SharedState setup = dir.makeState();
        const std::initializer_list<Key> base = {
            {"SYSTEM", "adapter", QString::fromUtf8(index)},
            {"SYSTEM", "CommPort", "3"},
            {"SYSTEM", "COMMinit", "True"},
        };
        for (const auto& keys : {base, extra}) {
            for (const Key& k : keys)
                WriteIni(setup, QLatin1String(k.section), QLatin1String(k.key), k.value);
        }
        sim = std::make_unique<AdapterSimulator>(AdapterSimProfile::load(dir.settingsPath(), QString::fromUtf8(model)));
        if (!sim->isValid())
            throw std::runtime_error(sim->errorString().toStdString());
        WriteIni(setup, QStringLiteral("PORTS"), QStringLiteral("COM3"), sim->portPath());
        // COM9 is a port whose device does not exist.
        WriteIni(setup, QStringLiteral("PORTS"), QStringLiteral("COM9"), QStringLiteral("/nonexistent/tty"));

        state = dir.makeState();
        ReadWriteAppSettings(state, QStringLiteral("READ"));
        LoadSettings(state);
        state.appState = AppStateCode::StandbyOff;
        receive = std::make_unique<ReceiveProcessor>(state, boxes, launcher, history);
        comm = std::make_unique<frmComm>(state, boxes, pauser, *receive);
        window = std::make_unique<frmTerminal>(state, boxes, pauser, *comm, *receive, tray, openers);
        window->move(130, 170);
    }

    ~DialogDesk()
    {
        // A test's pause hook may look at the window, which goes before the serial link
        // that still pauses when it closes the port.
        pauser.onPause = nullptr;
        // Whatever a test left read-only must go with the directory.
        QFile::setPermissions(dir.settingsPath(), QFile::ReadOwner | QFile::WriteOwner);
    }

    /// A picture file of one colour in the application directory.
    void paint(const QString& name, Qt::GlobalColor colour) const { paintPicture(dir.filePath(name), colour); }

    void makeSettingsReadOnly() const { QFile::setPermissions(dir.settingsPath(), QFile::ReadOwner); }

    /// From now on, a reply wait expires at its first poll, as its timer would, while
    /// `when` holds (always, without it).
    template<typename Dialog> void expireWaits(Dialog& dialog, std::function<bool()> when = {})
    {
        pauser.onPause = [this, &dialog, when](std::chrono::milliseconds pause) {
            // The popup's own pause is as long as a poll; only a running wait expires.
            if (pause != frmComm::kReplyPoll || !dialog.waitTimer.isActive() || (when && !when()))
                return;
            waitIntervals.push_back(dialog.waitTimer.interval());
            dialog.waitTimer_Timer();
        };
    }

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
    /// The dialog's wait timer interval at each expired wait.
    std::vector<int> waitIntervals;
};
