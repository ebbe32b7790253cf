#pragma once

class QApplication;

/// Makes the application behave as this program needs before any window exists:
/// - it does not end when its last visible window closes (say, a message box while the
///   main window sits in the tray): it ends through the main window's unload sequence only;
/// - Qt's own texts are Japanese (qtbase_ja from the system's Qt translations), so message
///   boxes offer "はい(&Y)", "いいえ(&N)", "キャンセル" as on a Japanese desktop.
/// False when the translation is not installed; Qt then shows its English texts.
bool prepareApplication(QApplication& app);
