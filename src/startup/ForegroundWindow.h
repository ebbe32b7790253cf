#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

/// Brings the program's foremost window to the front when a second start asks for it: the
/// modal dialog or message box being shown if there is one, else the window that was
/// active last. The main window, hidden to the tray or minimised, is shown again, restored;
/// before the start-up has shown it, it stays hidden.
class ForegroundWindow final : public QObject
{
    Q_OBJECT

public:
    /// Watches which window becomes active, from now on.
    explicit ForegroundWindow(QWidget& mainWindow, QObject* parent = nullptr);
    ~ForegroundWindow() override;

    /// From now on the main window may be shown on request (the start-up has shown it).
    void releaseMainWindow() { m_mainReleased = true; }

    /// The window that comes forward: the one `bringForward` would show.
    QWidget* foremost() const;
    void bringForward();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_main;
    QPointer<QWidget> m_lastActive;
    bool m_mainReleased = false;
};
