#pragma once

#include <QString>

/// A small INI file layer with the semantics of the classic Windows private-profile
/// functions, so that settings files written by earlier versions keep working unchanged:
///
/// - section and key names match ignoring letter case; the first occurrence wins;
/// - blanks around a key and around a value are ignored, and one pair of matching quotes
///   around a value is dropped;
/// - a missing file, section or key reads as empty text;
/// - a value comes back cut to its first 1023 bytes (in the file's encoding).
///
/// A file is read as UTF-8 when it is valid UTF-8, otherwise as CP932 (the Japanese
/// Windows code page; a UTF-8 byte-order mark in front of CP932 text is passed over), and
/// written back in the encoding it was read in; a new file is UTF-8. Nothing is cached:
/// every call opens the file anew.
namespace IniFile {

inline constexpr int kMaxValueBytes = 1023;

/// `cut`, when given, tells whether the value was longer than kMaxValueBytes.
QString read(const QString& path, const QString& section, const QString& key, bool* cut = nullptr);

/// Sets one key and leaves every other byte of the file as it was: an existing key's line
/// is replaced in place, a missing key is added at the end of its section, a missing
/// section at the end of the file, a missing file is created. The file is replaced
/// atomically, so a failed write leaves the old file intact.
///
/// Returns non-zero on success and 0 on failure: the file or its folder cannot be written,
/// the file is marked read-only, the value cannot be represented in the file's encoding,
/// or a name or value holds a line break or NUL (which would corrupt the file).
int write(const QString& path, const QString& section, const QString& key, const QString& value);

} // namespace IniFile
