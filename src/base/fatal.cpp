#include "base/fatal.h"

namespace tevrol {

void fatalError(const std::string& message) {
  throw RunError(message, "ERROR: " + message + "\n");
}

void fatalError(const std::string& message, const std::string& reason) {
  throw RunError(message, "ERROR: " + message + "\n", reason);
}

}  // namespace tevrol
