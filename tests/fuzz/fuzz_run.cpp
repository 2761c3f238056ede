// Fuzzes a whole run from the bytes of a data file: option parser, reader,
// level coding, statistics and a short permutation run (100 permutations).
// The first byte picks how the permutations are computed (the automatic
// choice or one of the engine's modes) and the options before the file name
// (byte / 7 % 20, none for bytes below 7). Bytes after a line "=" are a
// sample sheet, given with --samples (for FASTA and VCF data).
// Every run is repeated with the literal N x N computation and the input
// options alone; where the options cannot change the report, the two outputs
// must agree byte for byte. The bytes are also read in small blocks, whose boundaries
// fall inside fields and line ends, and the table must be the one read in a
// single block. Output files go to /dev/null, never to the working folder.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "cli/command_run.h"
#include "cli/process_exit.h"
#include "data/data_table.h"
#include "data/fasta_reader.h"
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
  bool input;       // options of the input: the reference run takes them too
};

const OptionWords kOptions[20] = {
    {{}, true, false},
    {{"-t", "1"}, true, false},
    {{"--threads=2", "--no-progress"}, true, false},
    {{"--json", "/dev/null"}, true, false},
    {{"--null", "/dev/null", "--progress"}, true, false},
    {{"--json=/dev/null", "--null=/dev/null", "--"}, true, false},
    {{"-t1", "--nu", "/dev/null"}, true, false},
    {{"-t", "0"}, false, false},
    {{"--bogus"}, false, false},
    {{"-t"}, false, false},  // takes the file name as its value
    {{"--json", ""}, false, false},
    {{"--json", "/nonexistent/tevrol.json"}, false, false},
    {{"-V"}, false, false},
    {{"--help"}, false, false},
    {{"--haplotypes", "--max-missing", "0.5"}, true, true},
    {{"--progress=1", "-x"}, false, false},
    {{"--missing", "N,?,0"}, true, true},
    {{"--missing", ",1", "--max-missing", "0.5"}, true, true},
    {{"--max-missing", "0"}, true, true},
    {{"--factors", "a,b", "--missing=-"}, true, true},
};

// After this line, the rest of the input is the sample sheet of the data
// before it (given with --samples).
constexpr char kSheetMark[] = "\n=\n";

// Runs tevrol on the file with the engine and options; returns its output
// and status.
std::string runOnce(const char* path, const char* engine, const std::vector<const char*>& words,
                    int& status) {
  setenv("TEVROL_ENGINE", engine, 1);
  std::fflush(stdout);
  if (ftruncate(outputFd, 0) != 0 || lseek(outputFd, 0, SEEK_SET) != 0) std::abort();
  std::vector<const char*> argv = {"tevrol"};
  argv.insert(argv.end(), words.begin(), words.end());
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

// An alignment read in blocks of blockBytes and in one block: the same
// records and sites, or the same error.
std::string alignmentOf(const std::string& bytes, size_t blockBytes) {
  tevrol::FastaOptions options;
  options.file = "input";
  options.rule.kind = tevrol::MissingRule::Kind::AllBut;
  options.rule.texts = {"A", "C", "G", "T"};
  options.keep = [](const std::string& name) { return name.size() % 3 != 1; };
  try {
    tevrol::FastaParser parser(options);
    for (size_t at = 0; at < bytes.size(); at += blockBytes) {
      parser.feed(bytes.data() + at, std::min(blockBytes, bytes.size() - at));
    }
    const tevrol::FastaAlignment a = parser.finish();
    std::string out = std::to_string(a.sites) + " " + std::to_string(a.singleStateSites) + " " +
                      std::to_string(a.missingValues) + "\n";
    for (size_t k = 0; k < a.names.size(); ++k) out += a.names[k] + (a.kept[k] ? "+" : "-") + "\n";
    for (const tevrol::FastaSite& site : a.variable) {
      out += std::to_string(site.position) + ":";
      for (const std::string& t : site.texts) out += t;
      for (size_t r = 0; r < site.codes.size(); ++r) out += std::to_string(site.codes.at(r)) + ",";
      out += "\n";
    }
    return out;
  } catch (const tevrol::RunError& error) {
    return error.what();
  }
}

void compareAlignmentBlocks(const std::string_view body, size_t blockBytes) {
  if (body.empty() || body[0] != '>') return;
  const std::string bytes(body);
  if (alignmentOf(bytes, bytes.size()) != alignmentOf(bytes, blockBytes)) {
    std::fprintf(stderr, "alignment blocks of %zu bytes give another alignment\n", blockBytes);
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
  const OptionWords& options = kOptions[data[0] / 7 % 20];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t mark = bytes.find(kSheetMark);
  const std::string_view body = bytes.substr(0, mark);
  const int input = memfd_create("tevrol-input", 0);
  const int sheet = memfd_create("tevrol-sheet", 0);
  if (input < 0 || sheet < 0) std::abort();
  if (write(input, body.data(), body.size()) != static_cast<ssize_t>(body.size())) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(input);
  const std::string sheetPath = "/proc/self/fd/" + std::to_string(sheet);
  std::vector<const char*> words = options.words;
  std::vector<const char*> referenceWords;
  if (mark != std::string_view::npos) {
    const std::string_view rows = bytes.substr(mark + sizeof kSheetMark - 1);
    if (write(sheet, rows.data(), rows.size()) != static_cast<ssize_t>(rows.size())) std::abort();
    words.insert(words.begin(), {"--samples", sheetPath.c_str()});
    referenceWords = {"--samples", sheetPath.c_str()};
  }
  if (options.input) referenceWords = words;

  int status = 0;
  int referenceStatus = 0;
  const std::string out = runOnce(path.c_str(), engine, words, status);
  const std::string reference = runOnce(path.c_str(), "reference", referenceWords, referenceStatus);
  close(sheet);
  close(input);
  compareBlocks(reinterpret_cast<const uint8_t*>(body.data()), body.size(),
                static_cast<int32_t>(1 + (data[0] + size) % 67));
  compareAlignmentBlocks(body, 1 + (data[0] + size) % 13);
  if (options.sameReport && (status != referenceStatus || out != reference)) {
    std::fprintf(stderr, "engine %s and the reference disagree:\n%s\n---\n%s\n", engine,
                 out.c_str(), reference.c_str());
    std::abort();
  }
  return 0;
}
