#pragma once
// The resident memory of this process, for the scenarios that report memory.
#include <fstream>
#include <unistd.h>

inline double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}
