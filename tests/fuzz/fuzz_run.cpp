// Fuzzes a whole run from the bytes of a data file: option parser, reader,
// level coding, statistics and a short permutation run (100 permutations).
// The first byte picks how the permutations are computed (the automatic
// choice or one of the engine's modes) and the options before the file name
// (byte / 7 % 16, none for bytes below 7).
// Every run is repeated without options with the literal N x N computation;
// where the options cannot change the report, the two outputs must agree
// byte for byte. The bytes are also read in small blocks, whose boundaries
// fall inside fields and line ends, and the table must be the one read in a
// single block. Output files go to /dev/null, never to the working folder.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "cli/command_run.h"
#include "cli/process_exit.h"
#include "data/data_table.h"
#include "engine/engine_modes.h"

namespace {

struct ExitCalled {
  int status;
};

[[noreturn]] void throwOnExit(int status) {
  throw ExitCalled{status};
}

int outputFd = -1;

struct OptionWords {
  std::vector<const char*> words;
  bool sameReport;  // false: an error, help or version instead of the report
};

const OptionWords kOptions[16] = {
    {{}, true},
    {{"-t", "1"}, true},
    {{"--threads=2", "--no-progress"}, true},
    {{"--json", "/dev/null"}, true},
    {{"--null", "/dev/null", "--progress"}, true},
    {{"--json=/dev/null", "--null=/dev/null", "--"}, true},
    {{"-t1", "--nu", "/dev/null"}, true},
    {{"-t", "0"}, false},
    {{"--bogus"}, false},
    {{"-t"}, false},  // takes the file name as its value
    {{"--json", ""}, false},
    {{"--json", "/nonexistent/tevrol.json"}, false},
    {{"-V"}, false},
    {{"--help"}, false},
    {{"--n", "/dev/null"}, false},
    {{"--progress=1", "-x"}, false},
};

// Runs tevrol on the file with the engine and options; returns its output
// and status.
std::string runOnce(const char* path, const char* engine, const OptionWords& options, int& status) {
  setenv("TEVROL_ENGINE", engine, 1);
  std::fflush(stdout);
  if (ftruncate(outputFd, 0) != 0 || lseek(outputFd, 0, SEEK_SET) != 0) std::abort();
  std::vector<const char*> argv = {"tevrol"};
  argv.insert(argv.end(), options.words.begin(), options.words.end());
  argv.insert(argv.end(), {path, "100", "-1"});
  try {
    status = tevrol::run(static_cast<int>(argv.size()), argv.data());
  } catch (const ExitCalled& exit) {
    status = exit.status;
  }
  std::fflush(stdout);
  std::string out;
  char chunk[4096];
  if (lseek(outputFd, 0, SEEK_SET) != 0) std::abort();
  for (ssize_t got; (got = read(outputFd, chunk, sizeof chunk)) > 0;)
    out.append(chunk, size_t(got));
  return out;
}

bool sameTable(const tevrol::DataTable& a, const tevrol::DataTable& b) {
  if (a.columnCount() != b.columnCount() || a.rowCount() != b.rowCount()) return false;
  for (int32_t c = 0; c < a.columnCount(); ++c) {
    if (a.fieldNames(c) != b.fieldNames(c) || a.distinctValues(c) != b.distinctValues(c)) {
      return false;
    }
    for (int32_t r = 0; r < a.rowCount(); ++r) {
      if (a.code(r, c) != b.code(r, c)) return false;
    }
  }
  return true;
}

// The table of the bytes read in blocks of blockBytes and in one block.
void compareBlocks(const uint8_t* data, size_t size, int32_t blockBytes) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  tevrol::DataTable whole(1 << 20);
  tevrol::DataTable pieces(blockBytes);
  try {
    whole.parse(bytes);
    pieces.parse(bytes);
  } catch (const tevrol::RunError&) {
    return;  // too large for memory here; the runs above cover the message
  }
  if (!sameTable(whole, pieces)) {
    std::fprintf(stderr, "blocks of %d bytes give another table\n", blockBytes);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tevrol::setExitHook(throwOnExit);
  setenv("TEVROL_THREADS", "1", 1);
  outputFd = memfd_create("tevrol-output", 0);
  if (outputFd < 0 || dup2(outputFd, STDOUT_FILENO) < 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The automatic choice, then every mode of the table.
  const auto& modes = tevrol::engineModes();
  const size_t pick = data[0] % (modes.size() + 1);
  const char* engine = pick == 0 ? tevrol::kAutomaticEngine : modes[pick - 1].name;
  const OptionWords& options = kOptions[data[0] / 7 % 16];
  const int input = memfd_create("tevrol-input", 0);
  if (input < 0) std::abort();
  if (size > 1 && write(input, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(input);

  int status = 0;
  int referenceStatus = 0;
  const std::string out = runOnce(path.c_str(), engine, options, status);
  const std::string reference = runOnce(path.c_str(), "reference", kOptions[0], referenceStatus);
  close(input);
  compareBlocks(data + 1, size - 1, static_cast<int32_t>(1 + (data[0] + size) % 67));
  if (options.sameReport && (status != referenceStatus || out != reference)) {
    std::fprintf(stderr, "engine %s and the reference disagree:\n%s\n---\n%s\n", engine,
                 out.c_str(), reference.c_str());
    std::abort();
  }
  return 0;
}
