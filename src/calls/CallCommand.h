#pragma once

#include "calls/BrowserCommand.h"

#include <QDateTime>
#include <QString>

#include <optional>

/// The command to run for a call from the `command` setting: words as an `Exec` line has
/// them (`splitCommandLine`), and in each word %n stands for the number as the adapter sent
/// it, %h for its written form ("03-1234-5678"), %e for its E.164 form ("+81312345678",
/// empty for what is no number), %N for the caller's name from the phone book (empty when it
/// has none), %d for the date (YYYY-MM-DD), %t for the time (HH:MM:SS) and %% for '%'; any
/// other '%' stays as typed.
/// The values go in as they are, each inside the word that holds it. Nothing for an empty
/// or unusable line.
std::optional<BrowserCommand> callCommand(const QString& line, const QString& number, const QDateTime& calldate,
                                          const QString& name = {});

/// What becomes of what a command prints.
enum class CommandOutput
{
    /// Its standard output and error go to the null device.
    Discarded,
    /// Its first lines (of both together, each cut short) go to the trace; the rest is read and dropped.
    FirstLinesTraced,
};

/// Starts `callCommand` detached, never through a shell, its input the null device and its
/// output as `output` says; nothing waits for it to end. Empty when it started or there was
/// nothing to run, otherwise why it did not start.
QString runCallCommand(const QString& line, const QString& number, const QDateTime& calldate, CommandOutput output,
                       const QString& name = {});
