// The package's side of the core: reads inputs and runs the analysis,
// converting between Python objects and the core's own. The core runs on a
// thread of its own with the GIL released, while the calling thread watches
// for Ctrl-C. Nothing here prints or ends the process: errors of the core
// become tevrol.Error with the command line's message.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/fatal.h"
#include "data/data_table.h"
#include "run/result_writers.h"
#include "run/run.h"
#include "run/run_result.h"

namespace py = pybind11;

namespace {

// How often the calling thread looks for a signal while the core works.
constexpr auto kSignalPoll = std::chrono::milliseconds(50);
// The text a missing value (None, NaN) of a data frame stands for in the
// core; listed among the missing texts only when some cell has it.
const std::string kMissingText("\0NA", 3);

py::handle errorType;  // tevrol.Error, made at import and never freed

[[noreturn]] void raiseError(const std::string& message) {
  PyErr_SetString(errorType.ptr(), message.c_str());
  throw py::error_already_set();
}

// Runs body() on a thread of its own with the GIL released and returns its
// value. Every kSignalPoll the calling thread runs Python's signal handlers;
// when one raises (KeyboardInterrupt on Ctrl-C) `cancel` is set, the core
// stops at its next pass, and that exception is raised here. Errors of the
// core are raised as tevrol.Error.
template <typename T, typename Body>
T runReleased(const Body& body, std::atomic<bool>& cancel) {
  std::optional<T> value;
  std::exception_ptr failure;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  PyObject* signalError[3] = {nullptr, nullptr, nullptr};
  {
    py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        value.emplace(body());
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard<std::mutex> lock(mutex);
      done = true;
      finished.notify_one();
    });
    std::unique_lock<std::mutex> lock(mutex);
    while (!finished.wait_for(lock, kSignalPoll, [&done] { return done; })) {
      if (signalError[0] != nullptr) continue;
      lock.unlock();
      {
        py::gil_scoped_acquire acquire;
        if (PyErr_CheckSignals() != 0)
          PyErr_Fetch(&signalError[0], &signalError[1], &signalError[2]);
      }
      if (signalError[0] != nullptr) cancel.store(true);
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (signalError[0] != nullptr) {
    PyErr_Restore(signalError[0], signalError[1], signalError[2]);
    throw py::error_already_set();
  }
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const tevrol::RunError& error) {
      if (error.reason().empty()) raiseError(error.what());
      raiseError(std::string(error.what()) + " (" + error.reason() + ")");
    } catch (const std::bad_alloc&) {
      raiseError("Not enough memory for this data set");
    }
  }
  return std::move(*value);
}

// An array of integer codes as the core reads it, without the GIL: where it
// lies, its element size and the byte steps along its two axes.
struct IntegerArray {
  const char* data = nullptr;
  int size = 1;  // bytes per element: 1, 2, 4 or 8
  int64_t rows = 0;
  int64_t columns = 1;
  ptrdiff_t rowStep = 0;
  ptrdiff_t columnStep = 0;

  int64_t at(int64_t r, int64_t c) const {
    const char* p = data + r * rowStep + c * columnStep;
    switch (size) {
      case 1:
        return *reinterpret_cast<const int8_t*>(p);
      case 2:
        return *reinterpret_cast<const int16_t*>(p);
      case 4:
        return *reinterpret_cast<const int32_t*>(p);
      default:
        return *reinterpret_cast<const int64_t*>(p);
    }
  }
};

IntegerArray integerArray(const py::array& array, const char* what) {
  const py::dtype type = array.dtype();
  const auto size = static_cast<int>(type.itemsize());
  if (type.kind() != 'i' || (size != 1 && size != 2 && size != 4 && size != 8)) {
    raiseError(std::string(what) + " must be integers (int8, int16, int32 or int64)");
  }
  if (array.ndim() < 1 || array.ndim() > 2) {
    raiseError(std::string(what) + " must be a " + (array.ndim() < 1 ? "1-D" : "2-D") + " array");
  }
  IntegerArray out;
  out.data = static_cast<const char*>(array.data());
  out.size = size;
  out.rows = array.shape(0);
  out.rowStep = array.strides(0);
  if (array.ndim() == 2) {
    out.columns = array.shape(1);
    out.columnStep = array.strides(1);
  }
  return out;
}

// Numbers the values of one column in order of first appearance, as the
// table of a file numbers its texts. Values near zero (allele codes) are
// looked up directly, others in a map.
class FirstSeen {
 public:
  FirstSeen() : direct_(kHigh - kLow, -1) {}

