#pragma once

#include <QObject>

#include <vector>

class QSocketNotifier;

/// SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, Ctrl+C in a terminal) turned into a
/// request to end in order, delivered in the event loop. A signal the program was started
/// with ignored (SIGHUP under `nohup`) stays ignored; once this object is gone, each signal
/// is handled as it was before. Where the platform has no such signals, nothing is ever
/// requested.
class EndSignals final : public QObject
{
    Q_OBJECT

public:
    explicit EndSignals(QObject* parent = nullptr);
    ~EndSignals() override;

signals:
    /// Once per signal received; `signalNumber` names it.
    void endRequested(int signalNumber);

private:
    void readSignal();

    /// A signal taken over, and how it was handled before.
    struct Previous;

    QSocketNotifier* m_notifier = nullptr;
    std::vector<Previous> m_previous;
};
