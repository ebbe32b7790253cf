#pragma once

#include <QString>

/// The caller's page: `path1` with the number appended. The number comes from the telephone
/// line; outside RFC 3986's unreserved characters it is percent-encoded (as UTF-8), so that
/// "&" or "#" cannot add a parameter to the URL or cut it short. Digits, and with them every
/// real number, pass unchanged.
QString callerPageUrl(const QString& path1, const QString& number);
