#include "dialogs/DialogSettings.h"

#include "app/SettingText.h"
#include "app/Settings.h"

#include <array>

namespace {

const QString kSystem = QStringLiteral("SYSTEM");

} // namespace

int writeAdapterSettings(const SharedState& state)
{
    const SystemSettings& s = state.systemSettings;
    int result = WriteIni(state, kSystem, QStringLiteral("adapter"), s.adapter);
    if (result > 0)
        result = WriteIni(state, kSystem, QStringLiteral("COMMinit"), s.COMMinit);
    if (result > 0)
        result = WriteIni(state, kSystem, QStringLiteral("CommPort"), s.CommPort);
    return result;
}

int readWriteCtiSettings(SharedState& state, const QString& mode)
{
    SystemSettings& s = state.systemSettings;
    const std::array<std::pair<QString, QString*>, 3> keys = {{
        {QStringLiteral("ctiSettings1"), &s.ctiSettings1},
        {QStringLiteral("ctiSettings2"), &s.ctiSettings2},
        {QStringLiteral("ctiSettings3"), &s.ctiSettings3},
    }};
    if (mode == u"READ") {
        for (const auto& [key, value] : keys)
            *value = ReadIni(state, kSystem, key);
        return 1;
    }
    if (mode == u"WRITE") {
        int result = 0;
        for (const auto& [key, value] : keys) {
            result = WriteIni(state, kSystem, key, *value);
            if (result <= 0)
                return 0;
        }
        return result;
    }
    return 0;
}

AppStateCode appStateAfterAdapterStored(AppStateCode appState, const QString& kind)
{
    if (appState != AppStateCode::AdapterStep)
        return AppStateCode::StandbyOff;
    return kind == u"INS" ? AppStateCode::CtiStep : AppStateCode::UrlStep;
}

QString adapterStoredText(const QString& kind)
{
    QString text = QStringLiteral("アダプタ設定を登録しました。");
    if (kind == u"INS")
        text += QStringLiteral("\rCTI 設定を確認してください。");
    return text;
}

AppStateCode appStateAfterCtiStored(AppStateCode appState)
{
    return appState == AppStateCode::CtiStep ? AppStateCode::UrlStep : appState;
}

std::optional<int> listEntryFor(const QString& text, int first, int count)
{
    const std::optional<long long> number = readAsNumber(text);
    if (!number || *number < first || *number - first >= count)
        return std::nullopt;
    return static_cast<int>(*number - first);
}

QString kindCaption(const QString& kind)
{
    return kind == u"INS" ? QStringLiteral("INS回線") : QStringLiteral("アナログ回線");
}
