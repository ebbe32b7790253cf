#pragma once

#include "calls/CallerNames.h"
#include "history/CallEvent.h"

#include <QDateTime>
#include <QString>

#include <optional>

/// A call to tell the user of, beside the page the browser opens.
struct CallNotice
{
    /// As the adapter sent it, and as people read it (`CallerNumber::shown`).
    QString number;
    QString shown{};
    QDateTime calldate{};
    /// The caller's page as the call opened it; empty when no URL is set up, or when the call
    /// opened none for want of a number, or because the caller is a nuisance.
    QString pageUrl{};
    /// Who the phone book says is calling; nothing when there is no phone book.
    std::optional<Caller> caller = {};
    /// The key of the call's history row, when the desk knows it (a call another desk wrote); 0
    /// for the desk's own call, whose row is written after it is shown.
    qint64 callId = 0;
    /// Who has taken the call (対応します); empty while nobody has.
    QString takenBy = {};

    /// Whether `event` is about this call: by its row's key, or for the desk's own call by its
    /// number and date.
    bool isAbout(const CallEvent& event) const;
};

/// Tells the user of each call on the desktop. The real one uses the desktop's notification
/// service, else the tray; it reports nothing and fails for nobody.
class CallNotifier
{
public:
    virtual ~CallNotifier() = default;
    virtual void announce(const CallNotice& notice) = 0;
    /// Someone has taken a call (`claim.person`): its notification, while shown, says so
    /// instead of offering to take it.
    virtual void claimed(const CallEvent& /*claim*/) {}
    /// A message (伝言) was left for the person at this desk.
    virtual void messageLeft(const CallEvent& /*message*/) {}
};
