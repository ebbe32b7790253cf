#include "app/IniFile.h"

#include "support/QStringPrinter.h"
#include "support/TempAppDir.h"

#include <QFile>
#include <QStringEncoder>

#include <gtest/gtest.h>

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString read(const QString& s, const QString& k) const { return IniFile::read(m_dir.settingsPath(), s, k); }
    int write(const QString& s, const QString& k, const QString& v) const
    {
        return IniFile::write(m_dir.settingsPath(), s, k, v);
    }
    /// settings.ini once `before` had `k` in `s` set to `v`; "<refused>" when the write fails.
    QByteArray written(const QByteArray& before, const QString& s, const QString& k, const QString& v) const
    {
        m_dir.writeSettings(before);
        return write(s, k, v) != 0 ? m_dir.settingsBytes() : QByteArrayLiteral("<refused>");
    }
    static QByteArray cp932(const QString& text) { return QStringEncoder("CP932").encode(text); }

    TempAppDir m_dir;
};

// Reading follows the classic private-profile rules, case by case.
TEST_F(IniFileTest, ReadsValuesByTheClassicRules)
{
    // clang-format off
    struct ReadCase { const char* name; QByteArray file; const char* section; const char* key; QString expected; };
    const ReadCase cases[] = {
        {"plain", "[A]\nk=v\n", "A", "k", "v"},
        {"section ignoring case", "[System]\nk=v\n", "SYSTEM", "k", "v"},
        {"key ignoring case", "[A]\nAppName=v\n", "A", "appname", "v"},
        {"first key wins", "[A]\nk=first\nk=second\n", "A", "k", "first"},
        {"first section wins", "[A]\nk=first\n[a]\nk=second\n", "A", "k", "first"},
        {"key only in a later duplicate section", "[A]\nx=1\n[A]\nk=late\n", "A", "k", ""},
        {"blanks around key and value", "[A]\n  k \t=  v w \t\n", "A", "k", "v w"},
        {"blanks around the header", "  [ A ]  \nk=v\n", "A", "k", "v"},
        {"double quotes dropped", "[A]\nk=\"quoted value\"\n", "A", "k", "quoted value"},
        {"single quotes dropped", "[A]\nk='quoted'\n", "A", "k", "quoted"},
        {"unmatched quotes kept", "[A]\nk=\"open\n", "A", "k", "\"open"},
        {"only one pair dropped", "[A]\nk=\"\"x\"\"\n", "A", "k", "\"x\""},
        {"value with equals sign", "[A]\nk=a=b\n", "A", "k", "a=b"},
        {"CRLF line ends", "[A]\r\nk=v\r\nj=w\r\n", "A", "j", "w"},
        {"no final line break", "[A]\nk=v", "A", "k", "v"},
        {"empty value", "[A]\nk=\n", "A", "k", ""},
        {"key of another section", "[A]\nk=v\n[B]\n", "B", "k", ""},
        {"missing section", "[A]\nk=v\n", "C", "k", ""},
        {"keys before any section", "k=v\n[A]\n", "A", "k", ""},
        {"value cut at NUL", QByteArray("[A]\nk=ab\0cd\n", 12), "A", "k", "ab"},
        {"UTF-8 Japanese", "[ADAPTER]\nadapter4=ソラノT1\n", "ADAPTER", "adapter4", QStringLiteral("ソラノT1")},
        {"CP932 Japanese", "[ADAPTER]\nadapter4=" + cp932(QStringLiteral("ソラノT1")) + "\n", "ADAPTER", "adapter4", QStringLiteral("ソラノT1")},
        {"UTF-8 byte-order mark", "\xef\xbb\xbf[SYSTEM]\nappName=x\n", "SYSTEM", "appName", "x"},
        {"CP932 after a UTF-8 byte-order mark", "\xef\xbb\xbf[SYSTEM]\nappName=" + cp932(QStringLiteral("着信")) + "\n", "SYSTEM", "appName", QStringLiteral("着信")},
        {"CP932 section name", "[" + cp932(QStringLiteral("ソラノT1")) + "]\nkind=ANALOG\n", "ソラノT1", "kind", "ANALOG"},
    };
    // clang-format on
    for (const ReadCase& c : cases) {
        m_dir.writeSettings(c.file);
        EXPECT_EQ(read(QString::fromUtf8(c.section), QString::fromUtf8(c.key)), c.expected) << c.name;
    }
}

