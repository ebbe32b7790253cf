#pragma once

#include "app/SettingsRecords.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

/// Application state codes (`appState`).
namespace AppStateCode {
inline constexpr std::int16_t AdapterStep = 101;
inline constexpr std::int16_t CtiStep = 102;
inline constexpr std::int16_t UrlStep = 103;
inline constexpr std::int16_t AskStandby = 104;
inline constexpr std::int16_t StandbyOn = 105;
inline constexpr std::int16_t StandbyOff = 109;
inline constexpr std::int16_t Quit = 901;
inline constexpr std::int16_t AdapterFault = 999;
} // namespace AppStateCode

/// Receive modes (`rcvMode`). Any other value makes the receive routines ignore every line.
namespace RcvMode {
inline constexpr std::int16_t Initial = 0;
inline constexpr std::int16_t GetAInfo = 1;
inline constexpr std::int16_t ReadOutDone = 2;
inline constexpr std::int16_t Idle = 3;
inline constexpr std::int16_t Guarded = 999;
} // namespace RcvMode

/// Outcomes of a reply wait (`replyStatus`).
namespace ReplyStatus {
inline constexpr std::int16_t Waiting = 0;
inline constexpr std::int16_t Handled = 1;
inline constexpr std::int16_t Malformed = -1;
inline constexpr std::int16_t TimedOut = -999;
} // namespace ReplyStatus

/// Watchdog acknowledgement (`watchAck`).
namespace WatchAck {
inline constexpr std::int16_t Answered = -1;
inline constexpr std::int16_t Outstanding = 0;
} // namespace WatchAck

/// Everything the program shares between its parts: the settings in memory and the state
/// codes that the start-up, the serial link, the receive routines and the windows read and
/// write. There is one instance per running program (and one per test); whoever needs it
/// is handed a reference. Only the user-interface thread touches it.
struct SharedState
{
    /// Directory that holds settings.ini, the icons and, by default, the history database.
    /// Stored without a trailing separator.
    QString appDir;

    SystemSettings systemSettings;
    UrlSettings urlSettings;
    AdapterProfile adapterProfile;
    Numbered<5> adapterModels;
    QString adapterModel;

    std::int16_t appState = 0;
    std::int16_t rcvMode = RcvMode::Initial;
    std::int16_t replyStatus = ReplyStatus::Waiting;
    std::int16_t watchAck = WatchAck::Answered;
    QString detectedModel;
    std::int16_t detectedModelIndex = 0;
    std::int16_t ctiQueryIndex = 1;

    /// Local date and time at which the bytes completing the line in hand arrived, set by the
    /// serial link while a receive routine runs and invalid otherwise. A call is recorded with
    /// this time, not with the time its turn came (it may have waited behind a message box).
    QDateTime receivedAt;
};
