#pragma once

#include <QLoggingCategory>

/// The program's one logging category. Developer trace lines (`DebugLog`) go here.
Q_DECLARE_LOGGING_CATEGORY(lcChakushin)
