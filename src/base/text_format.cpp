#include "base/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tevrol {

void appendFormat(std::string& out, const char* format, ...) {
  char local[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(local, sizeof local, format, args);
  va_end(args);
  if (length > 0 && static_cast<size_t>(length) < sizeof local) {
    out.append(local, static_cast<size_t>(length));
  } else if (length > 0) {
    std::vector<char> large(static_cast<size_t>(length) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    out.append(large.data(), static_cast<size_t>(length));
  }
  va_end(again);
}

}  // namespace tevrol
