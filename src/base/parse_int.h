#pragma once

#include <cstdint>

namespace tevrol {

// Reads an integer with the grammar of atoi: optional leading white space,
// an optional sign, then decimal digits up to the first other character; no
// digits gives 0. Unlike atoi it is defined for every input: a value beyond
// the 32-bit range saturates to the nearest 32-bit value.
int32_t parseInt(const char* text);

}  // namespace tevrol
