#pragma once

#include <QString>

#include <optional>

/// Conversions of settings text, which is stored as text and converted where it is used.

/// "Read as a boolean": "True"/"False" in any letter case, or a decimal number (0 is
/// false, any other number true). Anything else cannot be read as a boolean.
std::optional<bool> readAsBoolean(const QString& text);

/// "Compared with "True"": only that exact text counts as true.
inline bool isExactlyTrue(const QString& text)
{
    return text == QLatin1String("True");
}

/// Decimal text converted to an integer; blanks around the digits are allowed.
std::optional<long long> readAsNumber(const QString& text);

/// A stored path such as `iconFile` ("\icons\on.png") appended directly to the
/// application directory, with "\" and "/" both taken as separators.
QString pathInAppDir(const QString& appDir, const QString& storedPath);
