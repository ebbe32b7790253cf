#pragma once

#include "calls/CallerNames.h"
#include "history/Arrival.h"

#include <QDateTime>
#include <QString>

#include <optional>

class BrowserLauncher;
class CallDisplay;
class CallHistory;
class CallerNames;
class CallNotifier;
class MessageBoxes;
struct SharedState;

/// Why a notification could not be handled. The receive routine that got the notification
/// reports the description under its own label.
struct CallFailure
{
    QString description;
};

/// From a recognised incoming-call notification to the caller's number and the configured
/// actions, in this order: the number in the main window's `txtRecvData`, the browser at
/// the caller's page (`callerPageUrl`) when `browse` is exactly "True" (and, for a call
/// without a number, `openwithheld` is not "False", and for a nuisance caller `opennuisance` is
/// not "False"), the desktop's
/// notification when `notify` is, a history row with the number as received when `history`
/// is, and the `command` when one is set. Each action starts only after the previous one has
/// returned. The row's date and time, and those the URL and the command get, are those at
/// which the notification arrived (`Arrival::at`), not those at which its turn came; the row
/// is the journal entry the call got when it was read.
///
/// The launcher and the history report their own failures; anything they throw passes
/// through to the calling receive routine, whose trap reports it (the history step of that
/// notification then does not run).
///
/// With a phone book (`setCallerNames`) the caller is looked up once per call, in memory: the
/// main window, the notification, `{name}` and `%N` get who it is.
class CallDispatch
{
public:
    /// The display may be null while the main window is not loaded; the number is then
    /// shown nowhere and the other actions still run.
    CallDispatch(SharedState& state, MessageBoxes& messageBoxes, BrowserLauncher& launcher, CallHistory& history,
                 CallDisplay* display = nullptr);

    void setDisplay(CallDisplay* display) { m_display = display; }
    /// Null (as it starts): no call is announced whatever `notify` says.
    void setNotifier(CallNotifier* notifier) { m_notifier = notifier; }
    /// Null (as it starts): callers are shown without names.
    void setCallerNames(const CallerNames* names) { m_names = names; }
    CallDisplay* display() const { return m_display; }

    /// A notification of an ISDN adapter (`rcvProcess`). Without a delimiter the user is
    /// told that no number could be taken out, and nothing else happens.
    void isdnNotification(const QString& line, const Arrival& arrival);

    /// A notification of another line-framed adapter (`rcvProcessA`). Without a ":" the
    /// failure is returned and nothing is displayed, opened or written.
    std::optional<CallFailure> analogNotification(const QString& line, const Arrival& arrival);

    /// A 29-character frame of the control-code adapter (`rcvProcessT1`). The number is
    /// always displayed, even when empty; an empty number is the watchdog's answer: true,
    /// and neither the browser opened nor history written.
    bool t1Frame(const QString& frame, const Arrival& arrival);

    /// All three actions for a number already cut out.
    void dispatch(const QString& number, const Arrival& arrival);
    /// A call another desk took and this desk follows: the number shown, the browser opened
    /// and the call announced as for a call of its own. Its row and its command are the other
    /// desk's. `announcedName` is the name the other desk kept with the row, which stands in
    /// for this desk's phone book while that has no copy; `callId` the key of its row.
    void followedCall(const QString& number, const QDateTime& calldate, const QString& announcedName = {},
                      qint64 callId = 0);
    /// A call just read: its history row is kept at once, when the history is on, so that
    /// nothing that happens before its turn can lose it. The journal entry's key, 0 for none.
    qint64 journal(const QString& number, const QDateTime& receivedAt);

private:
    /// Who is calling from `number`: nothing without a phone book, or for what is no number.
    std::optional<Caller> callerOf(const QString& number) const;
    void showNumber(const QString& number, const std::optional<Caller>& caller);
    /// Opens the page and announces the call.
    void openAndAnnounce(const QString& number, const QDateTime& calldate, const std::optional<Caller>& caller,
                         qint64 callId = 0);
    void openAndRecord(const QString& number, const Arrival& arrival);
    void runCommand(const QString& number, const QDateTime& receivedAt, const std::optional<Caller>& caller);

    SharedState& m_state;
    MessageBoxes& m_messageBoxes;
    BrowserLauncher& m_launcher;
    CallHistory& m_history;
    CallDisplay* m_display = nullptr;
    CallNotifier* m_notifier = nullptr;
    const CallerNames* m_names = nullptr;
};
