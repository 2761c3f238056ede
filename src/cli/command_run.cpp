#include "cli/command_run.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "base/fatal.h"
#include "cli/command_line.h"
#include "cli/output_file.h"
#include "cli/process_exit.h"
#include "cli/progress.h"
#include "run/result_writers.h"
#include "run/run.h"
#include "run/run_result.h"

namespace tevrol {

namespace {

// How often a streamed null file is checked for a failed write.
constexpr int32_t kNullCheckPasses = 1 << 16;

void writeText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

bool showProgress(const Options& options) {
  if (options.progress == ProgressMode::Automatic) return isatty(STDERR_FILENO) == 1;
  return options.progress == ProgressMode::On;
}

// The output files of a run: created at the start, the null file streamed
// pass by pass, both completed and moved into place only at the end.
class RunOutputs {
 public:
  RunOutputs(const Options& options, const std::string& input) {
    refuseClashes(options, input);
    if (!options.jsonPath.empty()) json_ = std::make_unique<OutputFile>(options.jsonPath);
    if (!options.nullPath.empty()) null_ = std::make_unique<OutputFile>(options.nullPath);
  }

  // What is done with every permuted pass.
  PassSink passObserver(Progress& progress) {
    return [this, &progress](int32_t pass, const AnovaStats& s) {
      progress.onPass(pass);
      if (!null_) return;
      if (pass == 0) writeNullHeader(null_->stream());
      writeNullLine(null_->stream(), pass, PassF{s.F[XA], s.F[XB]});
      if (pass % kNullCheckPasses == 0) null_->checkWrites();
    };
  }

  void complete(const RunResult& result) {
    // A report that could not be written fails the run: its files must not
    // appear as if it had completed (finishRun says why and removes them).
    if (!flushStdout()) finishRun(0);
    // The null file first: a disk it filled is its failure, not the JSON's.
    if (null_) null_->finish();
    if (json_) {
      const std::string text = renderJson(result);
      std::fwrite(text.data(), 1, text.size(), json_->stream());
      json_->finish();
    }
    if (json_) json_->commit();
    if (null_) null_->commit();
  }

 private:
  // An output must never replace the data it is computed from, nor the other
  // output: one of the two would be lost after a run that reports success.
  static void refuseClashes(const Options& options, const std::string& input) {
    for (const auto& [option, path] :
         {std::pair{"--json", options.jsonPath}, std::pair{"--null", options.nullPath}}) {
      if (!path.empty() && replacesInput(path, input)) {
        fatalError(std::string("Option ") + option + " would overwrite the input file");
      }
      if (!path.empty() && !options.input.samples.empty() &&
          replacesInput(path, options.input.samples)) {
        fatalError(std::string("Option ") + option + " would overwrite the sample sheet");
      }
    }
    if (!options.jsonPath.empty() && !options.nullPath.empty() &&
        namesSameRegularFile(options.jsonPath, options.nullPath)) {
      fatalError("Options --json and --null name the same file");
    }
  }

  std::unique_ptr<OutputFile> json_;
  std::unique_ptr<OutputFile> null_;
};

// The run of the command line; errors are thrown.
int runCommandLine(int argc, const char* const* argv) {
  const CommandLine line = parseCommandLine(argc, argv);
  if (line.options.help || line.options.version) {
    line.options.help ? printHelp() : printVersion();
    return 0;
  }
  RunRequest request;
  request.file = line.filename;
  request.nperm = line.nperm;
  request.hasSeed = line.hasSeed;
  request.seed = line.seed;
  request.threads = line.options.threads;
  request.input = line.options.input;
  request.interaction = line.options.interaction;
  request.effects = line.options.effects;
  request.pairwise = line.options.pairwise;
  const Run run(std::move(request));
  // Outputs are created before anything is read: a bad path fails at once,
  // not after the permutations.
  RunOutputs outputs(line.options, line.filename);
  Progress progress(int64_t{kPermutationTypes} * run.nperm(), showProgress(line.options),
                    isatty(STDERR_FILENO) == 1);
  RunSinks sinks;
  sinks.preamble = writeText;
  sinks.report = [&progress](const std::string& text) {
    // A progress line on a terminal is taken back before the report goes on.
    progress.finish();
    writeText(text);
  };
  sinks.onPass = outputs.passObserver(progress);
  sinks.notice = [&progress](const std::string& text) {
    progress.finish();
    std::fprintf(stderr, "tevrol: %s\n", text.c_str());
  };
  outputs.complete(run.execute(sinks));
  return 0;
}

}  // namespace

int run(int argc, const char* const* argv) {
  try {
    return runCommandLine(argc, argv);
  } catch (const RunError& error) {
    writeText(error.report());
    if (!error.reason().empty()) std::fprintf(stderr, "tevrol: %s\n", error.reason().c_str());
  } catch (const std::bad_alloc&) {
    writeText("ERROR: Not enough memory for this data set\n");
  }
  return kFatalStatus;
}

}  // namespace tevrol
