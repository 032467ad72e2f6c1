#pragma once

#include <cstddef>
#include <string>

namespace mandel {

// Bytes of memory the system can give this process now without swapping
// others out (MemAvailable of /proc/meminfo); 0 when it cannot say.
std::size_t availableMemory();

// What bounds the memory this process can still take, in bytes; each is 0
// where it is unknown or there is no such bound.
struct MemoryLimits {
    std::size_t available = 0;     // availableMemory()
    std::size_t addressSpace = 0;  // RLIMIT_AS (ulimit -v) less the address space in use
    std::size_t cgroup = 0;        // the cgroup's memory limit less its use, the least along its ancestors
};

// The limits as they stand now.
MemoryLimits memoryLimits();

// What the cgroups of a process can still take: for each cgroup from the
// one named in `procCgroup` (the text of /proc/PID/cgroup) up to the root,
// its limit less its use, under the cgroup file system mounted at `root`
// (v2: memory.max and memory.current, at root or root/unified; v1, where
// the memory controller is there: memory/.../memory.limit_in_bytes and
// memory.usage_in_bytes); the least of them, 0 when none is set.
std::size_t cgroupMemoryLeft(const std::string& procCgroup, const std::string& root = "/sys/fs/cgroup");

// The least of the limits that are known; 0 when none is.
std::size_t leastLimit(const MemoryLimits& limits);

// What one piece of work (a deep view's orbit and tables) may hold: three
// quarters of leastLimit(memoryLimits()); 0 when nothing is known.
std::size_t memoryBudget();

} // namespace mandel
