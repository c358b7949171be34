#pragma once

#include <fstream>
#include <unistd.h>

namespace testsupport {

// Resident memory of this process in bytes (Linux), for benchmarks.
inline long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

} // namespace testsupport
