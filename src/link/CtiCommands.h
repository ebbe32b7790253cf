#pragma once

#include "app/SettingsRecords.h"
#include "app/SharedState.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

/// How the CTI dialog talks to an ISDN adapter about its per-port call notification: which
/// queries a read-out sends, which commands a send transmits and what it stores. Nothing
/// here needs a window or a port.

/// The two ways adapters report and take the notification setting, chosen by the profile's
/// `getCtiCommand`: 1 is one query for all ports with one-character codes, any other number
/// one query per port with two-character codes.
enum class CtiScheme
{
    SingleQuery,
    PerPort
};

/// The profile's scheme; empty when `getCtiCommand` is not a number, which the receive
/// processing refuses too, so such a profile can neither be read out nor set.
std::optional<CtiScheme> ctiScheme(const AdapterProfile& profile);

/// Number of the last query a read-out sends: the queries run from `getCtiInfo1`, which is
/// sent even when empty, up to the one before the next empty entry, at most five. The
/// per-port scheme stops after the third, as a fourth or fifth reply would name no port.
int lastCtiQuery(const AdapterProfile& profile, CtiScheme scheme);

/// What a send transmits, in order, and the `ctiSettings1` … `ctiSettings3` it stores.
struct CtiSend
{
    QStringList commands;
    std::array<QString, 3> values;
};

/// The send for the selections "通知する" of ports 1 to 3. The single-query scheme picks one
/// command group by ports 1 and 2 (port 3 plays no part) and sends its first command even
/// when empty, the second when not empty and the third when neither the second nor the
/// third is empty. The per-port scheme sends each port's first command followed by "1" or
/// "0".
CtiSend ctiSendFor(const AdapterProfile& profile, CtiScheme scheme, const std::array<bool, 3>& notify);

/// The status after a read-out: complete, ended on a time-out, or any other failure.
QString ctiReadOutCaption(bool complete, ReplyStatus lastReplyStatus);
