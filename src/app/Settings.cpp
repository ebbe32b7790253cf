#include "app/Settings.h"

#include "app/IniFile.h"
#include "app/Logging.h"
#include "app/SettingText.h"

#include <QDir>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

const QString kSystem = QStringLiteral("SYSTEM");
const QString kAdapter = QStringLiteral("ADAPTER");
const QString kUrl = QStringLiteral("URL");
const QString kFollow = QStringLiteral("FOLLOW");
const QString kDesk = QStringLiteral("DESK");

QString numbered(const char* stem, int index)
{
    return QLatin1String(stem) + QString::number(index);
}

// Steps shared by both loaders: the profile keys, the command families and the reply codes.
void loadProfileBody(SharedState& state, const QString& section)
{
    AdapterProfile& p = state.adapterProfile;
    const auto read = [&](const QString& key) {
        return ReadIni(state, section, key);
    };
    p.watch = read(QStringLiteral("watch"));
    p.ctrlcode = read(QStringLiteral("ctrlcode"));
    p.settings = read(QStringLiteral("settings"));
    p.kind = read(QStringLiteral("kind"));
    p.port1 = read(QStringLiteral("port1"));
    p.port2 = read(QStringLiteral("port2"));
    p.port3 = read(QStringLiteral("port3"));
    p.ok = read(QStringLiteral("ok"));
    p.err = read(QStringLiteral("err"));
    p.ring = read(QStringLiteral("ring"));
    for (int i = 1; i <= 10; ++i)
        p.icommand[i] = read(numbered("icommand", i));

    // Only the leading run of non-empty commands is ever sent.
    p.icommandCount = 10;
    for (int i = 1; i <= 10; ++i) {
        if (p.icommand[i].isEmpty()) {
            p.icommandCount = static_cast<std::int16_t>(i - 1);
            break;
        }
    }

    for (int i = 1; i <= 3; ++i) {
        p.cti_both[i] = read(numbered("cti_both_", i));
        p.cti_p1[i] = read(numbered("cti_p1_", i));
        p.cti_p2[i] = read(numbered("cti_p2_", i));
        p.cti_p3[i] = read(numbered("cti_p3_", i));
        p.cti_non[i] = read(numbered("cti_non_", i));
    }

    p.getinfo = read(QStringLiteral("getinfo"));
    p.info = read(QStringLiteral("info"));
    p.getCtiCommand = read(QStringLiteral("getCtiCommand"));
    p.rsp1_Both = read(QStringLiteral("rsp1_Both"));
    p.rsp1_P1 = read(QStringLiteral("rsp1_P1"));
    p.rsp1_P2 = read(QStringLiteral("rsp1_P2"));
    p.rsp1_NN = read(QStringLiteral("rsp1_NN"));
    p.rsp2_on = read(QStringLiteral("rsp2_on"));
    p.rsp2_off = read(QStringLiteral("rsp2_off"));
}

void loadCtiQueries(SharedState& state, const QString& section, int last)
{
    AdapterProfile& p = state.adapterProfile;
    for (int i = 1; i <= last; ++i) {
        p.getCtiInfo[i] = ReadIni(state, section, numbered("getCtiInfo", i));
        p.ctiInfo[i] = ReadIni(state, section, numbered("ctiInfo", i));
    }
}

} // namespace

QString settingsFilePath(const SharedState& state)
{
    return QDir(state.appDir).filePath(QStringLiteral("settings.ini"));
}

QString ReadIni(const SharedState& state, const QString& section, const QString& key)
{
    bool cut = false;
    QString value = IniFile::read(settingsFilePath(state), section, key, &cut);
    const QString name = settingName(section, key);
    if (!cut) {
        state.cutValues.removeAll(name);
        return value;
    }
    // A URL or a command cut in the middle does the wrong thing without a word otherwise.
    if (!state.cutValues.contains(name)) {
        state.cutValues.append(name);
        const QString told = QStringLiteral("%1 %2 is longer than %3 bytes; only its first %3 bytes are read")
                                 .arg(QDir::toNativeSeparators(settingsFilePath(state)), name)
                                 .arg(IniFile::kMaxValueBytes);
        std::fprintf(stderr, "chakushin: %s\n", qPrintable(told));
        DebugLog(state, told);
    }
    return value;
}

int WriteIni(const SharedState& state, const QString& section, const QString& key, const QString& value)
{
    const int written = IniFile::write(settingsFilePath(state), section, key, value);
    if (written != 0)
        state.cutValues.removeAll(settingName(section, key));
    return written;
}

QString settingName(const QString& section, const QString& key)
{
    return u'[' + section + QStringLiteral("] ") + key;
}

