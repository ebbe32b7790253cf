#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>

class MessageBoxes;
class Pauser;
class frmComm;
class frmTerminal;
struct SharedState;

/// The settings dialogs of the start-up's step loop. Each shows its dialog modally and
/// returns once it has closed; the dialog itself moves `appState` on. A step without a
/// dialog (an empty function) cannot be completed here.
struct StepDialogs
{
    std::function<void()> adapter;
    std::function<void()> cti;
    std::function<void()> url;
};

/// The start-up from the loaded main window on: the settings check, the adapter check under
/// the popup, the walk through the missing settings, the question whether to start
/// standby, and the quit path. A desk that follows the office's calls and has no adapter
/// configured skips the adapter check and the adapter and CTI steps. Everything runs on the user-interface thread,
/// before the program's own event loop; the waits process events.
class StartupSequence
{
public:
    /// `CheckStartupSettings` results.
    enum CheckResult : std::int16_t
    {
        CannotLoad = -1,
        Complete = 0,
        AdapterMissing = 1,
        UrlMissing = 2
    };

    /// How the start-up ended.
    enum class Outcome
    {
        /// The main window is shown and the program lives in its events.
        Running,
        /// Every window has been unloaded; the program ends.
        Quit,
        /// The settings file cannot be used; the user has been told, and the program ends.
        SettingsUnusable
    };

    static constexpr auto kInitialisationPause = std::chrono::milliseconds(1000);
    static constexpr std::int32_t kCheckPopupMs = 10000;

    StartupSequence(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, frmComm& comm,
                    frmTerminal& mainWindow, StepDialogs dialogs);

    /// The start-up after the main window has been loaded hidden.
    Outcome run();

    /// -1 when the settings cannot be used at all, 1 when the adapter or its port is missing,
    /// 2 when the URL is missing, 0 when everything is there.
    std::int16_t CheckStartupSettings();
    /// Opens the configured port and asks the adapter who it is. True when it answers as the
    /// selected model; otherwise `CommPort`, `adapter` and `kind` are emptied in memory.
    bool InitializeAdapter();
    /// Shows the dialogs that `appState` asks for until the user has decided about standby
    /// or quits.
    void runStepLoop();
    /// "待ち受けを開始しますか？" or the notice why standby cannot start, and what follows.
    void AskToStartStandby();
    /// Unloads every window.
    void Quit();

    /// What is wrong with the settings file, for the user; empty when it can be used.
    QString settingsProblem() const { return m_settingsProblem; }

    /// How long the adapter has to answer the identification command.
    void setReplyWait(std::chrono::milliseconds wait) { m_replyWait = wait; }

private:
    void showStep(const std::function<void()>& dialog);
    /// Empties `CommPort`, `adapter` and `kind` in memory.
    void forgetAdapter();

    SharedState& m_state;
    MessageBoxes& m_messageBoxes;
    Pauser& m_pauser;
    frmComm& m_comm;
    frmTerminal& m_window;
    StepDialogs m_dialogs;
    std::chrono::milliseconds m_replyWait;
    QString m_settingsProblem;
};
