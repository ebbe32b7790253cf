#pragma once

#include <QString>
#include <QStringList>

/// Where a started program's standard output and error go.
struct ProcessOutput
{
    enum class Kind
    {
        Inherited, ///< where this program's go
        Discarded, ///< the null device
        ToFile,    ///< the open file `fd` (a pipe's write end), shared by both
    };
    Kind kind = Kind::Inherited;
    int fd = -1;
};

/// Starts `program` (a bare name is looked up on PATH) with `arguments`, its input the null
/// device, and returns at once: nothing waits for it, and it outlives this program. Empty
/// when it started, otherwise why not.
///
/// A fork copies the page tables of all the memory a process holds, so a program that keeps a
/// large phone book in memory would start its browser that much later. On Unix the program is
/// started with posix_spawn, whose child shares this program's memory until it runs the
/// program: the start costs the same however large this program has grown. The child is
/// waited for on a thread of its own, so that it leaves no zombie; it runs in a session of
/// its own, as a detached process does. Elsewhere QProcess starts it detached.
QString startDetachedProcess(const QString& program, const QStringList& arguments, ProcessOutput output = {});
