#include "ui/FormControls.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect place)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    button->setFont(japaneseFont(kButtonPointSize));
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
