#include "ui/DialogOpeners.h"

#include <QDialog>

DialogOpeners::~DialogOpeners()
{
    for (auto& [name, dialog] : m_dialogs)
        delete dialog.data();
    for (const QPointer<QWidget>& dialog : m_retired)
        delete dialog.data();
}

void DialogOpeners::setOpener(const QString& name, Opener opener)
{
    m_openers[name] = std::move(opener);
}

QWidget* DialogOpeners::open(const QString& name)
{
    const auto opener = m_openers.find(name);
    if (opener == m_openers.end() || !opener->second)
        return nullptr;
    QPointer<QWidget>& dialog = m_dialogs[name];
    if (!dialog)
        dialog = opener->second();
    if (!dialog)
        return nullptr;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

bool DialogOpeners::exec(const QString& name)
{
    const auto opener = m_openers.find(name);
    if (opener == m_openers.end() || !opener->second)
        return false;
    QPointer<QWidget>& dialog = m_dialogs[name];
    if (dialog) {
        if (dialog->close()) {
            // Later, not now: the dialog may be inside one of its own handlers further down.
            dialog->deleteLater();
        } else {
            // Busy with the adapter: it closes itself once done, and must live until then.
            m_retired.push_back(dialog);
        }
    }
    dialog = opener->second();
    auto* modal = qobject_cast<QDialog*>(dialog.data());
    if (!modal)
        return false;
    modal->exec();
    return true;
}
