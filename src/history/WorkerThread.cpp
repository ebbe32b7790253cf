#include "history/WorkerThread.h"

#include <QDeadlineTimer>
#include <QThread>

QThread* startWorkerThread(QObject* worker, const QString& name)
{
    auto* thread = new QThread;
    worker->moveToThread(thread);
    QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    thread->setObjectName(name);
    thread->start();
    return thread;
}

void stopWorkerThread(QThread* thread)
{
    thread->quit();
    if (thread->wait(QDeadlineTimer(100)))
        delete thread;
    else
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
}
