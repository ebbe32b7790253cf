#pragma once

#include <QString>
#include <QWidget>

/// Carries the tray's standby-off icon: the picture of `iconFile_off`, read once when the
/// holder is made (a later change of the setting takes effect at the next start), or the
/// built-in picture when that file cannot be read. Never shown.
class frmCutting final : public QWidget
{
    Q_OBJECT

public:
    explicit frmCutting(const QString& offIconPath, QWidget* parent = nullptr);
};
