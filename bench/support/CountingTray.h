#pragma once

#include "ui/TaskTray.h"

/// The tray of a desk without a notification service: it counts the messages and shows none.
class CountingTray final : public TaskTray
{
public:
    bool isAvailable() const override { return true; }
    bool isShown() const override { return false; }
    void show(const QIcon&, const QString&) override {}
    void hide() override {}
    void change(const QIcon&, const QString&) override {}
    void showMessage(const QString&, const QString&) override { ++messages; }

    int messages = 0;
};
