#pragma once

#include <QString>

/// What a following desk tells its user when it cannot follow the history at `uri`, `why` being libpq's reason: which
/// server and database it tried, and why it failed, in Japanese. A reason not known here is quoted after a general
/// sentence. The password never appears.
QString followProblemText(const QString& uri, const QString& why);

/// `text` with the passwords of `uri` hidden, as they are written in it and as they read decoded.
QString withoutPasswordOf(const QString& uri, const QString& text);
