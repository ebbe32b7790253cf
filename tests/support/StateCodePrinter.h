#pragma once

#include "app/SharedState.h"

#include <ostream>
#include <type_traits>

// Failures print the state codes as the numbers the trace shows.
inline std::ostream& operator<<(std::ostream& os, AppStateCode code)
{
    return os << codeNumber(code);
}
inline std::ostream& operator<<(std::ostream& os, RcvMode code)
{
    return os << codeNumber(code);
}
inline std::ostream& operator<<(std::ostream& os, ReplyStatus code)
{
    return os << codeNumber(code);
}
inline std::ostream& operator<<(std::ostream& os, WatchAck code)
{
    return os << codeNumber(code);
}

/// A state code as a test table writes it: by its number or by its name.
struct StateNumber
{
    constexpr StateNumber(int number)
        : n(number)
    {}
    template<typename Code>
    requires std::is_enum_v<Code>
    constexpr StateNumber(Code code)
        : n(codeNumber(code))
    {}
    template<typename Code>
    requires std::is_enum_v<Code>
    constexpr operator Code() const { return static_cast<Code>(n); }
    template<typename Code>
    requires std::is_enum_v<Code>
    friend constexpr bool operator==(Code code, StateNumber number) { return codeNumber(code) == number.n; }
    friend constexpr bool operator==(StateNumber, StateNumber) = default;
    friend std::ostream& operator<<(std::ostream& os, StateNumber number) { return os << number.n; }

    int n;
};
