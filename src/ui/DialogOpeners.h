#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

/// The settings dialogs by name ("アダプタ設定", "CTI設定", "着信時の動作設定"). The code that
/// assembles the program registers a function that makes each dialog, so the windows here
/// never depend on the dialogs. Each dialog exists at most once.
class DialogOpeners
{
public:
    /// Makes the dialog and returns it, not yet shown; null when it cannot be made.
    using Opener = std::function<QWidget*()>;

    DialogOpeners() = default;
    /// The dialogs still open go with their openers.
    ~DialogOpeners();
    DialogOpeners(const DialogOpeners&) = delete;
    DialogOpeners& operator=(const DialogOpeners&) = delete;

    void setOpener(const QString& name, Opener opener);
    bool hasOpener(const QString& name) const { return m_openers.count(name) != 0; }

    /// Shows the dialog `name` modeless and brings it to the front, making it first when it
    /// does not exist. A name without an opener opens nothing. Returns the dialog shown.
    QWidget* open(const QString& name);
    /// Shows the dialog `name` modally and returns when it closes. A modeless one that is
    /// open is closed first, so the dialog still exists only once; one that refuses, being
    /// busy, is left to close itself. False without an opener or when the opener makes no
    /// dialog.
    bool exec(const QString& name);

private:
    std::map<QString, Opener> m_openers;
    std::map<QString, QPointer<QWidget>> m_dialogs;
    /// Replaced while busy, not yet gone.
    std::vector<QPointer<QWidget>> m_retired;
};
