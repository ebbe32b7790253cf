#pragma once

#include "app/SharedState.h"
#include "calls/CallDispatch.h"
#include "calls/CallFollower.h"
#include "history/CallEvents.h"
#include "history/DatabaseCallHistory.h"
#include "history/JournalFirstBoxes.h"
#include "link/ReceiveProcessor.h"
#include "link/frmComm.h"
#include "phonebook/PhoneBook.h"
#include "startup/StartupSequence.h"
#include "ui/DesktopNotifier.h"
#include "ui/DialogOpeners.h"
#include "ui/frmTerminal.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class BrowserLauncher;
class FileChooser;
class FollowDialog;
class HistoryWindow;
class PhoneBookWindow;
class MessageBoxes;
class Pauser;
class TaskTray;

/// What the program's parts reach the outside world through: people (message boxes and the
/// file-open dialog), the clock (blocking pauses), the browser and the desktop's notification
/// area. The program passes the real ones; tests, the benchmarks and the screenshot tool
/// pass their own.
struct ProgramSeams
{
    MessageBoxes& messageBoxes;
    Pauser& pauser;
    TaskTray& tray;
    /// Null: the desktop's browser.
    BrowserLauncher* browser = nullptr;
    /// Null: the platform's file dialog.
    FileChooser* fileChooser = nullptr;
    /// Null: the calls go to `Program::history`; else to this, which hands them on to it.
    CallHistory* callHistory = nullptr;
};

/// The history whose phone book a desk reads: `path3`, or on a desk that follows the office
/// without writing to its server, the office's history it follows; empty for none.
QString phoneBookTarget(const SharedState& state);

/// Registers the adapter, CTI and URL dialogs with `openers` under their names; each is made
/// when it is opened, on `mainWindow`'s corner, and deleted when it closes; `urlDialogGone`
/// (when set) is called once the URL dialog has gone.
void registerSettingsDialogs(DialogOpeners& openers, SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser,
                             frmComm& comm, frmTerminal& mainWindow, FileChooser& fileChooser,
                             std::function<void()> urlDialogGone = {});

/// The running program's parts, put together once: the shared state, the call actions, the
/// receive processing, the serial host form and the dialog openers. The main window is
/// loaded on request, hidden, as the start-up does it.
class Program
{
public:
    /// Reads nothing yet: `state.appDir` is `appDir`, everything else as at program start.
    Program(const QString& appDir, ProgramSeams seams);
    ~Program();

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    /// Loads the main window hidden (its load handler runs now) and registers the settings
    /// dialogs with the openers, placed on it. Once only.
    frmTerminal& loadMainWindow();
    /// The start-up's steps: each shows its settings dialog modally, through the openers.
    /// Needs the main window loaded.
    StepDialogs stepDialogs();
    /// The main window once loaded, else null.
    frmTerminal* mainWindow() const { return m_window.get(); }
    /// Lives in the event loop until the main window has unloaded, from "終了" or from
    /// SIGTERM, SIGHUP or SIGINT (a logout, a shutdown), which end the program the same way
    /// without the notice and without the unload's pause. Returns the exit status. Needs the
    /// main window loaded.
    int runUntilUnloaded();
    /// Opens the call-history window over the history the settings name now, or brings the
    /// open one forward: one at most. Calls written while it is open appear in it at once.
    HistoryWindow& openHistory();
    /// The call-history window while it is open, else null.
    HistoryWindow* historyWindow() const;
    /// Opens the dialog of following the office's calls, or brings the open one forward. It
    /// shows why the follower cannot connect while that lasts; its OK takes effect at once.
    /// Needs the main window loaded.
    FollowDialog& openFollowSettings();
    /// Opens the phone book's window 「電話帳」, or brings the open one forward: one at most.
    PhoneBookWindow& openPhoneBook();
    /// Reads the phone book, and follows the calls' events, of the history the settings name
    /// now (`phoneBookTarget`), for the person at this desk.
    void openPhoneBookDatabase();

    SharedState state;
    ProgramSeams seams;

private:
    /// Every box the program's parts show goes through here.
    JournalFirstBoxes m_boxes;
    std::unique_ptr<BrowserLauncher> m_ownBrowser;
    std::unique_ptr<FileChooser> m_ownFileChooser;

public:
    /// The office's phone book, in the history's database: the caller's name for each call.
    PhoneBook phoneBook;
    /// Who takes each call, and the messages left, in the same database as the phone book.
    CallEvents events;
    DatabaseCallHistory history;
    /// The call actions: the adapter's calls and those followed from other desks.
    CallDispatch dispatch;
    ReceiveProcessor receive;
    frmComm comm;
    DialogOpeners openers;
    /// Announces each call on the desktop's session bus while `notify` says so.
    DesktopNotifier notifier;
    /// Follows the office's calls while standby is on and `[FOLLOW]` says so.
    CallFollower follower;

private:
    void registerDialogs();
    /// 対応します, from a call's notification.
    void claim(const CallNotice& notice);
    /// Tells the notifier of what another desk (or this one) did with a call.
    void told(const CallEvent& event);

    std::unique_ptr<frmTerminal> m_window;
    QPointer<HistoryWindow> m_historyWindow;
    QPointer<FollowDialog> m_followDialog;
    QPointer<PhoneBookWindow> m_phoneBookWindow;
};
