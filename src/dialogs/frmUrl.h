#pragma once

#include "dialogs/SettingsDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class FileChooser;

/// "着信時の動作設定": whether an incoming call opens the browser at the URL with the
/// caller's number, whether it is recorded in the history database, where that database is,
/// whether the call is announced on the desktop, and whether a call without a number (非通知
/// and the like) opens the page too. It edits the URL section of settings.ini
/// and `URLinit`. The example line shows the page a call would open at the URL typed (or
/// `path2`, while none is).
///
/// The check boxes act on the settings in memory at once; only OK writes the file. The
/// start-up runs the dialog modally (`exec()`) while `appState` is 103: OK moves it to 104,
/// a confirmed Cancel to 901. Opened from the main window it runs modeless and leaves
/// `appState` alone. Closed any other way (the window manager, Escape) it leaves `appState`
/// as it was and, like Cancel, discards its edits by reloading the settings.
class frmUrl final : public SettingsDialog
{
    Q_OBJECT

public:
    /// Loads the dialog (`Form_Load`): top-most, with the `iconFile_on` icon, its top-left
    /// corner at that of `mainWindow`, and the controls filled from the settings in memory.
    frmUrl(SharedState& state, MessageBoxes& messageBoxes, FileChooser& fileChooser, const QWidget& mainWindow);

    /// Fills the controls from UrlSettings; proposes the default database path, in memory
    /// too, while `path3` is empty.
    void ShowUrlSettings();

    /// With "WRITE": takes the text boxes into UrlSettings and writes `path1` (while `chkUrl`
    /// is checked), `path3` (while `chkHist` is checked), `browse`, `history`, `notify` and
    /// `openwithheld` (each unless empty) and `URLinit` in that order, stopping at the first key that fails. Returns 1
    /// or the last WriteIni result (0 on failure). Any other mode does nothing and returns 0.
    int ReadWriteUrlSettings(const QString& mode);

    /// The database path proposed while none is set: `mdb/cti.mdb` in the application
    /// directory, with the platform's separators.
    static QString defaultDatabasePath(const QString& appDir);

    void chkUrl_Click();
    void chkHist_Click();
    void chkNotify_Click();
    void chkWithheld_Click();
    /// The example line for the URL typed.
    void txtUrl_Change();
    /// Lets the user pick the database file; a cancelled or failed pick changes nothing.
    void cbBrowse_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

    QCheckBox* chkUrl = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* frUrl = nullptr;
    QLabel* lbUrlExm = nullptr;
    QLineEdit* txtUrl = nullptr;
    QCheckBox* chkHist = nullptr;
    QLabel* Label3 = nullptr;
    QGroupBox* frDbPath = nullptr;
    QLineEdit* txtDbPath = nullptr;
    QPushButton* cbBrowse = nullptr;
    QCheckBox* chkNotify = nullptr;
    QLabel* Label4 = nullptr;
    QCheckBox* chkWithheld = nullptr;
    QLabel* Label5 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    void createControls();
    void Form_Load(const QWidget& mainWindow);

    /// `CommonDialog1`.
    FileChooser& m_fileChooser;
};
