#pragma once

#include <cstdint>
#include <string>

#include "data/input.h"
#include "run/settings.h"

namespace tevrol {

enum class ProgressMode { Automatic, On, Off };

// The options before the file name.
struct Options {
  bool help = false;
  bool version = false;
  int threads = 0;       // 0: not given
  std::string jsonPath;  // empty: no JSON file
  std::string nullPath;  // empty: no null file
  ProgressMode progress = ProgressMode::Automatic;
  InputOptions input;  // --samples, --factors, --missing, --max-missing
  bool interaction = false;  // --interaction
  bool effects = false;      // --effects
  bool pairwise = false;     // --pairwise
};

struct CommandLine {
  Options options;
  std::string filename;
  int32_t nperm = kDefaultPermutations;
  bool hasSeed = false;
  int32_t seed = 0;
};

// Reads `[options] filename [nperm [seed]]`: options end at the first word
// that is not one (or at "--"); from there every word is positional, nperm
// and seed read like atoi (the run checks them). Fatal on a bad option or
// command line; with --help or --version the positional words are not
// looked at. argc and argv as main receives them.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The answers to --help and --version, on standard output.
void printHelp();
void printVersion();

}  // namespace tevrol
