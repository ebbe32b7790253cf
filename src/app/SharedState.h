#pragma once

#include "app/SettingsRecords.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>

/// Application state codes (`appState`). The start-up's steps, standby and the end; the trace
/// prints the numbers.
enum class AppStateCode : std::int16_t
{
    None = 0,
    AdapterStep = 101,
    CtiStep = 102,
    UrlStep = 103,
    AskStandby = 104,
    StandbyOn = 105,
    StandbyOff = 109,
    Quit = 901,
    AdapterFault = 999,
};

/// Receive modes (`rcvMode`). Any other value makes the receive routines ignore every line.
enum class RcvMode : std::int16_t
{
    Initial = 0,
    GetAInfo = 1,
    ReadOutDone = 2,
    Idle = 3,
    Guarded = 999,
};

/// Outcomes of a reply wait.
enum class ReplyStatus : std::int16_t
{
    Waiting = 0,
    Handled = 1,
    Malformed = -1,
    TimedOut = -999,
};

/// Watchdog acknowledgement (`watchAck`).
enum class WatchAck : std::int16_t
{
    Answered = -1,
    Outstanding = 0,
};

/// A state code as the number the trace prints.
template<typename Code> constexpr int codeNumber(Code code)
{
    return static_cast<int>(code);
}

/// Everything the program shares between its parts: the settings in memory and the state
/// codes that the start-up, the serial link and the windows read and write, each code set
/// from one place per folder. There is one instance per running program (and one per test);
/// whoever needs it is handed a reference. Only the user-interface thread touches it.
struct SharedState
{
    SharedState() = default;
    explicit SharedState(QString appDir)
        : appDir(std::move(appDir))
    {}

    /// Directory that holds settings.ini, the icons and, by default, the history database.
    /// Stored without a trailing separator. Given when the program's state is made.
    QString appDir;

    SystemSettings systemSettings;
    UrlSettings urlSettings;
    FollowSettings followSettings;
    DeskSettings deskSettings;
    AdapterProfile adapterProfile;
    Numbered<5> adapterModels;
    QString adapterModel;

    AppStateCode appState = AppStateCode::None;
    RcvMode rcvMode = RcvMode::Initial;
    WatchAck watchAck = WatchAck::Answered;
    /// settings.ini keys, "[SECTION] key", whose values the last read of each found longer
    /// than a value can be; each was told once, and dialogs that edit one say so.
    mutable QStringList cutValues;
};
