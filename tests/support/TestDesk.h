#pragma once

#include "startup/Program.h"

#include "AdapterSimulator.h"
#include "support/Pictures.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingPauser.h"
#include "support/RecordingTaskTray.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>

class MessageBoxes;
class TaskTray;

/// One desk for every test that needs the program: an application directory of its own, its
/// settings.ini the shipped one with `ini` written over it key by key, the adapter simulator
/// on a pseudo-terminal as COM3 when a model is named, and the program's parts put together
/// by `Program` with recording people, pauses, tray, browser and file dialog; in standby when
/// asked.
class TestDesk
{
public:
    struct Setup
    {
        /// Keys written over the settings, as INI text ("[SYSTEM]\nCommPort=3\n"); `{dir}` stands
        /// for the application directory.
        QByteArray ini = {};
        /// The model the simulator plays on COM3 ([PORTS] COM3 names its terminal); none if empty.
        QString adapter = {};
        /// False: settings.ini is `ini` exactly, byte for byte.
        bool shipped = true;
        /// False: the settings are left for the start-up to load; else they are loaded as after
        /// a start-up, with standby off.
        bool loaded = true;
        /// Standby started as the button starts it, the main window loaded hidden; the watchdog
        /// runs when `watchdog` says so, whatever the profile says.
        bool standby = false;
        bool watchdog = false;
        /// The pauses sleep, as the program's do, besides being recorded.
        bool sleeps = false;
        /// Another desk's application directory, its settings as they are (`ini` is not written).
        QString appDir = {};
        /// Replace the scripted boxes and the recording tray.
        MessageBoxes* boxes = nullptr;
        TaskTray* tray = nullptr;
        /// Calls open the desktop's browser (`BROWSER`) instead of the recording one.
        bool desktopBrowser = false;
    };

    TestDesk();
    explicit TestDesk(Setup setup);
    ~TestDesk();

    TestDesk(const TestDesk&) = delete;
    TestDesk& operator=(const TestDesk&) = delete;

    SharedState& state() { return program->state; }
    frmComm& comm() { return program->comm; }
    /// The main window, loaded hidden on first use.
    frmTerminal& window() { return program->loadMainWindow(); }

    /// Writes `ini` over the settings file as it is now.
    void write(const QByteArray& ini) const { dir.writeKeys(ini); }
    /// The keys of a desk that keeps its calls in `history`: the adapter on COM3, the browser as `browse` says.
    static QByteArray historyIni(const QString& history, bool browse = true);
    /// A picture file of one colour in the application directory, and what a file there shows.
    void paint(const QString& name, Qt::GlobalColor colour) const { paintPicture(dir.filePath(name), colour); }
    QImage filePicture(const QString& name) const { return pictureOf(QIcon(dir.filePath(name))); }
    void makeSettingsReadOnly() const;

    TempAppDir dir;
    std::unique_ptr<AdapterSimulator> sim;
    ScriptedMessageBoxes boxes;
    RecordingPauser pauser;
    RecordingTaskTray tray;
    RecordingBrowserLauncher browser;
    ScriptedFileChooser chooser;
    std::unique_ptr<Program> program;
};
