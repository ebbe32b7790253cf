#pragma once

#include "app/MessageBoxes.h"

/// Message boxes as real modal QMessageBox windows, staying on top of other windows.
class QtMessageBoxes final : public MessageBoxes
{
public:
    Answer show(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
};
