#include "AdapterSimProfile.h"

#include "app/IniFile.h"

#include <algorithm>

namespace {

void readFamily(const QString& path, const QString& section, const QString& stem, auto& entries)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i] = IniFile::read(path, section, stem + QString::number(i + 1));
}

} // namespace

AdapterSimProfile AdapterSimProfile::load(const QString& settingsPath, const QString& model)
{
    AdapterSimProfile p;
    p.model = model;
    p.settingsPath = settingsPath;
    if (model.isEmpty())
        return p;
    const auto key = [&](const char* name) {
        return IniFile::read(settingsPath, model, QLatin1String(name));
    };
    p.ctrlcode = key("ctrlcode");
    p.kind = key("kind");
    p.ok = key("ok");
    p.err = key("err");
    p.ring = key("ring");
    p.getinfo = key("getinfo");
    p.getCtiCommand = key("getCtiCommand");
    p.rsp1_Both = key("rsp1_Both");
    p.rsp1_P1 = key("rsp1_P1");
    p.rsp1_P2 = key("rsp1_P2");
    p.rsp1_NN = key("rsp1_NN");
    p.rsp2_on = key("rsp2_on");
    p.rsp2_off = key("rsp2_off");
    readFamily(settingsPath, model, QStringLiteral("icommand"), p.icommand);
    readFamily(settingsPath, model, QStringLiteral("cti_both_"), p.cti_both);
    readFamily(settingsPath, model, QStringLiteral("cti_p1_"), p.cti_p1);
    readFamily(settingsPath, model, QStringLiteral("cti_p2_"), p.cti_p2);
    readFamily(settingsPath, model, QStringLiteral("cti_p3_"), p.cti_p3);
    readFamily(settingsPath, model, QStringLiteral("cti_non_"), p.cti_non);
    readFamily(settingsPath, model, QStringLiteral("getCtiInfo"), p.getCtiInfo);
    readFamily(settingsPath, model, QStringLiteral("ctiInfo"), p.ctiInfo);
    return p;
}

QString AdapterSimProfile::modelAt(const QString& settingsPath, int index)
{
    if (index < 1 || index > 5)
        return {};
    return IniFile::read(settingsPath, QStringLiteral("ADAPTER"), QStringLiteral("adapter%1").arg(index));
}

QStringList AdapterSimProfile::models(const QString& settingsPath)
{
    QStringList names;
    for (int i = 1; i <= 5; ++i) {
        const QString name = modelAt(settingsPath, i);
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

QString AdapterSimProfile::selectedModel(const QString& settingsPath)
{
    const QString index = IniFile::read(settingsPath, QStringLiteral("SYSTEM"), QStringLiteral("adapter"));
    if (index.isEmpty())
        return {};
    return modelAt(settingsPath, index.toInt());
}

bool AdapterSimProfile::isEmpty() const
{
    const auto allEmpty = [](const auto& entries) {
        return std::all_of(entries.begin(), entries.end(), [](const QString& s) { return s.isEmpty(); });
    };
    return ctrlcode.isEmpty() && kind.isEmpty() && ok.isEmpty() && err.isEmpty() && ring.isEmpty() &&
           getinfo.isEmpty() && getCtiCommand.isEmpty() && rsp1_Both.isEmpty() && rsp1_P1.isEmpty() &&
           rsp1_P2.isEmpty() && rsp1_NN.isEmpty() && rsp2_on.isEmpty() && rsp2_off.isEmpty() && allEmpty(icommand) &&
           allEmpty(cti_both) && allEmpty(cti_p1) && allEmpty(cti_p2) && allEmpty(cti_p3) && allEmpty(cti_non) &&
           allEmpty(getCtiInfo) && allEmpty(ctiInfo);
}

bool AdapterSimProfile::controlCodeFraming() const
{
    return ctrlcode == QLatin1String("TRUE") || ctrlcode == QLatin1String("true") || ctrlcode == QLatin1String("True");
}

bool AdapterSimProfile::singleQueryScheme() const
{
    bool ok = false;
    const int scheme = getCtiCommand.trimmed().toInt(&ok);
    return ok && scheme == 1;
}
