#pragma once

/// Resident memory of this process, in KiB; -1 where the system does not tell.
struct ProcessMemory
{
    long long peakResidentKiB = -1; ///< VmHWM: the high-water mark of resident memory
    long long residentKiB = -1;     ///< VmRSS: resident now
    long long maxRssKiB = -1;       ///< getrusage ru_maxrss

    static ProcessMemory now();
};
