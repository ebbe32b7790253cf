#pragma once

#include "app/MessageBoxes.h"
#include "app/Settings.h"
#include "app/SharedState.h"

#include <QDialog>
#include <QLabel>
#include <QPointer>

#include <cstdint>
#include <optional>

/// What the adapter, CTI and URL dialogs share: top-most on the main window's corner with an
/// icon from the settings; a busy guard that no way of closing gets past; the question
/// whether to end the program when Cancel is pressed in the dialog's own start-up step; the
/// settings reloaded from settings.ini whenever the dialog closes without OK; and message
/// boxes that tell whether the dialog outlived them.
///
/// Closing while busy: Escape, `reject()` and `done()` are refused; a close request (the
/// window's close button, the program's unload, the start-up replacing the dialog) is
/// refused now and carried out as soon as the work in hand has ended.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    /// Any close without OK: the settings in memory are reloaded from the file first.
    void reject() override;
    void done(int result) override;
    bool isBusy() const { return m_busy > 0; }
    /// The notice of values read cut (showCutValues); null without one.
    QLabel* lbCutValues = nullptr;

protected:
    /// Held by a handler while it talks to the adapter: the dialog cannot close meanwhile.
    class BusyScope
    {
    public:
        explicit BusyScope(SettingsDialog& dialog);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        QPointer<SettingsDialog> m_dialog;
    };

    SettingsDialog(SharedState& state, MessageBoxes& messageBoxes, const QString& name, const QString& title,
                   int clientWidthTwips, int clientHeightTwips);

    /// The window icon from `iconFile` (relative to the application directory, the built-in
    /// icon when it cannot be loaded), and the top-left corner on that of `mainWindow`.
    void placeOn(const QWidget& mainWindow, const QString& iconFile);

    /// A message box captioned with the application title. Empty when the dialog was deleted
    /// while the box was open (the program ending closes every window, and a dialog of the
    /// program's is deleted when closed): the handler must then return at once.
    std::optional<MessageBoxes::Answer> showBox(const QString& text, MessageBoxes::Icon icon,
                                                MessageBoxes::Buttons buttons);

    /// Cancel: in the dialog's own start-up step (`appState` equal to `step`) asks
    /// "終了します。よろしいですか？" and ends the program on OK; then closes without OK.
    void cancelStep(AppStateCode step);
    /// The dialogs move `appState` on here only: a step done, the program to end.
    void setAppState(AppStateCode code) { m_state.appState = code; }

    /// Under the form, what cutValuesNotice says of `keys`, in a label of its own that the
    /// dialog grows to hold; nothing when none of them was read cut.
    void showCutValues(const QList<SettingKey>& keys);

    void closeEvent(QCloseEvent* event) override;

    SharedState& m_state;
    MessageBoxes& m_messageBoxes;

private:
    int m_busy = 0;
    bool m_closeWhenIdle = false;
};
