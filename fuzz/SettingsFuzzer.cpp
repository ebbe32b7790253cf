// Arbitrary bytes as settings.ini: loading never crashes, and a key written with WriteIni
// reads back as written while every other key reads as before.

#include "app/Settings.h"
#include "app/SharedState.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

struct Key
{
    const char* section;
    const char* key;
};

// Keys the program reads, spellings a hand-edited file may use, and ones that do not exist.
constexpr std::array kKeys = {
    Key{"SYSTEM", "appName"},
    Key{"SYSTEM", "adapter"},
    Key{"system", "COMMPORT"},
    Key{"ADAPTER", "adapter1"},
    Key{"URL", "path1"},
    Key{"URL", "browse"},
    Key{"A", "k"},
    Key{"a", "K"},
    Key{"ソラノT1", "ring"},
    Key{"NEW", "fresh"},
    Key{"", "k"},
    Key{"A", ""},
};

const QString& settingsPath()
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("settings.ini"));
    return path;
}

void fail(const char* what, const Key& key)
{
    std::fprintf(stderr, "invariant broken: %s [%s] %s\n", what, key.section, key.key);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    SharedState state;
    state.appDir = settingsPath().section(u'/', 0, -2);

    // The first byte picks the key to write; the rest is the file.
    const Key& target = kKeys[data[0] % kKeys.size()];
    const QByteArray file(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    {
        QFile out(settingsPath());
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(file) != file.size())
            std::abort();
    }

    LoadSettings(state);
    ReadWriteAppSettings(state, QStringLiteral("READ"));

    std::array<QString, kKeys.size()> before;
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        before[i] = ReadIni(state, QString::fromUtf8(kKeys[i].section), QString::fromUtf8(kKeys[i].key));

    const QString value = QStringLiteral("v%1 着信").arg(qHash(file));
    const QString section = QString::fromUtf8(target.section);
    const QString key = QString::fromUtf8(target.key);
    if (WriteIni(state, section, key, value) == 0) {
        QFile in(settingsPath());
        if (!in.open(QIODevice::ReadOnly) || in.readAll() != file)
            fail("a failed write changed the file", target);
        return 0;
    }
    if (ReadIni(state, section, key) != value)
        fail("written value does not read back", target);
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const Key& other = kKeys[i];
        if (QString::fromUtf8(other.section).compare(section, Qt::CaseInsensitive) == 0 &&
            QString::fromUtf8(other.key).compare(key, Qt::CaseInsensitive) == 0)
            continue;
        if (ReadIni(state, QString::fromUtf8(other.section), QString::fromUtf8(other.key)) != before[i])
            fail("another key changed", other);
    }
    return 0;
}
