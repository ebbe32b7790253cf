#pragma once

#include "app/SharedState.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

/// The built program started on `state`'s application directory with the given history
/// and an adapter port with nothing behind it: it writes what the spool holds and stays up,
/// without a display.
class ProgramWithoutAdapter
{
public:
    ProgramWithoutAdapter(const QString& executable, const SharedState& state, const QString& history);
    /// Killed, if it still runs.
    ~ProgramWithoutAdapter();

    QProcess process;

private:
    QTemporaryDir m_runtime;
};

/// Journals `rows` calls in `state`'s spool, then `trials` times: starts the built program on
/// a copy of that spool with the history `history` emptied by `clear`, kills it at a random
/// moment of its flush, and writes what is left. Each trial must end with every call's
/// number once and in order in `numbersIn()`, and at least one kill must fall into a flush.
void killDuringFlushes(const QString& executable, SharedState state, const QString& history,
                       const std::function<bool()>& clear, const std::function<QStringList()>& numbersIn, int rows,
                       int trials);
