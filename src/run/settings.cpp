#include "run/settings.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/fatal.h"
#include "engine/engine_modes.h"

namespace tevrol {

void checkPermutationCount(int64_t nperm) {
  if (nperm < kMinPermutations) fatalError("Must have at least 100 permutations");
  if (nperm > kMaxPermutations) fatalError("Must have at most 715827882 permutations");
}

int parseThreadCount(const char* text) {
  int value = 0;
  if (*text == '\0') return 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return 0;
    value = value * 10 + (*p - '0');
    if (value > kMaxThreads) return 0;
  }
  return value;
}

std::string engineChoices() {
  return engineModeChoices();
}

namespace {

const char* environment(const char* name) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? text : nullptr;
}

}  // namespace

Settings resolveSettings(int threads, const std::string& engine) {
  Settings settings;
  const int hardware = static_cast<int>(std::thread::hardware_concurrency());
  settings.threads = std::clamp(hardware, 1, kMaxThreads);
  if (threads < 1) {
    if (const char* text = environment("TEVROL_THREADS")) {
      threads = parseThreadCount(text);
      if (threads == 0) fatalError("TEVROL_THREADS must be a whole number from 1 to 256");
    }
  }
  if (threads > 0) settings.threads = std::min(settings.threads, threads);

  const char* fromEnvironment = environment("TEVROL_ENGINE");
  const std::string name = !engine.empty() ? engine : fromEnvironment ? fromEnvironment : "";
  if (!name.empty() && name != kAutomaticEngine) {
    settings.engine = findEngineMode(name);
    if (settings.engine == nullptr) {
      fatalError(std::string(engine.empty() ? "TEVROL_ENGINE" : "The engine") + " must be " +
                 engineChoices());
    }
  }
  return settings;
}

}  // namespace tevrol
