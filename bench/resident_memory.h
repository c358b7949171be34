#pragma once

#include <fstream>
#include <string>
#include <unistd.h>

namespace benchmemory {

// Resident memory of this process in bytes (Linux), for benchmarks.
inline long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// A line of /proc/self/status in bytes ("VmHWM:", "RssAnon:", "RssFile:").
inline long statusBytes(const std::string &wanted)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long kib = 0;
    while (status >> key) {
        if (key == wanted) {
            status >> kib;
            break;
        }
    }
    return kib * 1024;
}

// Peak resident memory of this process so far (Linux).
inline long peakResidentBytes()
{
    return statusBytes("VmHWM:");
}

// Resident memory of this process's own (anonymous) pages, and of the
// files it maps (pages the system can drop and read again).
inline long anonymousResidentBytes()
{
    return statusBytes("RssAnon:");
}
inline long fileResidentBytes()
{
    return statusBytes("RssFile:");
}

} // namespace benchmemory
