#pragma once

#include <QString>

/// Above this many characters the debug terminal drops its oldest kTerminalTrim characters
/// before the next append.
inline constexpr qsizetype kTerminalLimit = 16000;
inline constexpr qsizetype kTerminalTrim = 4096;

/// The debug terminal's text after appending `text` to `box`: the box is bounded first, then
/// each backspace (code 8) in `text` deletes the character before it; backspaces with
/// nothing before them in `text` delete characters from the end of the box instead.
QString appendToTerminalText(const QString& box, const QString& text);