  uint32_t codeOf(int64_t value) {
    if (value >= kLow && value < kHigh) {
      const int32_t code = direct_[static_cast<size_t>(value - kLow)];
      if (code >= 0) return static_cast<uint32_t>(code);
    }
    int32_t* slot = nullptr;
    if (value >= kLow && value < kHigh) {
      slot = &direct_[static_cast<size_t>(value - kLow)];
    } else {
      slot = &others_.try_emplace(value, -1).first->second;
    }
    if (*slot < 0) {
      *slot = static_cast<int32_t>(values_.size());
      values_.push_back(value);
    }
    return static_cast<uint32_t>(*slot);
  }

  const std::vector<int64_t>& values() const { return values_; }

  void clear() {
    for (const int64_t value : values_) {
      if (value >= kLow && value < kHigh) direct_[static_cast<size_t>(value - kLow)] = -1;
    }
    others_.clear();
    values_.clear();
  }

 private:
  static constexpr int64_t kLow = -128;
  static constexpr int64_t kHigh = 384;
  std::vector<int32_t> direct_;
  std::unordered_map<int64_t, int32_t> others_;
  std::vector<int64_t> values_;
};

// Appends columns [first, first + count) of `codes` (elements of type T) to
// the table, the columns of one tile together: each row of the tile is read
// in one sweep. textOf(column, value) gives the text of a code.
template <typename T, typename TextOf>
void appendTile(tevrol::DataTable& table, const IntegerArray& codes, int64_t first, int64_t count,
                std::vector<FirstSeen>& seen, std::vector<std::string>& names,
                const TextOf& textOf) {
  std::vector<tevrol::CodeColumn> columns(static_cast<size_t>(count));
  for (tevrol::CodeColumn& column : columns) column.reserve(static_cast<size_t>(codes.rows));
  const char* row = codes.data + first * codes.columnStep;
  for (int64_t r = 0; r < codes.rows; ++r, row += codes.rowStep) {
    const char* cell = row;
    for (size_t k = 0; k < columns.size(); ++k, cell += codes.columnStep) {
      T value;
      std::memcpy(&value, cell, sizeof value);
      columns[k].push(seen[k].codeOf(value));
    }
  }
  for (int64_t k = 0; k < count; ++k) {
    FirstSeen& values = seen[static_cast<size_t>(k)];
    std::vector<std::string> texts;
    texts.reserve(values.values().size());
    for (const int64_t value : values.values()) texts.push_back(textOf(first + k, value));
    table.appendColumn(std::move(names[static_cast<size_t>(first + k)]), texts,
                       std::move(columns[static_cast<size_t>(k)]));
    values.clear();
  }
}

// Appends every column of `codes` (rows: individuals) to the table. Columns
// whose cells lie next to each other are taken one at a time, others in
// tiles of 64, so that memory is read in order either way.
template <typename TextOf>
void appendColumns(tevrol::DataTable& table, const IntegerArray& codes,
                   std::vector<std::string> names, const TextOf& textOf) {
  const int64_t tile =
      codes.columns == 1 || std::abs(codes.rowStep) <= std::abs(codes.columnStep) ? 1 : int64_t{64};
  std::vector<FirstSeen> seen(static_cast<size_t>(tile));
  for (int64_t first = 0; first < codes.columns; first += tile) {
    const int64_t count = std::min(tile, codes.columns - first);
    switch (codes.size) {
      case 1:
        appendTile<int8_t>(table, codes, first, count, seen, names, textOf);
        break;
      case 2:
        appendTile<int16_t>(table, codes, first, count, seen, names, textOf);
        break;
      case 4:
        appendTile<int32_t>(table, codes, first, count, seen, names, textOf);
        break;
      default:
        appendTile<int64_t>(table, codes, first, count, seen, names, textOf);
    }
  }
}

// One column of a data frame: its name, its codes (-1: missing) and the
// text of each code.
struct Column {
  std::string name;
  IntegerArray codes;
  std::vector<std::string> texts;
};

std::vector<Column> frameColumns(const py::list& columns) {
  std::vector<Column> out;
  for (const py::handle item : columns) {
    const auto tuple = item.cast<py::tuple>();
    Column column;
    column.name = tuple[0].cast<std::string>();
    column.codes = integerArray(tuple[1].cast<py::array>(), "Codes");
    if (column.codes.rows > INT32_MAX) raiseError("Too many individuals");
    column.texts = tuple[2].cast<std::vector<std::string>>();
    out.push_back(std::move(column));
  }
  return out;
}

