#pragma once

#include "link/TerminalWindow.h"

#include <QString>
#include <QStringList>

/// The main window as the serial link sees it: records captions, the icon, the debug
/// terminal's text and, in order, every call that changes what the user sees.
class FakeTerminalWindow final : public TerminalWindow
{
public:
    void setWindowIconFile(const QString& path) override
    {
        iconFile = path;
        calls.append(QStringLiteral("icon"));
    }
    void setMachiukeCaption(const QString& caption) override
    {
        cbMachiuke = caption;
        calls.append(QStringLiteral("cbMachiuke:") + caption);
    }
    void setMnuMachiukeCaption(const QString& caption) override
    {
        mnuMachiuke = caption;
        calls.append(QStringLiteral("mnuMachiuke:") + caption);
    }
    void repaintWindow() override { calls.append(QStringLiteral("repaint")); }
    QString terminalText() const override { return txtTerm; }
    void setTerminalText(const QString& text) override { txtTerm = text; }
    void removeTaskTray() override { calls.append(QStringLiteral("removeTaskTray")); }
    void setTaskTray(const QString& tip) override { calls.append(QStringLiteral("setTaskTray:") + tip); }

    QString iconFile;
    QString cbMachiuke;
    QString mnuMachiuke;
    QString txtTerm;
    QStringList calls;
};
