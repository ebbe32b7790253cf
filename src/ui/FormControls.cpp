#include "ui/FormControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Names and places a new control.
template<typename Control> Control* placed(Control* control, const QString& name, QRect place)
{
    control->setObjectName(name);
    control->setGeometry(place);
    return control;
}

template<typename Control> Control* placed(Control* control, const QString& name, QRect place, qreal pointSize)
{
    control->setFont(japaneseFont(pointSize));
    return placed(control, name, place);
}

} // namespace

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect place)
{
    auto* button = placed(new QPushButton(caption, parent), name, place, kButtonPointSize);
    // Return in a text box must not press a button the user did not choose.
    button->setAutoDefault(false);
    return button;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, QRect place, qreal pointSize)
{
    auto* label = placed(new QLabel(caption, parent), name, place, pointSize);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* makeWarningLabel(QWidget* parent, const QString& name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #b00000;"));
    return label;
}

QComboBox* makeList(QWidget* parent, const QString& name, QRect place)
{
    return placed(new QComboBox(parent), name, place, kTextBoxPointSize);
}

QLineEdit* makeTextBox(QWidget* parent, const QString& name, QRect place)
{
    return placed(new QLineEdit(parent), name, place, kTextBoxPointSize);
}

QCheckBox* makeCheckBox(QWidget* parent, const QString& name, QRect place)
{
    return placed(new QCheckBox(parent), name, place);
}

QGroupBox* makeFrame(QWidget* parent, const QString& name, const QString& caption, QRect place)
{
    return placed(new QGroupBox(caption, parent), name, place, kTextBoxPointSize);
}
