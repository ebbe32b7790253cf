#include "ui/frmCutting.h"

#include "ui/Pictures.h"

frmCutting::frmCutting(const QString& offIconPath, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmCutting"));
    setWindowIcon(iconFromFile(offIconPath, builtInWindowIcon()));
}