// A missing file reads as empty text and is not created by reading.
TEST_F(IniFileTest, MissingFileReadsEmpty)
{
    EXPECT_EQ(read("SYSTEM", "appName"), QString());
    EXPECT_FALSE(QFile::exists(m_dir.settingsPath()));
}

// The classic API hands values back through a 1024-byte buffer.
TEST_F(IniFileTest, LongValueIsCutTo1023Bytes)
{
    const QByteArray value(1500, 'x');
    m_dir.writeSettings("[A]\nk=" + value + "\nj=" + value.first(1023) + "\n");
    bool cut = false;
    EXPECT_EQ(IniFile::read(m_dir.settingsPath(), "A", "k", &cut), QString(1023, u'x'));
    EXPECT_TRUE(cut);
    EXPECT_EQ(IniFile::read(m_dir.settingsPath(), "A", "j", &cut).size(), 1023);
    EXPECT_FALSE(cut) << "a value that fits is not cut";

    // A multi-byte character is never cut in half.
    m_dir.writeSettings("[A]\nk=" + QByteArray(1022, 'y') + QStringLiteral("着信").toUtf8() + "\n");
    EXPECT_EQ(read("A", "k"), QString(1022, u'y'));
}

// Changing one key keeps every other byte: comments, odd spacing, CRLF, other sections.
TEST_F(IniFileTest, WriteReplacesOnlyTheKeysLine)
{
    const QByteArray before = "; comment = not a key\r\n[SYSTEM]\r\n  appName =  old  "
                              "\r\n\tCommPort=3\r\n\r\n[URL]\r\npath1=http://x/?a=1\r\n";
    EXPECT_EQ(written(before, "system", "APPNAME", "new"),
              QByteArray(before).replace("  appName =  old  ", "APPNAME=new"));
    EXPECT_EQ(read("SYSTEM", "appName"), "new");
}

// A missing key goes to the end of its section, before the blank lines that end it.
TEST_F(IniFileTest, WriteAddsMissingKeyAtEndOfSection)
{
    EXPECT_EQ(written("[A]\r\nk=1\r\n\r\n[B]\r\nm=2\r\n", "A", "new", "x"),
              "[A]\r\nk=1\r\nnew=x\r\n\r\n[B]\r\nm=2\r\n");
    // The last section without a final line break.
    EXPECT_EQ(written("[A]\nk=1", "A", "j", "2"), "[A]\nk=1\nj=2\n");
}

// A missing section is added at the end, a missing file is created as UTF-8.
TEST_F(IniFileTest, WriteAddsSectionAndCreatesFile)
{
    ASSERT_NE(write("URL", "path1", QStringLiteral("http://例/?tel=")), 0);
    EXPECT_EQ(m_dir.settingsBytes(), QStringLiteral("[URL]\npath1=http://例/?tel=\n").toUtf8());
    ASSERT_NE(write("SYSTEM", "adapter", "2"), 0);
    EXPECT_EQ(m_dir.settingsBytes(), QStringLiteral("[URL]\npath1=http://例/?tel=\n[SYSTEM]\nadapter=2\n").toUtf8());
}

// An empty value stays a key with nothing after its equals sign, never a deletion.
TEST_F(IniFileTest, WriteEmptyValueKeepsTheKey)
{
    EXPECT_EQ(written("[A]\nk=v\n", "A", "k", ""), "[A]\nk=\n");
    EXPECT_EQ(read("A", "k"), QString());
}

