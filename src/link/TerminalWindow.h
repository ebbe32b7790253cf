#pragma once

#include <QString>

/// The standby button's captions name what a click does; the caption shown is the window's
/// record of whether it stands by.
inline const QString kStandbyOnCaption = QStringLiteral("待ち受け停止");
inline const QString kStandbyOffCaption = QStringLiteral("待ち受け開始");

/// What the serial link needs of the main window (`frmTerminal`): the standby indication,
/// the debug terminal `txtTerm` and the tray icon. The main window implements it; the link
/// holds a null pointer while the main window is not loaded.
class TerminalWindow
{
public:
    virtual ~TerminalWindow() = default;

    /// Loads the window's icon from a file; a file that cannot be loaded is ignored.
    virtual void setWindowIconFile(const QString& path) = 0;
    /// Caption of the standby button `cbMachiuke`.
    virtual void setMachiukeCaption(const QString& caption) = 0;
    /// Caption of the context-menu entry `mnuMachiuke`.
    virtual void setMnuMachiukeCaption(const QString& caption) = 0;
    virtual void repaintWindow() = 0;

    /// Text of the debug terminal `txtTerm`.
    virtual QString terminalText() const = 0;
    virtual void setTerminalText(const QString& text) = 0;

    virtual void removeTaskTray() = 0;
    virtual void setTaskTray(const QString& tip) = 0;
};
