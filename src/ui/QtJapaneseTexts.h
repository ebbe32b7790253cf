#pragma once

class QCoreApplication;

/// Installs Qt's own Japanese translation (qtbase_ja), so that the standard buttons of
/// message boxes read "はい(&Y)", "いいえ(&N)", "キャンセル" as on a Japanese desktop. False
/// when the translation is not installed; Qt then shows its English texts.
bool installQtJapaneseTexts(QCoreApplication& app);