QString cutValuesNotice(const SharedState& state, const QList<SettingKey>& keys)
{
    QStringList cut;
    for (const SettingKey& key : keys)
        if (const QString name = settingName(key.section, key.key); state.cutValues.contains(name))
            cut.append(name);
    if (cut.isEmpty())
        return {};
    return QStringLiteral("settings.ini の %1 は %2 バイトを超えているため、途中までしか読み込んでいません。"
                          "このまま OK を押すと、切れた値が保存されます。")
        .arg(cut.join(QStringLiteral("、")))
        .arg(IniFile::kMaxValueBytes);
}

bool LoadSettings(SharedState& state)
{
    SystemSettings& s = state.systemSettings;
    s.adapter.clear();
    s.CommPort.clear();

    const auto sys = [&](const char* key) {
        return ReadIni(state, kSystem, QLatin1String(key));
    };
    s.URLinit = sys("URLinit");
    s.COMMinit = sys("COMMinit");
    s.appName = sys("appName");
    s.iconFile = sys("iconFile");
    s.iconFile_on = sys("iconFile_on");
    s.iconFile_off = sys("iconFile_off");
    s.adapter = sys("adapter");
    s.settings = sys("settings");
    s.CommPort = sys("CommPort");
    s.Handshaking = sys("Handshaking");
    s.Echo = sys("Echo");
    s.ctiSettings1 = sys("ctiSettings1");
    s.ctiSettings2 = sys("ctiSettings2");
    s.ctiSettings3 = sys("ctiSettings3");

    if (s.adapter.isEmpty())
        s.adapter = QStringLiteral("1");
    state.adapterModel = ReadIni(state, kAdapter, QStringLiteral("adapter") + s.adapter);

    // With no model name no section matches, so the whole profile reads empty.
    loadProfileBody(state, state.adapterModel);
    loadCtiQueries(state, state.adapterModel, 5);

    LoadUrlSettings(state);
    LoadFollowSettings(state);

    for (int i = 1; i <= 5; ++i)
        state.adapterModels[i] = ReadIni(state, kAdapter, numbered("adapter", i));
    return true;
}

void LoadFollowSettings(SharedState& state)
{
    state.followSettings = {ReadIni(state, kFollow, QStringLiteral("enabled")),
                            ReadIni(state, kFollow, QStringLiteral("uri"))};
    state.deskSettings = {ReadIni(state, kDesk, QStringLiteral("person"))};
}

QString personAtDesk(const SharedState& state)
{
    const QString person = state.deskSettings.person.trimmed();
    return person.isEmpty() ? loginFullName() : person;
}

QString loginFullName()
{
#ifdef Q_OS_UNIX
    // The first field of the GECOS entry is the full name.
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_gecos) {
        const QString name = QString::fromLocal8Bit(entry->pw_gecos).section(QLatin1Char(','), 0, 0).trimmed();
        if (!name.isEmpty())
            return name;
    }
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
#endif
    const QString user = qEnvironmentVariable("USERNAME", qEnvironmentVariable("USER"));
    return user.trimmed();
}

void LoadUrlSettings(SharedState& state)
{
    UrlSettings& u = state.urlSettings;
    const auto url = [&](const char* key) {
        return ReadIni(state, kUrl, QLatin1String(key));
    };
    u.browse = url("browse");
    u.history = url("history");
    u.path1 = url("path1");
    u.path2 = url("path2");
    u.path3 = url("path3");
    u.notify = url("notify");
    u.command = url("command");
    u.openwithheld = url("openwithheld");
    u.opennuisance = url("opennuisance");
}

bool LoadAdapterProfile(SharedState& state, const QString& modelName)
{
    if (state.systemSettings.adapter.isEmpty())
        return false;
    loadProfileBody(state, modelName);
    loadCtiQueries(state, modelName, 3);
    return true;
}

int ReadWriteAppSettings(SharedState& state, const QString& mode)
{
    if (mode != QLatin1String("READ"))
        return 0;
    state.systemSettings.appName = ReadIni(state, kSystem, QStringLiteral("appName"));
    state.systemSettings.debugmode = ReadIni(state, kSystem, QStringLiteral("debugmode"));
    return 1;
}

bool followsCalls(const SharedState& state)
{
    return isExactlyTrue(state.followSettings.enabled) && !state.followSettings.uri.trimmed().isEmpty();
}

bool followsWithoutAdapter(const SharedState& state)
{
    const SystemSettings& system = state.systemSettings;
    return followsCalls(state) && (system.adapter.isEmpty() || system.CommPort.isEmpty());
}

bool isDebugMode(const SharedState& state)
{
    return readAsBoolean(state.systemSettings.debugmode).value_or(false);
}

void DebugLog(const SharedState& state, const QString& message)
{
    if (isDebugMode(state))
        qCDebug(lcChakushin).noquote() << message;
}
