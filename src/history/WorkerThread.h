#pragma once

#include <QString>

class QObject;
class QThread;

/// Moves `worker` (without a parent) to a new thread named `name` and starts it; the worker is
/// deleted on that thread when it ends.
QThread* startWorkerThread(QObject* worker, const QString& name);
/// Ends the thread: a statement under way on it gets a moment to finish, and one held up by a
/// server that does not answer ends on its own time-out without anyone waiting for it.
void stopWorkerThread(QThread* thread);
