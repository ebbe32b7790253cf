#include "ui/FormControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect place)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    button->setFont(japaneseFont(kButtonPointSize));
    // Return in a text box must not press a button the user did not choose.
    button->setAutoDefault(false);
    return button;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, QRect place, qreal pointSize)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    label->setFont(japaneseFont(pointSize));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QComboBox* makeList(QWidget* parent, const QString& name, QRect place)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setGeometry(place);
    list->setFont(japaneseFont(kTextBoxPointSize));
    return list;
}

QLineEdit* makeTextBox(QWidget* parent, const QString& name, QRect place)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setGeometry(place);
    box->setFont(japaneseFont(kTextBoxPointSize));
    return box;
}

QCheckBox* makeCheckBox(QWidget* parent, const QString& name, QRect place)
{
    auto* box = new QCheckBox(parent);
    box->setObjectName(name);
    box->setGeometry(place);
    return box;
}

QGroupBox* makeFrame(QWidget* parent, const QString& name, const QString& caption, QRect place)
{
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(name);
    frame->setGeometry(place);
    frame->setFont(japaneseFont(kTextBoxPointSize));
    return frame;
}
