#include "ProcessMemory.h"

#include <QFile>

#include <sys/resource.h>

ProcessMemory ProcessMemory::now()
{
    ProcessMemory memory;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            const auto value = [&](const char* key) {
                return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
            };
            if (line.startsWith("VmHWM:"))
                memory.peakResidentKiB = value("VmHWM:");
            else if (line.startsWith("VmRSS:"))
                memory.residentKiB = value("VmRSS:");
        }
    }
    rusage usage{};
    if (::getrusage(RUSAGE_SELF, &usage) == 0)
        memory.maxRssKiB = usage.ru_maxrss;
    return memory;
}
