#include "startup/StartupSequence.h"

#include "app/MessageBoxes.h"
#include "app/Pause.h"
#include "app/SettingText.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "link/AdapterConversation.h"
#include "link/frmComm.h"
#include "ui/frmMessage.h"
#include "ui/frmTerminal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

constexpr auto kCheckingMessage = u"アダプタ設定を確認しています。しばらくお待ちください。";

/// Why the settings file cannot be used at all, in the user's words; empty when it can.
QString settingsFileProblem(const SharedState& state)
{
    const QString path = QDir::toNativeSeparators(QFileInfo(settingsFilePath(state)).absoluteFilePath());
    if (!QFileInfo(settingsFilePath(state)).isFile())
        return QStringLiteral("設定ファイルが見つかりません。\r%1").arg(path);
    QFile file(settingsFilePath(state));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("設定ファイルを読み込めません。\r%1\r%2").arg(path, file.errorString());
    const auto& models = state.adapterModels;
    if (std::all_of(models.begin() + 1, models.end(), [](const QString& model) { return model.isEmpty(); }))
        return QStringLiteral("設定ファイルの [ADAPTER] にアダプタの機種が一つもありません。\r%1").arg(path);
    return {};
}

} // namespace

StartupSequence::StartupSequence(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, frmComm& comm,
                                 frmTerminal& mainWindow, StepDialogs dialogs)
    : m_state(state)
    , m_messageBoxes(messageBoxes)
    , m_pauser(pauser)
    , m_comm(comm)
    , m_window(mainWindow)
    , m_dialogs(std::move(dialogs))
    , m_replyWait(frmComm::kWaitInterval)
{}

StartupSequence::Outcome StartupSequence::run()
{
    const std::int16_t check = CheckStartupSettings();
    if (check == CannotLoad) {
        // Nothing the user could choose would help: say what is wrong and where, and end.
        // Also on the standard error output, for a start without anybody at the screen.
        std::fprintf(stderr, "chakushin: %s\n", qPrintable(QString(m_settingsProblem).replace(u'\r', u' ')));
        QString title = m_state.systemSettings.appName;
        if (title.isEmpty())
            title = QCoreApplication::applicationName();
        m_messageBoxes.show(m_settingsProblem, title, MessageBoxes::Icon::Critical, MessageBoxes::Buttons::Ok);
        Quit();
        return Outcome::SettingsUnusable;
    }

    frmMessage& popup = m_window.popup();
    if (check == Complete || check == UrlMissing) {
        popup.ShowMessage(QString(), QString::fromUtf16(kCheckingMessage), kCheckPopupMs, true);
        if (!InitializeAdapter())
            m_state.appState = AppStateCode::AdapterStep;
        else
            m_state.appState = check == UrlMissing ? AppStateCode::UrlStep : AppStateCode::AskStandby;
    } else if (followsWithoutAdapter(m_state)) {
        // A desk that follows the office's calls needs no adapter: nothing to check or ask.
        m_state.appState = m_state.urlSettings.path1.isEmpty() ? AppStateCode::UrlStep : AppStateCode::AskStandby;
    } else {
        m_state.systemSettings.adapter.clear();
        m_state.systemSettings.CommPort.clear();
        m_state.appState = AppStateCode::AdapterStep;
    }
    popup.ShowMessage(QString(), QString(), 0, false);

    runStepLoop();
    if (m_state.appState == AppStateCode::Quit) {
        Quit();
        return Outcome::Quit;
    }
    return Outcome::Running;
}

std::int16_t StartupSequence::CheckStartupSettings()
{
    m_settingsProblem.clear();
    if (!LoadSettings(m_state))
        return CannotLoad;
    m_settingsProblem = settingsFileProblem(m_state);
    if (!m_settingsProblem.isEmpty())
        return CannotLoad;
    const SystemSettings& system = m_state.systemSettings;
    if (system.adapter.isEmpty() || system.CommPort.isEmpty())
        return AdapterMissing;
    if (m_state.urlSettings.path1.isEmpty())
        return UrlMissing;
    return Complete;
}

bool StartupSequence::InitializeAdapter()
{
    const bool result =
        AdapterConversation(m_state, m_comm, m_pauser).checkConfiguredAdapter(kInitialisationPause, m_replyWait);
    if (!result)
        forgetAdapter();
    return result;
}

void StartupSequence::forgetAdapter()
{
    // In memory only: the file keeps the adapter for the next start.
    m_state.systemSettings.CommPort.clear();
    m_state.systemSettings.adapter.clear();
    m_state.adapterProfile.kind.clear();
}

void StartupSequence::runStepLoop()
{
    for (;;) {
        switch (m_state.appState) {
        case AppStateCode::StandbyOn:
        case AppStateCode::StandbyOff:
        case AppStateCode::Quit:
            return;
        case AppStateCode::AdapterStep:
            // Each showing starts from what the check left: no adapter. A dialog closed
            // without OK has reloaded the file's, which did not answer or is not complete.
            forgetAdapter();
            showStep(m_dialogs.adapter);
            break;
        case AppStateCode::CtiStep:
            showStep(m_dialogs.cti);
            break;
        case AppStateCode::UrlStep:
            showStep(m_dialogs.url);
            break;
        case AppStateCode::AskStandby:
            break;
        default:
            // No step has this state, so nothing here could ever change it.
            showStep({});
            break;
        }
        if (m_state.appState == AppStateCode::AskStandby)
            AskToStartStandby();
    }
}

void StartupSequence::showStep(const std::function<void()>& dialog)
{
    if (dialog) {
        dialog();
        return;
    }
    // Without a dialog the step could never end: go on to the main window with standby off,
    // where the settings buttons are.
    DebugLog(m_state, QStringLiteral("no dialog for start-up state %1").arg(codeNumber(m_state.appState)));
    m_state.appState = AppStateCode::StandbyOff;
    m_comm.ClosePort();
    m_window.show();
}

void StartupSequence::AskToStartStandby()
{
    const SystemSettings& system = m_state.systemSettings;
    // Without an adapter, a following desk has no adapter settings to complete.
    const std::optional<bool> adapterDone =
        followsWithoutAdapter(m_state) ? std::optional(true) : readAsBoolean(system.COMMinit);
    const std::optional<bool> urlDone = readAsBoolean(system.URLinit);
    QString text = QStringLiteral("待ち受けを開始しますか？");
    auto buttons = MessageBoxes::Buttons::YesNo;
    // A flag that cannot be read as a boolean (an empty one, say) leads to the question.
    if (adapterDone && urlDone && !(*adapterDone && *urlDone)) {
        text = !*adapterDone ? QStringLiteral("アダプタ設定が未完了なので、待ち受けは開始できません。")
                             : QStringLiteral("URL設定が未完了です。");
        buttons = MessageBoxes::Buttons::Ok;
    }

    switch (m_messageBoxes.show(text, system.appName, MessageBoxes::Icon::None, buttons)) {
    case MessageBoxes::Answer::Yes:
        m_state.appState = AppStateCode::StandbyOn;
        m_window.Timer1.start();
        m_window.show();
        break;
    case MessageBoxes::Answer::No:
    case MessageBoxes::Answer::Ok:
        m_state.appState = AppStateCode::StandbyOff;
        m_comm.ClosePort();
        m_window.show();
        break;
    default:
        m_state.appState = AppStateCode::Quit;
        break;
    }
}

void StartupSequence::Quit()
{
    // The main window's unload takes every other window and the serial link with it.
    m_window.close();
}
