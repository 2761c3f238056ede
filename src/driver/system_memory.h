#pragma once

#include <cstdint>

namespace tevrol {

// Bytes of memory this machine can give the process: the smaller of the
// physical memory and the address-space limit (ulimit -v).
uint64_t availableMemory();

}  // namespace tevrol
