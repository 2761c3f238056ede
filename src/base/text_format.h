#pragma once

#include <string>

namespace tevrol {

// Appends printf-formatted text to a report held in memory: the same bytes
// printf would write.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void appendFormat(std::string& out, const char* format, ...);

}  // namespace tevrol