// Appends columns of a data frame; true when some cell is missing.
bool appendFrameColumns(tevrol::DataTable& table, std::vector<Column>& columns) {
  bool anyMissing = false;
  for (Column& column : columns) {
    const int64_t known = static_cast<int64_t>(column.texts.size());
    for (int64_t r = 0; r < column.codes.rows; ++r) {
      const int64_t code = column.codes.at(r, 0);
      if (code >= known || code < -1)
        tevrol::fatalError("Column " + column.name + " has a code out of range");
      anyMissing = anyMissing || code < 0;
    }
    appendColumns(table, column.codes, {column.name}, [&column](int64_t, int64_t code) {
      return code < 0 ? kMissingText : column.texts[static_cast<size_t>(code)];
    });
  }
  return anyMissing;
}

struct Request {
  int64_t nperm = 0;
  std::optional<int32_t> seed;
  int threads = 0;
  bool hasMissing = false;
  std::vector<std::string> missing;
  double maxMissing = 1.0;
  bool keepNull = false;
  // The blocks after the P values: interaction, effects, pairwise.
  std::array<bool, 3> blocks{};
};

tevrol::RunRequest coreRequest(const Request& request) {
  tevrol::RunRequest out;
  out.nperm = request.nperm;
  out.hasSeed = request.seed.has_value();
  out.seed = request.seed.value_or(0);
  out.threads = request.threads;
  out.input.hasMissing = request.hasMissing;
  out.input.missing = request.missing;
  out.input.maxMissing = request.maxMissing;
  out.interaction = request.blocks[0];
  out.effects = request.blocks[1];
  out.pairwise = request.blocks[2];
  return out;
}

// What a run gives Python: texts as bytes, the result as the JSON text the
// command line writes.
struct Outcome {
  tevrol::RunResult result;
  std::string report;
  std::string json;
  std::vector<double> nullF;  // F_XA, F_XB of each pass, in pass order
  std::vector<std::string> notes;
};

Outcome execute(tevrol::RunRequest request, bool keepNull, const std::atomic<bool>& cancel) {
  Outcome out;
  request.cancel = &cancel;
  const tevrol::Run run(std::move(request));
  if (keepNull) out.nullF.resize(size_t{6} * static_cast<size_t>(run.nperm()));
  tevrol::RunSinks sinks;
  sinks.report = [&out](const std::string& text) { out.report += text; };
  if (keepNull) {
    sinks.onPass = [&out](int32_t pass, const tevrol::AnovaStats& s) {
      out.nullF[2 * static_cast<size_t>(pass)] = s.F[tevrol::XA];
      out.nullF[2 * static_cast<size_t>(pass) + 1] = s.F[tevrol::XB];
    };
  }
  sinks.notice = [&out](const std::string& text) { out.notes.push_back(text); };
  out.result = run.execute(sinks);
  out.json = tevrol::renderJson(out.result);
  return out;
}

py::bytes bytesOf(const std::string& text) {
  return py::bytes(text.data(), text.size());
}

py::list bytesList(const std::vector<std::string>& texts) {
  py::list out;
  for (const std::string& text : texts) out.append(bytesOf(text));
  return out;
}

py::dict toPython(Outcome& outcome) {
  py::dict out;
  out["json"] = py::str(outcome.json);
  out["report"] = bytesOf(outcome.report);
  py::list factors;
  py::list levels;
  for (const tevrol::FactorLevels& factor : outcome.result.factors) {
    factors.append(bytesOf(factor.name));
    levels.append(bytesList(factor.levels));
  }
  out["factors"] = factors;
  out["levels"] = levels;
  out["notes"] = bytesList(outcome.notes);
  if (outcome.nullF.empty()) {
    out["null"] = py::none();
  } else {
    py::array_t<double> null({static_cast<py::ssize_t>(outcome.nullF.size() / 2), py::ssize_t{2}});
    std::memcpy(null.mutable_data(), outcome.nullF.data(), outcome.nullF.size() * sizeof(double));
    out["null"] = null;
  }
  return out;
}

Request makeRequest(int64_t nperm, std::optional<int32_t> seed, int threads,
                    std::optional<std::vector<std::string>> missing, double maxMissing,
                    bool keepNull, const std::array<bool, 3>& blocks) {
  Request request;
  request.nperm = nperm;
  request.seed = seed;
  request.threads = threads;
  request.hasMissing = missing.has_value();
  if (missing) request.missing = *missing;
  request.maxMissing = maxMissing;
  request.keepNull = keepNull;
  request.blocks = blocks;
  return request;
}

