#pragma once

#include <QString>

class AdapterSimulator;

/// The simulator's command language, one command per line (what a developer types on the
/// simulator's standard input): call, silent, as, raw, bytes, garbage, status, help, quit.
class SimulatorConsole
{
public:
    struct Result
    {
        bool ok = true;    ///< false: the line was not understood; `text` says why
        bool quit = false; ///< the line asked the simulator to end
        QString text;      ///< what to show the user (status, help or the error), may be empty
    };

    explicit SimulatorConsole(AdapterSimulator& simulator)
        : m_simulator(simulator)
    {}

    Result execute(QString line);

    /// The commands with one line of explanation each.
    static QString helpText();
    /// Largest count `garbage` accepts: the pseudo-terminal buffers only a few kilobytes
    /// while nobody reads the other end.
    static constexpr int kMaxGarbage = 1024;

private:
    QString status() const;

    AdapterSimulator& m_simulator;
};
