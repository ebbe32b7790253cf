#include "startup/Program.h"

#include "app/Settings.h"
#include "calls/DesktopBrowserLauncher.h"
#include "dialogs/FollowDialog.h"
#include "dialogs/HistoryWindow.h"
#include "dialogs/PhoneBookWindow.h"
#include "dialogs/QtFileChooser.h"
#include "dialogs/frmAdapter.h"
#include "dialogs/frmCti.h"
#include "dialogs/frmUrl.h"
#include "startup/EndSignals.h"
#include "ui/TaskTray.h"

#include <QCoreApplication>

namespace {

const QString kAdapterDialog = QStringLiteral("アダプタ設定");
const QString kCtiDialog = QStringLiteral("CTI設定");
const QString kUrlDialog = QStringLiteral("着信時の動作設定");

} // namespace

Program::Program(const QString& appDir, ProgramSeams programSeams)
    : state(appDir)
    , seams(programSeams)
    , m_boxes(seams.messageBoxes)
    , m_ownBrowser(seams.browser ? nullptr : std::make_unique<DesktopBrowserLauncher>(state, m_boxes))
    , m_ownFileChooser(seams.fileChooser ? nullptr : std::make_unique<QtFileChooser>())
    , history(state, m_boxes)
    , dispatch(state, m_boxes, seams.browser ? *seams.browser : *m_ownBrowser,
               seams.callHistory ? *seams.callHistory : history)
    , receive(state, m_boxes, dispatch)
    , comm(state, m_boxes, seams.pauser, receive)
    , notifier(state, seams.tray, seams.browser ? *seams.browser : *m_ownBrowser)
    , follower(state, dispatch)
{
    history.setKeptHandler(
        [this](const QString& number, const QDateTime& calldate) { follower.keptHere(number, calldate); });
    m_boxes.setHistory(&history);
    dispatch.setNotifier(&notifier);
    dispatch.setCallerNames(&phoneBook);
    // The row keeps the name the call was shown with.
    history.setNameOf([this](const QString& number) {
        const std::optional<Caller> caller = phoneBook.callerOf(number);
        return caller && caller->listed ? caller->name : QString();
    });
    history.setWrittenHandler([this] {
        if (m_historyWindow)
            m_historyWindow->browser().lookForNewRows();
    });
    notifier.setClaimHandler([this](const CallNotice& notice) { claim(notice); });
    notifier.setHistoryOpener([this] { openHistory().showMessagesForMe(); });
    QObject::connect(&events, &CallEvents::arrived, &events, [this](const CallEvent& event) { told(event); });
}

void Program::claim(const CallNotice& notice)
{
    events.claim({notice.callId, notice.number, notice.calldate}, [this, notice](const CallEvents::Written& written) {
        if (!written.claimer.isEmpty()) {
            // Someone was quicker: the notification says who, here as everywhere.
            CallEvent taken = written.event;
            taken.person = written.claimer;
            taken.number = notice.number;
            taken.calldate = HistoryDatabase::dateTimeText(notice.calldate);
            notifier.claimed(taken);
        } else if (!written.error.isEmpty()) {
            seams.tray.showMessage(state.systemSettings.appName,
                                   QStringLiteral("対応を記録できませんでした: %1").arg(written.error));
        }
    });
}

void Program::told(const CallEvent& event)
{
    if (event.kind == CallEvent::Kind::Claim)
        notifier.claimed(event);
    else if (event.kind == CallEvent::Kind::Message && event.to == events.person() && event.person != events.person())
        notifier.messageLeft(event);
}

// The windows go before the serial link and the launcher they use.
Program::~Program()
{
    delete m_historyWindow.data();
    delete m_phoneBookWindow.data();
    m_window.reset();
}

frmTerminal& Program::loadMainWindow()
{
    if (!m_window) {
        m_window = std::make_unique<frmTerminal>(state, m_boxes, seams.pauser, comm, dispatch, seams.tray, openers);
        registerDialogs();
        QObject::connect(m_window.get(), &frmTerminal::historyRequested, m_window.get(), [this] { openHistory(); });
        QObject::connect(m_window.get(), &frmTerminal::followSettingsRequested, m_window.get(),
                         [this] { openFollowSettings(); });
        QObject::connect(m_window.get(), &frmTerminal::phoneBookRequested, m_window.get(), [this] { openPhoneBook(); });
        m_window->attachFollower(follower);
        m_window->attachPhoneBook(phoneBook);
        m_window->attachCallEvents(events);
        QObject::connect(m_window.get(), &frmTerminal::openCallsRequested, m_window.get(),
                         [this] { openHistory().showOpenCalls(); });
        QObject::connect(m_window.get(), &frmTerminal::messagesRequested, m_window.get(),
                         [this] { openHistory().showMessagesForMe(); });
    }
    return *m_window;
}

