#include "dialogs/SettingsDialog.h"

#include "app/SettingText.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "ui/FormControls.h"
#include "ui/Pictures.h"
#include "ui/Twips.h"

#include <QCloseEvent>

#include <utility>

SettingsDialog::BusyScope::BusyScope(SettingsDialog& dialog)
    : m_dialog(&dialog)
{
    ++dialog.m_busy;
}

SettingsDialog::BusyScope::~BusyScope()
{
    if (!m_dialog)
        return;
    if (--m_dialog->m_busy == 0 && std::exchange(m_dialog->m_closeWhenIdle, false))
        m_dialog->close();
}

SettingsDialog::SettingsDialog(SharedState& state, MessageBoxes& messageBoxes, const QString& name,
                               const QString& title, int clientWidthTwips, int clientHeightTwips)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_state(state)
    , m_messageBoxes(messageBoxes)
{
    // Top-most is a window flag here, set as the window is made.
    setObjectName(name);
    setWindowTitle(title);
    setFixedSize(twipsToPixels(clientWidthTwips), twipsToPixels(clientHeightTwips));
}

void SettingsDialog::placeOn(const QWidget& mainWindow, const QString& iconFile)
{
    setWindowIcon(iconFromFile(pathInAppDir(m_state.appDir, iconFile), builtInWindowIcon()));
    move(mainWindow.pos());
}

void SettingsDialog::showCutValues(const QList<SettingKey>& keys)
{
    const QString notice = cutValuesNotice(m_state, keys);
    if (notice.isEmpty())
        return;
    const int margin = twipsToPixels(120);
    lbCutValues = makeWarningLabel(this, QStringLiteral("lbCutValues"), notice);
    const int labelWidth = width() - 2 * margin;
    const int labelHeight = lbCutValues->heightForWidth(labelWidth);
    lbCutValues->setGeometry(margin, height(), labelWidth, labelHeight);
    setFixedSize(width(), height() + labelHeight + margin);
}

std::optional<MessageBoxes::Answer> SettingsDialog::showBox(const QString& text, MessageBoxes::Icon icon,
                                                            MessageBoxes::Buttons buttons)
{
    const QPointer<SettingsDialog> alive(this);
    const MessageBoxes::Answer answer = m_messageBoxes.show(text, m_state.systemSettings.appName, icon, buttons);
    if (!alive)
        return std::nullopt;
    return answer;
}

void SettingsDialog::cancelStep(AppStateCode step)
{
    if (m_state.appState == step) {
        const std::optional<MessageBoxes::Answer> answer =
            showBox(QStringLiteral("終了します。よろしいですか？"), MessageBoxes::Icon::Question,
                    MessageBoxes::Buttons::OkCancel);
        if (answer != MessageBoxes::Answer::Ok)
            return;
        setAppState(AppStateCode::Quit);
    }
    reject();
}

void SettingsDialog::reject()
{
    if (isBusy())
        return;
    // What the dialog changed in memory (a detection, a read-out, a check box) acts at once;
    // a dialog closed without registering must leave the settings as the file has them.
    LoadSettings(m_state);
    QDialog::reject();
}

void SettingsDialog::done(int result)
{
    // A handler that talks to the adapter runs below this call; closing now would delete
    // the dialog under it.
    if (isBusy())
        return;
    QDialog::done(result);
}

void SettingsDialog::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        m_closeWhenIdle = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
