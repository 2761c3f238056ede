#include "driver/settings.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/fatal.h"
#include "driver/parse_int.h"

namespace tevrol {

Settings readSettings(const Options& options) {
  Settings settings;
  const int hardware = static_cast<int>(std::thread::hardware_concurrency());
  settings.threads = std::clamp(hardware, 1, kMaxThreads);
  if (options.threads > 0) {
    settings.threads = std::min(settings.threads, options.threads);
  } else if (const char* text = std::getenv("TEVROL_THREADS"); text != nullptr && *text != '\0') {
    const int32_t threads = parseInt(text);
    if (threads < 1 || threads > kMaxThreads) {
      fatalError("TEVROL_THREADS must be a whole number from 1 to 256");
    }
    settings.threads = std::min(settings.threads, static_cast<int>(threads));
  }
  if (const char* text = std::getenv("TEVROL_ENGINE"); text != nullptr && *text != '\0') {
    const std::string name = text;
    if (name == "reference") {
      settings.reference = true;
    } else if (!parseEngineMode(name, settings.engine)) {
      fatalError(
          "TEVROL_ENGINE must be automatic, pairs, dense, bitset, sparse, sliced, haplotypes or "
          "reference");
    }
  }
  return settings;
}

}  // namespace tevrol