HistoryWindow* Program::historyWindow() const
{
    return m_historyWindow.data();
}

HistoryWindow& Program::openHistory()
{
    if (!m_historyWindow) {
        m_historyWindow = new HistoryWindow(state, seams.browser ? *seams.browser : *m_ownBrowser,
                                            seams.fileChooser ? *seams.fileChooser : *m_ownFileChooser, nullptr,
                                            &phoneBook, &m_boxes);
        m_historyWindow->setCallEvents(&events);
        m_historyWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_historyWindow->showNormal();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
    return *m_historyWindow;
}

PhoneBookWindow& Program::openPhoneBook()
{
    if (!m_phoneBookWindow) {
        m_phoneBookWindow =
            new PhoneBookWindow(phoneBook, m_boxes, seams.fileChooser ? *seams.fileChooser : *m_ownFileChooser);
        m_phoneBookWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_phoneBookWindow->showNormal();
    m_phoneBookWindow->raise();
    m_phoneBookWindow->activateWindow();
    return *m_phoneBookWindow;
}

FollowDialog& Program::openFollowSettings()
{
    if (!m_followDialog) {
        m_followDialog = new FollowDialog(state, m_boxes, m_window.get());
        m_followDialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(m_followDialog, &QDialog::accepted, m_window.get(), [this] {
            m_window->followSettingsChanged();
            openPhoneBookDatabase();
        });
        const auto showProblem = [this, dialog = m_followDialog.data()] {
            dialog->showFollowProblem(follower.problemText());
        };
        QObject::connect(&follower, &CallFollower::stateChanged, m_followDialog, showProblem);
        QObject::connect(&follower, &CallFollower::problemChanged, m_followDialog, showProblem);
        showProblem();
    }
    m_followDialog->show();
    m_followDialog->raise();
    m_followDialog->activateWindow();
    return *m_followDialog;
}

QString phoneBookTarget(const SharedState& state)
{
    // The office's book serves every desk: a desk that follows the office and keeps its own
    // calls in a file of its own reads the office's.
    const QString& path3 = state.urlSettings.path3;
    return followsCalls(state) && !HistoryDatabase::onServer(path3) ? state.followSettings.uri : path3;
}

void Program::openPhoneBookDatabase()
{
    phoneBook.open(phoneBookTarget(state));
    events.open(phoneBookTarget(state), personAtDesk(state));
}

void Program::registerDialogs()
{
    FileChooser& chooser = seams.fileChooser ? *seams.fileChooser : *m_ownFileChooser;
    // The URL dialog may name another history, and with it another phone book.
    registerSettingsDialogs(openers, state, m_boxes, seams.pauser, comm, *m_window, chooser,
                            [this] { openPhoneBookDatabase(); });
}

// Each dialog is made just before it is shown: loading it closes the port and reads the
// settings as they are then. Closed, it goes.
void registerSettingsDialogs(DialogOpeners& openers, SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser,
                             frmComm& comm, frmTerminal& mainWindow, FileChooser& fileChooser,
                             std::function<void()> urlDialogGone)
{
    const auto made = [](QWidget* dialog) {
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        return dialog;
    };
    openers.setOpener(kAdapterDialog,
                      [&, made] { return made(new frmAdapter(state, messageBoxes, pauser, comm, mainWindow)); });
    openers.setOpener(kCtiDialog,
                      [&, made] { return made(new frmCti(state, messageBoxes, pauser, comm, mainWindow)); });
    openers.setOpener(kUrlDialog, [&, made, urlDialogGone = std::move(urlDialogGone)] {
        QWidget* dialog = made(new frmUrl(state, messageBoxes, fileChooser, mainWindow));
        if (urlDialogGone)
            QObject::connect(dialog, &QObject::destroyed, &mainWindow, urlDialogGone);
        return dialog;
    });
}

StepDialogs Program::stepDialogs()
{
    const auto modal = [this](const QString& name) {
        return [this, name] {
            openers.exec(name);
        };
    };
    return StepDialogs{modal(kAdapterDialog), modal(kCtiDialog), modal(kUrlDialog)};
}

int Program::runUntilUnloaded()
{
    openPhoneBookDatabase();
    QObject::connect(m_window.get(), &frmTerminal::unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    EndSignals endSignals;
    QObject::connect(&endSignals, &EndSignals::endRequested, m_window.get(), [this](int signalNumber) {
        DebugLog(state, QStringLiteral("signal %1: ending").arg(signalNumber));
        m_window->endAtOnce();
    });
    return QCoreApplication::exec();
}
