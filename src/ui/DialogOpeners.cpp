#include "ui/DialogOpeners.h"

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