// The command line's run of a file.
py::dict runFile(const std::string& path, const std::string& samples,
                 const std::vector<std::string>& factors, bool haplotypes,
                 const std::vector<std::string>& regions, const Request& request) {
  std::atomic<bool> cancel{false};
  tevrol::RunRequest core = coreRequest(request);
  core.file = path;
  core.input.samples = samples;
  core.input.factors = factors;
  core.input.haplotypes = haplotypes;
  core.input.regions = regions;
  Outcome outcome = runReleased<Outcome>(
      [&] { return execute(std::move(core), request.keepNull, cancel); }, cancel);
  return toPython(outcome);
}

// A data frame's columns: (name, codes, texts) each, the factors first.
// Missing cells (code -1) count as missing values when `missing` is given.
py::dict runFrame(const py::list& columns, const Request& request) {
  std::vector<Column> frame = frameColumns(columns);
  std::atomic<bool> cancel{false};
  Outcome outcome = runReleased<Outcome>(
      [&] {
        tevrol::DataTable table(tevrol::kReadBlockBytes);
        tevrol::RunRequest core = coreRequest(request);
        if (appendFrameColumns(table, frame) && request.hasMissing) {
          core.input.missing.push_back(kMissingText);
        }
        core.table = &table;
        return execute(std::move(core), request.keepNull, cancel);
      },
      cancel);
  return toPython(outcome);
}

// Two factor columns and a matrix of allele codes, individuals x loci or
// (sitesFirst) loci x individuals; negative codes are missing values. The
// table is the one a file with the codes as texts makes, and the negative
// codes present are named missing.
py::dict runCodes(const py::list& factorColumns, const py::array& matrix, bool sitesFirst,
                  const Request& request) {
  std::vector<Column> factors = frameColumns(factorColumns);
  IntegerArray codes = integerArray(matrix, "codes");
  if (matrix.ndim() != 2) raiseError("codes must be a 2-D array");
  if (sitesFirst) {
    std::swap(codes.rows, codes.columns);
    std::swap(codes.rowStep, codes.columnStep);
  }
  if (codes.rows != factors[0].codes.rows) {
    raiseError("codes must have one " + std::string(sitesFirst ? "column" : "row") +
               " per individual: " + std::to_string(codes.rows) + " for " +
               std::to_string(factors[0].codes.rows) + " factor levels");
  }
  if (codes.columns > INT32_MAX - 2) raiseError("codes has too many loci");
  std::atomic<bool> cancel{false};
  Outcome outcome = runReleased<Outcome>(
      [&] {
        tevrol::DataTable table(tevrol::kReadBlockBytes);
        if (appendFrameColumns(table, factors)) {
          tevrol::fatalError("A factor has a missing value");
        }
        std::vector<std::string> names;
        for (int64_t c = 0; c < codes.columns; ++c) names.push_back("L" + std::to_string(c + 1));
        std::vector<uint8_t> negative(129, 0);  // -1 ... -128 seen
        std::vector<int64_t> lower;             // below -128
        appendColumns(table, codes, std::move(names), [&](int64_t, int64_t value) {
          if (value < 0 && value >= -128) negative[static_cast<size_t>(-value)] = 1;
          if (value < -128) lower.push_back(value);
          return std::to_string(value);
        });
        tevrol::RunRequest core = coreRequest(request);
        std::sort(lower.begin(), lower.end());
        lower.erase(std::unique(lower.begin(), lower.end()), lower.end());
        for (int64_t k = 1; k <= 128; ++k) {
          if (negative[static_cast<size_t>(k)] != 0)
            core.input.missing.push_back(std::to_string(-k));
        }
        for (auto it = lower.rbegin(); it != lower.rend(); ++it) {
          core.input.missing.push_back(std::to_string(*it));
        }
        core.input.hasMissing = !core.input.missing.empty();
        core.table = &table;
        return execute(std::move(core), request.keepNull, cancel);
      },
      cancel);
  return toPython(outcome);
}

