#pragma once

#include "ui/JapaneseFont.h"

#include <QRect>
#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The controls of the program's forms, placed at a fixed spot and named after the form's
// own control names (their objectName), in the windows' Japanese face.

/// A push button that never acts as the form's default button.
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect place);
/// A label that shows its text as plain text.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, QRect place,
                  qreal pointSize = kButtonPointSize);
/// A warning in red, word-wrapped plain text, for a layout to place.
QLabel* makeWarningLabel(QWidget* parent, const QString& name, const QString& text);
/// A drop-down list.
QComboBox* makeList(QWidget* parent, const QString& name, QRect place);
/// A one-line text box.
QLineEdit* makeTextBox(QWidget* parent, const QString& name, QRect place);
/// A check box without a caption of its own (the form puts a label beside it).
QCheckBox* makeCheckBox(QWidget* parent, const QString& name, QRect place);
/// A frame that groups controls under a caption, which may be empty.
QGroupBox* makeFrame(QWidget* parent, const QString& name, const QString& caption, QRect place);
