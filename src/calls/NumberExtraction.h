#pragma once

#include <QString>

#include <optional>

/// The three ways of cutting the caller's number out of an incoming-call notification,
/// one per receive routine. Pure text rules: the number is returned exactly as cut, never
/// validated or normalised, and may be empty.
namespace NumberExtraction {

/// Length of a control-code frame that carries a number (and of the watchdog's answer).
inline constexpr qsizetype kT1FrameLength = 29;

/// `text` with every exact, case-sensitive occurrence of `part` removed. An empty `part`
/// occurs nowhere, so the text comes back unchanged.
QString removeEvery(const QString& text, const QString& part);

/// ISDN notifications (`rcvProcess`): every `ring` removed, ";", "/" and "+" read as
/// spaces, the text before the first space. No value when no delimiter is left.
std::optional<QString> isdnNumber(const QString& line, const QString& ring);

/// Other line-framed notifications (`rcvProcessA`): every `ring` removed, the text before
/// the first ":". No value when there is no ":".
std::optional<QString> analogNumber(const QString& line, const QString& ring);

/// Control-code frames (`rcvProcessT1`): characters 10 to 29 with leading and trailing
/// spaces (only spaces) removed. Whatever the frame's length, only the characters that
/// exist in that range are used.
QString t1Number(const QString& frame);

} // namespace NumberExtraction
