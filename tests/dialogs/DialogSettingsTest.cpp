#include "dialogs/DialogSettings.h"

#include "app/Settings.h"
#include "support/TestDesk.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kSettings = "[SYSTEM]\r\nappName=着信\r\nadapter=1\r\nCOMMinit=True\r\nCommPort=3\r\n"
                             "ctiSettings1=1\r\nctiSettings2=\r\nctiSettings3=0\r\n";

// A settings file of exactly kSettings, not loaded.
const TestDesk::Setup kStore{.ini = kSettings, .adapter = {}, .shipped = false, .loaded = false};

} // namespace

// The adapter keys are written in order, each only after the one before it.
TEST(AdapterSettingsStore, WritesAdapterCommInitCommPort)
{
    TestDesk store(kStore);
    store.state().systemSettings.adapter = QStringLiteral("2");
    store.state().systemSettings.COMMinit = QStringLiteral("False");
    store.state().systemSettings.CommPort = QString();
    EXPECT_GT(writeAdapterSettings(store.state()), 0);
    EXPECT_EQ(store.dir.settingsBytes(),
              QByteArray("[SYSTEM]\r\nappName=着信\r\nadapter=2\r\nCOMMinit=False\r\n"
                         "CommPort=\r\nctiSettings1=1\r\nctiSettings2=\r\nctiSettings3=0\r\n"));

    store.makeSettingsReadOnly();
    store.state().systemSettings.adapter = QStringLiteral("4");
    EXPECT_EQ(writeAdapterSettings(store.state()), 0);
    EXPECT_EQ(ReadIni(store.state(), "SYSTEM", "adapter"), QStringLiteral("2"));
}

// READ loads the three CTI values; WRITE stores them in order; other modes do nothing.
TEST(CtiSettingsStore, ReadWriteModes)
{
    TestDesk store(kStore);
    SystemSettings& s = store.state().systemSettings;
    EXPECT_EQ(readWriteCtiSettings(store.state(), QStringLiteral("READ")), 1);
    EXPECT_EQ(s.ctiSettings1, QStringLiteral("1"));
    EXPECT_EQ(s.ctiSettings2, QString());
    EXPECT_EQ(s.ctiSettings3, QStringLiteral("0"));

    s.ctiSettings1 = QStringLiteral("0");
    s.ctiSettings2 = QStringLiteral("1");
    s.ctiSettings3 = QString();
    const QByteArray before = store.dir.settingsBytes();
    for (const char* mode : {"read", "write", "", "DELETE"}) {
        EXPECT_EQ(readWriteCtiSettings(store.state(), QString::fromUtf8(mode)), 0) << mode;
        EXPECT_EQ(s.ctiSettings1, QStringLiteral("0")) << mode;
    }
    EXPECT_EQ(store.dir.settingsBytes(), before);

    EXPECT_GT(readWriteCtiSettings(store.state(), QStringLiteral("WRITE")), 0);
    EXPECT_EQ(ReadIni(store.state(), "SYSTEM", "ctiSettings1"), QStringLiteral("0"));
    EXPECT_EQ(ReadIni(store.state(), "SYSTEM", "ctiSettings2"), QStringLiteral("1"));
    EXPECT_EQ(ReadIni(store.state(), "SYSTEM", "ctiSettings3"), QString());

    store.makeSettingsReadOnly();
    EXPECT_EQ(readWriteCtiSettings(store.state(), QStringLiteral("WRITE")), 0);
}

// What follows a stored adapter or CTI setting, by state and line kind.
TEST(DialogStateRules, AfterStoring)
{
    // clang-format off
    struct Row { std::int16_t before; const char* kind; std::int16_t afterAdapter; std::int16_t afterCti; };
    const Row rows[] = {
        {101, "INS", 102, 101}, {101, "ANALOG", 103, 101}, {101, "", 103, 101},    {102, "INS", 109, 103},
        {109, "INS", 109, 109}, {105, "ANALOG", 109, 105}, {999, "INS", 109, 999}, {0, "INS", 109, 0},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.before << " " << row.kind);
        EXPECT_EQ(codeNumber(appStateAfterAdapterStored(AppStateCode(row.before), QString::fromUtf8(row.kind))),
                  row.afterAdapter);
        EXPECT_EQ(codeNumber(appStateAfterCtiStored(AppStateCode(row.before))), row.afterCti);
    }
    EXPECT_EQ(adapterStoredText(QStringLiteral("INS")),
              QStringLiteral("アダプタ設定を登録しました。\rCTI 設定を確認してください。"));
    EXPECT_EQ(adapterStoredText(QStringLiteral("ins")), QStringLiteral("アダプタ設定を登録しました。"));
}

// Stored numbers to list entries: in range, out of range, not a number.
TEST(DialogStateRules, ListEntries)
{
    const std::tuple<const char*, int, int, std::optional<int>> rows[] = {
        {"1", 1, 16, 0},  {"16", 1, 16, 15},           {"17", 1, 16, std::nullopt}, {"0", 1, 16, std::nullopt},
        {" 3", 1, 16, 2}, {"3x", 1, 16, std::nullopt}, {"", 1, 16, std::nullopt},   {"0", 0, 6, 0},
        {"5", 0, 6, 5},   {"6", 0, 6, std::nullopt},   {"-1", 0, 6, std::nullopt},
    };
    for (const auto& [text, first, count, entry] : rows)
        EXPECT_EQ(listEntryFor(QString::fromUtf8(text), first, count), entry) << text << " " << first;
}
