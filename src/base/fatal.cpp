#include "base/fatal.h"

namespace tevrol {

void fatalError(const std::string& message) {
  throw RunError(message, "ERROR: " + message + "\n");
}

}  // namespace tevrol
