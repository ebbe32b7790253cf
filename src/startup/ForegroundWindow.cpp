#include "startup/ForegroundWindow.h"

#include <QApplication>
#include <QEvent>

ForegroundWindow::ForegroundWindow(QWidget& mainWindow, QObject* parent)
    : QObject(parent)
    , m_main(mainWindow)
{
    qApp->installEventFilter(this);
}

ForegroundWindow::~ForegroundWindow()
{
    qApp->removeEventFilter(this);
}

bool ForegroundWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow())
            m_lastActive = widget;
    }
    return false;
}

QWidget* ForegroundWindow::foremost() const
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (m_lastActive && m_lastActive != &m_main && m_lastActive->isVisible())
        return m_lastActive;
    if (m_mainReleased)
        return &m_main;
    // Still starting up: whatever is on screen (the popup during the adapter check).
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window != &m_main)
            return window;
    }
    return nullptr;
}

void ForegroundWindow::bringForward()
{
    QWidget* window = foremost();
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}
