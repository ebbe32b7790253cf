#pragma once

#include <QObject>

class QSocketNotifier;

/// SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, Ctrl+C in a terminal) turned into a
/// request to end in order, delivered in the event loop. Where the platform has no such
/// signals, nothing is ever requested.
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

    QSocketNotifier* m_notifier = nullptr;
};
