#include "StandbyRig.h"

#include "app/Settings.h"
#include "history/SqliteHistoryStore.h"
#include "link/AdapterConversation.h"
#include "link/LineSettings.h"

#include <QFile>

#ifndef CHAKUSHIN_SHIPPED_SETTINGS
#error "CHAKUSHIN_SHIPPED_SETTINGS must name the settings.ini that ships"
#endif

StandbyRig::StandbyRig(const QString& model, Pauser& pauser)
    : model(model)
    , program(dir.path(), {boxes, pauser, tray, &launcher, nullptr, &history})
{
    realLauncher = std::make_unique<DesktopBrowserLauncher>(program.state, boxes);
    launcher.wrap(*realLauncher);
    history.wrap(program.history);
}

QString StandbyRig::shippedSettingsPath()
{
    return QStringLiteral(CHAKUSHIN_SHIPPED_SETTINGS);
}

QString StandbyRig::startStandby(const QString& slavePath, const QString& historyPath)
{
    SharedState& state = program.state;
    if (!dir.isValid())
        return QStringLiteral("no temporary directory: ") + dir.errorString();
    QString error;
    if (historyPath.isEmpty() && !createHistoryDatabase(databasePath(), &error))
        return error;
    const QString settings = settingsFilePath(state);
    if (!QFile::copy(shippedSettingsPath(), settings))
        return QStringLiteral("cannot copy ") + shippedSettingsPath();

    int index = 0;
    for (int i = 1; i <= 5 && index == 0; ++i) {
        if (ReadIni(state, QStringLiteral("ADAPTER"), QStringLiteral("adapter%1").arg(i)) == model)
            index = i;
    }
    if (index == 0)
        return model + QStringLiteral(" is not a shipped model");

    // No desktop notification: a bench that wants one brings its own notifier.
    const struct
    {
        const char* section;
        const char* key;
        QString value;
    } entries[] = {
        {"SYSTEM", "adapter", QString::number(index)},
        {"SYSTEM", "CommPort", QStringLiteral("1")},
        {"PORTS", "COM1", slavePath},
        {"URL", "browse", QStringLiteral("True")},
        {"URL", "history", QStringLiteral("True")},
        {"URL", "notify", QStringLiteral("False")},
        {"URL", "path1", QString::fromLatin1(kUrlPrefix)},
        {"URL", "path3", historyPath.isEmpty() ? databasePath() : historyPath},
    };
    for (const auto& entry : entries) {
        if (WriteIni(state, QLatin1String(entry.section), QLatin1String(entry.key), entry.value) == 0)
            return QStringLiteral("cannot write settings.ini");
    }
    ReadWriteAppSettings(state, QStringLiteral("READ"));
    LoadSettings(state);
    if (state.adapterModel != model)
        return QStringLiteral("settings.ini selects %1 instead of %2").arg(state.adapterModel, model);

    // Standby as the toggle starts it, without the watchdog: its polls pause the thread that
    // the calls are timed on.
    if (AdapterConversation(state, program.comm, program.seams.pauser).startStandby() !=
        AdapterConversation::StandbyStart::Started)
        return QStringLiteral("cannot open %1").arg(slavePath);
    program.comm.stopWatchdog();
    return {};
}

qint32 StandbyRig::baudRate() const
{
    const auto parsed = parseLineSettings(program.state.adapterProfile.settings);
    return parsed.value ? parsed.value->baudRate : LineSettings{}.baudRate;
}

std::chrono::nanoseconds StandbyRig::wireTime(qsizetype bytes) const
{
    constexpr int kBitsPerByte = 10; // start bit, 8 data bits, stop bit
    const double seconds = double(bytes) * kBitsPerByte / double(baudRate());
    return std::chrono::nanoseconds(static_cast<long long>(seconds * 1e9));
}
