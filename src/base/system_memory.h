#pragma once

#include <cstdint>
#include <string>

namespace tevrol {

// Bytes of memory this machine can give the process: the smallest of the
// physical memory, the address-space limit (ulimit -v) and the memory limit
// of the process's control group (containers and batch schedulers set one).
uint64_t availableMemory();

// Bytes of memory the process holds now (its resident set), 0 where the
// system does not tell.
uint64_t residentMemory();

// The smallest memory limit of the cgroups named in a /proc/self/cgroup text,
// and of their ancestors, read below root (normally /sys/fs/cgroup): v2
// memory.max, v1 memory/memory.limit_in_bytes; "max" or no file means no
// limit, UINT64_MAX.
uint64_t cgroupMemoryLimit(const std::string& procCgroup, const std::string& root);

}  // namespace tevrol
