#pragma once

#include "link/ReceiveRoutines.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <vector>

/// Receive routines that record which routine got which line. `onLine` runs inside the
/// routine, so a test can act while a line is being processed; `maxDepth` shows whether a
/// routine was ever entered while another was still running.
class FakeReceiveRoutines final : public ReceiveRoutines
{
public:
    struct Received
    {
        QString routine;
        QString text;
    };

    void rcvProcess(const QString& line, const Arrival&) override { handle(QStringLiteral("rcvProcess"), line); }
    void rcvProcessA(const QString& line, const Arrival&) override { handle(QStringLiteral("rcvProcessA"), line); }
    void rcvProcessT1(const QString& frame, const Arrival&) override { handle(QStringLiteral("rcvProcessT1"), frame); }

    QStringList texts() const
    {
        QStringList result;
        for (const Received& r : received)
            result.append(r.text);
        return result;
    }

    std::vector<Received> received;
    std::function<void(const Received&)> onLine;
    int depth = 0;
    int maxDepth = 0;

private:
    void handle(const QString& routine, const QString& text)
    {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        received.push_back({routine, text});
        if (onLine)
            onLine(received.back());
        --depth;
    }
};