// A settings file from the Windows era stays CP932 when a dialog edits it.
TEST_F(IniFileTest, Cp932FileIsEditedInCp932)
{
    const auto file = [](const QString& appName) -> QByteArray {
        return "[ADAPTER]\r\nadapter1=" + cp932(QStringLiteral("ソラノT1")) +
               "\r\n[SYSTEM]\r\nappName=" + cp932(appName) + "\r\n";
    };
    const QByteArray expected = file(QStringLiteral("着信通知"));
    EXPECT_EQ(written(file(QStringLiteral("着信")), "SYSTEM", "appName", QStringLiteral("着信通知")), expected);
    EXPECT_EQ(read("SYSTEM", "appName"), QStringLiteral("着信通知"));

    // Text that CP932 cannot hold is refused rather than written as question marks.
    EXPECT_EQ(write("SYSTEM", "appName", QStringLiteral("\U0001F4DE")), 0);
    EXPECT_EQ(m_dir.settingsBytes(), expected);

    // A byte-order mark an editor put before the CP932 text hides neither the first section nor the encoding; it stays.
    EXPECT_EQ(written("\xef\xbb\xbf" + expected, "ADAPTER", "adapter1", QStringLiteral("ソラノT2")),
              "\xef\xbb\xbf" + QByteArray(expected).replace("T1", "T2"));
}

// Replacing the last non-UTF-8 bytes of a CP932 file would make the rest read as UTF-8.
TEST_F(IniFileTest, Cp932EditThatWouldChangeTheFilesEncodingIsRefused)
{
    // E6 BC A2 is "漢" in UTF-8 but two other characters in CP932.
    const QByteArray before = "[A]\na=" + cp932(QStringLiteral("着信")) + "\nb=\xe6\xbc\xa2\n";
    m_dir.writeSettings(before);
    const QString b = read("A", "b");
    EXPECT_EQ(write("A", "a", "ascii"), 0);
    EXPECT_EQ(m_dir.settingsBytes(), before);
    EXPECT_EQ(read("A", "b"), b);
    EXPECT_NE(write("A", "a", QStringLiteral("発信")), 0);
    EXPECT_EQ(read("A", "b"), b);
}

// A read-only file is never changed, and the write reports the failure.
TEST_F(IniFileTest, ReadOnlyFileIsLeftUntouched)
{
    const QByteArray before = "[A]\nk=v\n";
    m_dir.writeSettings(before);
    QFile::setPermissions(m_dir.settingsPath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    EXPECT_EQ(write("A", "k", "changed"), 0);
    EXPECT_EQ(write("A", "other", "added"), 0);
    QFile::setPermissions(m_dir.settingsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(m_dir.settingsBytes(), before);
}

// A write into a folder that does not exist fails instead of claiming success.
TEST_F(IniFileTest, WriteIntoMissingFolderFails)
{
    EXPECT_EQ(IniFile::write(m_dir.filePath("missing/settings.ini"), "A", "k", "v"), 0);
}

// Line breaks in a name or value would split the line and corrupt the file.
TEST_F(IniFileTest, LineBreaksAreRefused)
{
    m_dir.writeSettings("[A]\nk=v\n");
    for (const auto& [section, key, value] : {std::tuple("A", "k", "one\ntwo"), {"A", "k\r", "v"}, {"A]", "k", "v"}})
        EXPECT_EQ(write(section, key, value), 0) << section << '|' << key << '|' << value;
    EXPECT_EQ(m_dir.settingsBytes(), "[A]\nk=v\n");
}

// Damaged files load without a crash and with values as the rules give.
TEST_F(IniFileTest, BadInputLoadsWithoutCrash)
{
    QByteArray garbage;
    for (int i = 0; i < 65536; ++i)
        garbage.append(static_cast<char>((i * 7919 + 13) % 256));
    m_dir.writeSettings(garbage);
    (void)read("SYSTEM", "appName");

    m_dir.writeSettings("no sections at all\nk=v\n");
    EXPECT_EQ(read("A", "k"), QString());

    m_dir.writeSettings("[A]\nk=" + QByteArray(4 * 1024 * 1024, 'z') + "\nj=after\n");
    EXPECT_EQ(std::pair(read("A", "k").size(), read("A", "j")), std::pair(qsizetype(1023), QString("after")));

    // NUL bytes and bytes that are neither UTF-8 nor CP932: the write keeps them as they were.
    static const char raw[] = "[A]\0\nk\0=1\nj=\xff\xfe\x81\n";
    const QByteArray damaged(raw, sizeof raw - 1);
    m_dir.writeSettings(damaged);
    EXPECT_FALSE(read("A", "j").isEmpty());
    ASSERT_NE(write("A", "new", "x"), 0);
    EXPECT_EQ(read("A", "new"), "x");
    EXPECT_EQ(m_dir.settingsBytes(), QByteArray(damaged + "new=x\n"));
}

} // namespace
