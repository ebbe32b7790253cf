#pragma once

#include <QString>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

/// Sends what this process writes to standard error into a file while it lives.
class StandardErrorCapture
{
public:
    StandardErrorCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StandardErrorCapture()
    {
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    /// What was written so far.
    QString text()
    {
        std::fflush(stderr);
        m_file.seek(0);
        return QString::fromLocal8Bit(m_file.readAll());
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};
