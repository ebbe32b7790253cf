#pragma once

#include <QDateTime>
#include <QString>

/// The caller's page for a call of `number` at `calldate`. `path1` may name where the values
/// go: `{number}` (as the adapter sent it), `{number_hyphen}` (its written form,
/// "03-1234-5678"), `{number_e164}` ("+81312345678", empty for what is no number),
/// `{name}` (the caller's name from the phone book, empty when it has none),
/// `{date}` (YYYY-MM-DD) and `{time}` (HH:MM:SS), each as often as wanted; any other `{word}`
/// stays as typed. A `path1` without any of them gets the number appended, as it always had.
///
/// Each value is percent-encoded (as UTF-8) outside RFC 3986's unreserved characters, so
/// that a number from the telephone line holding "&" or "#" cannot add a parameter to the
/// URL or cut it short. Digits, and with them every real number, pass unchanged; the time's
/// colons become %3A.
QString callerPageUrl(const QString& path1, const QString& number, const QDateTime& calldate, const QString& name = {});
