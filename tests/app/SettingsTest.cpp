#include "app/Settings.h"
#include "app/CommandLine.h"
#include "app/SettingText.h"

#include "support/QStringPrinter.h"
#include "support/StandardErrorCapture.h"
#include "support/TempAppDir.h"
#include "support/TraceCapture.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <tuple>

namespace {

QByteArray profileWithCommands(const QByteArray& commands)
{
    return "[SYSTEM]\nadapter=1\n[ADAPTER]\nadapter1=M\n[M]\n" + commands;
}

// The settings of `dir` once its settings.ini is `ini`, loaded as at start-up.
SharedState loaded(const TempAppDir& dir, const QByteArray& ini)
{
    dir.writeSettings(ini);
    SharedState state = dir.makeState();
    EXPECT_TRUE(LoadSettings(state));
    return state;
}

// The leading run of non-empty initialisation commands is what gets sent.
TEST(LoadSettings, CountsTheLeadingRunOfInitialisationCommands)
{
    QByteArray allTen;
    for (int i = 1; i <= 10; ++i)
        allTen += "icommand" + QByteArray::number(i) + "=C" + QByteArray::number(i) + "\n";
    // clang-format off
    struct Case { const char* name; QByteArray commands; int expected; };
    const Case cases[] = {
        {"none", "", 0},
        {"gap at 1", "icommand2=B\n", 0},
        {"three then gap", "icommand1=A\nicommand2=B\nicommand3=C\nicommand5=E\n", 3},
        {"all ten", allTen, 10},
        {"empty value counts as missing", "icommand1=A\nicommand2=\nicommand3=C\n", 1},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(loaded(TempAppDir(), profileWithCommands(c.commands)).adapterProfile.icommandCount, c.expected)
            << c.name;

    // Entries after a gap stay in memory, they are just never sent.
    EXPECT_EQ(loaded(TempAppDir(), profileWithCommands("icommand1=A\nicommand3=C\n")).adapterProfile.icommand[3], "C");
}

// Without settings.ini everything is empty, the adapter defaults to 1 in memory only.
TEST(LoadSettings, MissingFileGivesEmptySettings)
{
    TempAppDir dir;
    SharedState state = dir.makeState();
    ASSERT_TRUE(LoadSettings(state));
    EXPECT_EQ(std::tuple(state.systemSettings.adapter, state.systemSettings.CommPort, state.adapterModel,
                         state.adapterProfile.kind, state.adapterProfile.icommandCount, state.urlSettings.path1),
              std::tuple(QString("1"), QString(), QString(), QString(), 0, QString()));
    EXPECT_FALSE(QFile::exists(dir.settingsPath()));
}

// An adapter index that names no model leaves the whole profile empty.
TEST(LoadSettings, AdapterIndexWithoutModelGivesEmptyProfile)
{
    TempAppDir dir;
    dir.copyShippedSettings();
    WriteIni(dir.makeState(), "SYSTEM", "adapter", "7");
    SharedState state = dir.makeState();
    state.adapterProfile.kind = "stale";
    ASSERT_TRUE(LoadSettings(state));
    EXPECT_EQ(std::tuple(state.systemSettings.adapter, state.adapterModel, state.adapterProfile.kind,
                         state.adapterProfile.getinfo, state.adapterModels[1]),
              std::tuple(QString("7"), QString(), QString(), QString(), QString("CTI-INS100")));
}

// Fields are kept exactly as read; debugmode is left to the start-up accessor.
TEST(LoadSettings, ReadsEverySectionButNotDebugMode)
{
    TempAppDir dir;
    SharedState state = loaded(dir, "[SYSTEM]\nappName=着信\ndebugmode=True\nadapter=2\nCommPort= 3 \nctiSettings2=1\n"
                                    "[ADAPTER]\nadapter1=A\nadapter2=ソラノT1\n"
                                    "[ソラノT1]\nctrlcode=True\ngetCtiInfo5=Q5\nctiInfo5=R5\ncti_non_3=N3\n"
                                    "[URL]\nbrowse=True\npath1=http://h/?t=\npath3=/x/cti.mdb\n");
    const SystemSettings& sys = state.systemSettings;
    const AdapterProfile& p = state.adapterProfile;
    EXPECT_EQ(QStringList({sys.appName, sys.debugmode, sys.CommPort, sys.ctiSettings2, state.adapterModel, p.ctrlcode,
                           p.getCtiInfo[5], p.ctiInfo[5], p.cti_non[3], state.urlSettings.browse,
                           state.urlSettings.path3, state.adapterModels[2], state.adapterModels[3]}),
              QStringList(
                  {"着信", "", "3", "1", "ソラノT1", "True", "Q5", "R5", "N3", "True", "/x/cti.mdb", "ソラノT1", ""}));

    EXPECT_EQ(ReadWriteAppSettings(state, "READ"), 1);
    EXPECT_EQ(state.systemSettings.debugmode, "True");
}

// The profile loader refuses while no adapter is selected, and keeps CTI queries 4 and 5.
TEST(LoadAdapterProfile, KeepsQueriesFourAndFiveAndNeedsAnAdapter)
{
    TempAppDir dir; // read again by the profile loader
    SharedState state =
        loaded(dir, "[SYSTEM]\nadapter=1\n[ADAPTER]\nadapter1=FIVE\nadapter2=THREE\n"
                    "[FIVE]\nkind=INS\ngetCtiInfo1=F1\ngetCtiInfo4=F4\ngetCtiInfo5=F5\nctiInfo4=G4\nctiInfo5=G5\n"
                    "[THREE]\nkind=ANALOG\ngetCtiInfo1=T1\ngetCtiInfo2=T2\ngetCtiInfo3=T3\n");
    ASSERT_TRUE(LoadAdapterProfile(state, "THREE"));
    const AdapterProfile& p = state.adapterProfile;
    EXPECT_EQ(QStringList({p.kind, p.getCtiInfo[1], p.getCtiInfo[3], p.getCtiInfo[4], p.getCtiInfo[5], p.ctiInfo[5]}),
              QStringList({"ANALOG", "T1", "T3", "F4", "F5", "G5"}));
    EXPECT_EQ(state.adapterModel, "FIVE") << "the caller adopts a model itself";

    state.systemSettings.adapter.clear();
    EXPECT_FALSE(LoadAdapterProfile(state, "FIVE"));
    EXPECT_EQ(state.adapterProfile.kind, "ANALOG");
}

// Two ways of reading a flag: `watch` as a boolean, `browse` compared with exactly "True".
TEST(SettingText, BooleanReadingsDiffer)
{
    // clang-format off
    const std::pair<const char*, std::optional<bool>> booleans[] = {{"true", true}, {"TRUE", true}, {"False", false}, {"0", false}, {"-1", true}, {"2", true}, {"", std::nullopt}, {"yes", std::nullopt}};
    // clang-format on
    for (const auto& [text, expected] : booleans)
        EXPECT_EQ(readAsBoolean(text), expected) << '"' << text << '"';

    EXPECT_TRUE(isExactlyTrue("True"));
    for (const char* text : {"true", "TRUE", ""})
        EXPECT_FALSE(isExactlyTrue(text)) << '"' << text << '"';

    const SharedState state = loaded(TempAppDir(), profileWithCommands("watch=true\n[URL]\nbrowse=true\n"));
    EXPECT_EQ(readAsBoolean(state.adapterProfile.watch), true);
    EXPECT_FALSE(isExactlyTrue(state.urlSettings.browse));
}

// Stored paths begin with a backslash and are appended directly to the directory.
TEST(SettingText, StoredPathsResolveInTheApplicationDirectory)
{
    EXPECT_EQ(pathInAppDir("/opt/chakushin", "\\icons\\on.png"), "/opt/chakushin/icons/on.png");
    EXPECT_EQ(pathInAppDir("/opt/chakushin", "/icons/on.png"), "/opt/chakushin/icons/on.png");
    EXPECT_EQ(pathInAppDir("/opt/chakushin", "\\mdb\\cti.mdb"), "/opt/chakushin/mdb/cti.mdb");
}

// Each option with its value; a missing or unknown value is an error, not a silent default.
TEST(CommandLine, OptionsAndErrors)
{
    const CommandLine plain = parseCommandLine({"chakushin"});
    EXPECT_EQ(std::tuple(plain.appDir, plain.autostart, plain.error),
              std::tuple(std::nullopt, std::nullopt, QString()));

    EXPECT_EQ(parseCommandLine({"chakushin", "--app-dir", "/srv/office/"}).appDir, QString("/srv/office"));
    EXPECT_EQ(parseCommandLine({"chakushin", "--create-history-db", "/tmp/h.db"}).createHistoryDb,
              QString("/tmp/h.db"));
    EXPECT_EQ(parseCommandLine({"chakushin", "--autostart", "on"}).autostart, true);
    const CommandLine off = parseCommandLine({"chakushin", "--autostart", "off", "--app-dir", "/srv/desk"});
    EXPECT_EQ(std::tuple(off.autostart, off.appDir), std::tuple(false, QString("/srv/desk")));

    for (const QStringList& wrong :
         {QStringList{"chakushin", "--app-dir"}, QStringList{"chakushin", "--bogus"},
          QStringList{"chakushin", "--autostart"}, QStringList{"chakushin", "--autostart", "yes"}}) {
        SCOPED_TRACE(qPrintable(wrong.join(' ')));
        EXPECT_FALSE(parseCommandLine(wrong).error.isEmpty());
    }

    // No display for an option that works and ends, also with a wrong value (its usage must not wait for a display).
    // clang-format off
    struct Case { QStringList arguments; bool endsAtOnce; };
    const Case cases[] = {
        {{"chakushin", "--autostart", "on"}, true},
        {{"chakushin", "--autostart"}, true},
        {{"chakushin", "--app-dir", "/srv/office", "--create-history-db", "/tmp/h.db"}, true},
        {{"chakushin", "--app-dir", "/srv/office"}, false},
        {{"chakushin", "--app-dir", "--autostart"}, false},
        {{"chakushin", "-platform", "offscreen", "--autostart", "on"}, false},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(parseCommandLine(c.arguments).endsAtOnce, c.endsAtOnce) << qPrintable(c.arguments.join(' '));
}

// Trace lines appear only while debug mode is on.
TEST(DebugLog, EmitsOnlyInDebugMode)
{
    TraceCapture trace;
    SharedState state;
    for (const char* mode : {"False", "", "true"}) {
        state.systemSettings.debugmode = mode;
        DebugLog(state, QStringLiteral("****SND--ATZ[0] with debugmode=%1").arg(mode));
    }

    EXPECT_EQ(trace.lines, QStringList{"****SND--ATZ[0] with debugmode=true"});
}

// A value cut at the file's limit is told once, naming its key, on standard error and in the trace; a dialog's notice
// names it until a write of the key.
TEST(ReadIni, CutValuesAreToldOnce)
{
    TempAppDir dir;
    TraceCapture trace;
    StandardErrorCapture errors;
    dir.writeSettings("[SYSTEM]\ndebugmode=True\n[URL]\npath1=" + QByteArray(1100, 'x') +
                      "\ncommand=" + QByteArray(1024, 'y') + "\npath3=" + QByteArray(1023, 'z') + "\n");
    SharedState state = dir.makeState();
    ReadWriteAppSettings(state, "READ");
    ASSERT_TRUE(LoadSettings(state) && LoadSettings(state));
    EXPECT_EQ(errors.text().count("chakushin: "), 2);
    EXPECT_EQ(trace.lines.filter(QRegularExpression(R"(\[URL\] (path1|command) is longer than 1023 bytes)")).size(), 2);

    const QList<SettingKey> edited{{"URL", "path1"}, {"URL", "path3"}};
    EXPECT_TRUE(cutValuesNotice(state, edited).startsWith("settings.ini の [URL] path1 は 1023 バイトを超えて"));
    ASSERT_NE(WriteIni(state, "URL", "path1", state.urlSettings.path1), 0);
    EXPECT_EQ(cutValuesNotice(state, edited), QString());
}

// The shipped settings describe every listed model consistently.
TEST(ShippedSettings, ProfilesAreConsistent)
{
    TempAppDir dir;
    dir.copyShippedSettings();
    SharedState state = dir.makeState();
    ASSERT_TRUE(LoadSettings(state));
    EXPECT_FALSE(state.systemSettings.appName.isEmpty());
    EXPECT_EQ(readAsBoolean(ReadIni(state, "SYSTEM", "debugmode")), false);
    EXPECT_TRUE(state.urlSettings.path1.isEmpty());
    for (const char* key : {"iconFile", "iconFile_on", "iconFile_off"})
        EXPECT_TRUE(ReadIni(state, "SYSTEM", key).startsWith(u'\\')) << key;

    int ins = 0, analog = 0, controlCode = 0;
    for (int i = 1; i <= 5; ++i) {
        const QString model = state.adapterModels[i];
        if (model.isEmpty())
            continue;
        state.systemSettings.adapter = QString::number(i);
        ASSERT_TRUE(LoadAdapterProfile(state, model));
        const AdapterProfile& p = state.adapterProfile;
        SCOPED_TRACE(model.toStdString());
        EXPECT_FALSE(p.getinfo.isEmpty());
        EXPECT_TRUE(readAsBoolean(p.watch).has_value());
        EXPECT_FALSE(p.settings.isEmpty());
        if (p.ctrlcode == "True") {
            ++controlCode;
            EXPECT_EQ(model, QStringLiteral("ソラノT1"));
        } else if (p.kind == "INS") {
            ++ins;
            EXPECT_GE(p.icommandCount, 1);
            EXPECT_GE(p.ring.size(), 4);
            EXPECT_EQ(p.ok.size(), 1) << "the watchdog answer is a one-character line";
            EXPECT_FALSE(p.getCtiInfo[1].isEmpty());
            EXPECT_FALSE(p.ctiInfo[1].isEmpty());
            if (readAsNumber(p.getCtiCommand) == 1)
                EXPECT_FALSE(p.rsp1_Both.isEmpty());
            else
                EXPECT_EQ(p.rsp2_on.size(), 2);
        } else {
            ++analog;
            EXPECT_EQ(p.kind, "ANALOG");
            EXPECT_EQ(p.ok.size(), 1);
            EXPECT_FALSE(p.ring.isEmpty());
        }
    }
    EXPECT_GE(ins, 2);
    EXPECT_GE(analog, 1);
    EXPECT_EQ(controlCode, 1);
}

} // namespace

// The person at the desk: the setting trimmed, or the login user's full name when it is blank.
TEST(LoadSettings, PersonAtTheDesk)
{
    TempAppDir dir;
    ASSERT_FALSE(loginFullName().isEmpty());
    for (const auto& [ini, person] : {std::pair<QByteArray, QString>{"[DESK]\nperson= 山田 花子 \n", "山田 花子"},
                                      {"[DESK]\nperson=  \n", loginFullName()},
                                      {"", loginFullName()}}) {
        dir.writeKeys("[DESK]\nperson=\n" + ini);
        SharedState state = dir.makeState();
        ASSERT_TRUE(LoadSettings(state));
        EXPECT_EQ(personAtDesk(state), person) << ini.constData();
    }
}
