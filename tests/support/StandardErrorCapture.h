#pragma once

#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

/// Sends what this process writes to standard error into a file while it lives.
struct StandardErrorCapture
{
    StandardErrorCapture()
    {
        file.open();
        std::fflush(stderr);
        ::dup2(file.handle(), STDERR_FILENO);
    }
    ~StandardErrorCapture()
    {
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    /// What was written so far.
    QString text()
    {
        std::fflush(stderr);
        file.seek(0);
        return QString::fromLocal8Bit(file.readAll());
    }

    const int saved = ::dup(STDERR_FILENO);
    QTemporaryFile file;
};