// An input as the command line reads it: the header names, and for every
// column kept its codes (-1 where missing, in a type wide enough) and the
// texts of its codes. Loci with too many missing values are left out.
py::dict readFile(const std::string& path, const std::string& samples,
                  const std::vector<std::string>& factors,
                  std::optional<std::vector<std::string>> missing, double maxMissing,
                  bool haplotypes, const std::vector<std::string>& regions) {
  struct Read {
    tevrol::DataTable table{tevrol::kReadBlockBytes};
    tevrol::InputSummary summary;
    std::vector<std::string> notes;
  };
  std::atomic<bool> cancel{false};
  auto read = runReleased<std::unique_ptr<Read>>(
      [&] {
        auto out = std::make_unique<Read>();
        tevrol::InputOptions options;
        options.samples = samples;
        options.factors = factors;
        options.hasMissing = missing.has_value();
        if (missing) options.missing = *missing;
        options.maxMissing = maxMissing;
        options.haplotypes = haplotypes;
        options.regions = regions;
        tevrol::readInput(path, options, out->table, out->summary,
                          [&out](const std::string& note) { out->notes.push_back(note); });
        tevrol::checkTable(out->table, out->summary);
        return out;
      },
      cancel);
  const tevrol::DataTable& table = read->table;
  const int32_t rows = table.rowCount();
  py::list names;
  py::list columns;
  for (int32_t c = 0; c < table.columnCount(); ++c) {
    const std::vector<std::string>& texts = table.distinctValues(c);
    // New codes: missing texts -1, the others numbered in their order.
    std::vector<int32_t> newCode(texts.size(), -1);
    std::vector<std::string> kept;
    for (size_t t = 0; t < texts.size(); ++t) {
      if (c < 2 || !read->summary.missing.isMissing(texts[t])) {
        newCode[t] = static_cast<int32_t>(kept.size());
        kept.push_back(texts[t]);
      }
    }
    int64_t missingCount = 0;
    const auto fill = [&](auto codes) {
      using Out = typename decltype(codes)::value_type;
      Out* out = codes.mutable_data();
      tevrol::visitCodes(table.codes(c), [&](const auto* in) {
        for (int32_t r = 0; r < rows; ++r) {
          const int32_t code = newCode[in[r]];
          missingCount += code < 0;
          out[r] = static_cast<Out>(code);
        }
      });
      return py::array(codes);
    };
    const auto size = static_cast<py::ssize_t>(rows);
    const py::array codes = kept.size() < 128     ? fill(py::array_t<int8_t>(size))
                            : kept.size() < 32768 ? fill(py::array_t<int16_t>(size))
                                                  : fill(py::array_t<int32_t>(size));
    if (c >= 2 && static_cast<double>(missingCount) / rows > maxMissing) continue;
    names.append(bytesOf(table.fieldNames(c)));
    columns.append(py::make_tuple(codes, bytesList(kept)));
  }
  py::dict out;
  out["names"] = names;
  out["columns"] = columns;
  out["notes"] = bytesList(read->notes);
  return out;
}

}  // namespace

PYBIND11_MODULE(_core, module) {
  module.doc() = "The C++ core of tevrol";
  static py::exception<tevrol::RunError> error(module, "Error", PyExc_ValueError);
  errorType = error;
  module.attr("version") = TEVROL_VERSION;
  module.def("check_nperm", [](int64_t nperm) {
    try {
      tevrol::checkPermutationCount(nperm);
    } catch (const tevrol::RunError& e) {
      raiseError(e.what());
    }
  });
  module.def("run_file", [](const std::string& path, const std::string& samples,
                            const std::vector<std::string>& factors, int64_t nperm,
                            std::optional<int32_t> seed, int threads,
                            std::optional<std::vector<std::string>> missing, double maxMissing,
                            bool keepNull, const std::array<bool, 3>& blocks, bool haplotypes,
                            const std::vector<std::string>& regions) {
    return runFile(path, samples, factors, haplotypes, regions,
                   makeRequest(nperm, seed, threads, std::move(missing), maxMissing, keepNull,
                               blocks));
  });
  module.def("run_frame", [](const py::list& columns, int64_t nperm, std::optional<int32_t> seed,
                             int threads, std::optional<std::vector<std::string>> missing,
                             double maxMissing, bool keepNull, const std::array<bool, 3>& blocks) {
    return runFrame(columns, makeRequest(nperm, seed, threads, std::move(missing), maxMissing,
                                         keepNull, blocks));
  });
  module.def("run_codes", [](const py::list& factors, const py::array& codes, bool sitesFirst,
                             int64_t nperm, std::optional<int32_t> seed, int threads,
                             double maxMissing, bool keepNull, const std::array<bool, 3>& blocks) {
    return runCodes(factors, codes, sitesFirst,
                    makeRequest(nperm, seed, threads, std::nullopt, maxMissing, keepNull, blocks));
  });
  module.def("read", &readFile);
}
