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

// Peak resident memory of this process so far (Linux).
inline long peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long kib = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kib;
            break;
        }
    }
    return kib * 1024;
}

} // namespace benchmemory
