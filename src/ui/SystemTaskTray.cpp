#include "ui/SystemTaskTray.h"

SystemTaskTray::SystemTaskTray()
{
    QObject::connect(&m_icon, &QSystemTrayIcon::activated, &m_icon,
                     [this](QSystemTrayIcon::ActivationReason reason) { activated(reason); });
}

void SystemTaskTray::show(const QIcon& icon, const QString& tip)
{
    m_icon.setIcon(icon);
    m_icon.setToolTip(tip);
    // Qt refuses to show an icon without a picture (and says so on the console); the
    // notification area then stays as it was.
    if (!icon.isNull())
        m_icon.show();
}

void SystemTaskTray::change(const QIcon& icon, const QString& tip)
{
    if (!icon.isNull())
        m_icon.setIcon(icon);
    m_icon.setToolTip(tip);
}

void SystemTaskTray::showMessage(const QString& title, const QString& text)
{
    if (m_icon.isVisible())
        m_icon.showMessage(title, text, QSystemTrayIcon::Information);
}
