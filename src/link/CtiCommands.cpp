#include "link/CtiCommands.h"

#include "app/SettingText.h"
#include "app/SharedState.h"

namespace {

constexpr int kLastQuery = 5;
constexpr int kPorts = 3;

const QString kOn = QStringLiteral("1");
const QString kOff = QStringLiteral("0");

QStringList groupCommands(const Numbered<3>& group)
{
    QStringList commands{group[1]};
    if (!group[2].isEmpty()) {
        commands << group[2];
        if (!group[3].isEmpty())
            commands << group[3];
    }
    return commands;
}

} // namespace

std::optional<CtiScheme> ctiScheme(const AdapterProfile& profile)
{
    const std::optional<long long> number = readAsNumber(profile.getCtiCommand);
    if (!number)
        return std::nullopt;
    return *number == 1 ? CtiScheme::SingleQuery : CtiScheme::PerPort;
}

int lastCtiQuery(const AdapterProfile& profile, CtiScheme scheme)
{
    const int cap = scheme == CtiScheme::PerPort ? kPorts : kLastQuery;
    int last = 1;
    while (last < cap && !profile.getCtiInfo[static_cast<std::size_t>(last + 1)].isEmpty())
        ++last;
    return last;
}

CtiSend ctiSendFor(const AdapterProfile& profile, CtiScheme scheme, const std::array<bool, 3>& notify)
{
    CtiSend send;
    if (scheme == CtiScheme::SingleQuery) {
        if (notify[0] && notify[1]) {
            send.commands = groupCommands(profile.cti_both);
            send.values = {kOn, kOn, kOff};
        } else if (notify[0]) {
            send.commands = groupCommands(profile.cti_p1);
            send.values = {kOn, kOff, kOff};
        } else if (notify[1]) {
            send.commands = groupCommands(profile.cti_p2);
            send.values = {kOff, kOn, kOff};
        } else {
            send.commands = groupCommands(profile.cti_non);
            send.values = {kOff, kOff, kOff};
        }
        return send;
    }
    const std::array<const QString*, 3> prefixes = {&profile.cti_p1[1], &profile.cti_p2[1], &profile.cti_p3[1]};
    for (std::size_t port = 0; port < prefixes.size(); ++port) {
        send.commands << *prefixes[port] + (notify[port] ? kOn : kOff);
        send.values[port] = notify[port] ? kOn : kOff;
    }
    return send;
}

QString ctiReadOutCaption(bool complete, ReplyStatus lastReplyStatus)
{
    if (complete)
        return QStringLiteral("CTI設定検出完了");
    if (lastReplyStatus == ReplyStatus::TimedOut)
        return QStringLiteral("CTI設定検出タイムアウト");
    return QStringLiteral("CTI設定検出エラー");
}
