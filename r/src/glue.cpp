// The package's side of the core: reads tables and runs the analysis,
// converting between R objects and the core's own. Nothing here prints or
// ends the process: errors of the core become R errors with their message.
#include <Rcpp.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "data/data_table.h"
#include "driver/analysis.h"
#include "driver/command_line.h"
#include "driver/run_result.h"
#include "driver/settings.h"
#include "permutation/random.h"

namespace {

// How often a running analysis looks for an interrupt from the user.
constexpr int32_t kInterruptPasses = 256;

// Runs body, turning the core's errors into R errors that carry the command
// line's message and no call.
template <typename Body>
auto guarded(const Body& body) -> decltype(body()) {
  try {
    return body();
  } catch (const tevrol::RunError& error) {
    throw Rcpp::exception(error.what(), false);
  } catch (const std::bad_alloc&) {
    throw Rcpp::exception("Not enough memory for this data set", false);
  }
}

// R's allocator raises an R error when memory runs out: a jump that would
// skip the destructors of the C++ objects around (a table, a report). R
// objects are therefore made under unwindProtect, which turns that jump into
// a C++ exception; Rcpp raises the R error again once they are gone. `make`
// must not throw.
template <typename Make>
SEXP makeR(const Make& make) {
  return Rcpp::unwindProtect([&]() -> SEXP { return make(); });
}

// R strings hold no NUL byte and at most 2^31 - 1 bytes.
void checkRString(const std::string& text, const std::string& what) {
  if (std::memchr(text.data(), '\0', text.size()) != nullptr) {
    tevrol::fatalError(what + " holds a NUL byte, which an R string cannot hold");
  }
  if (text.size() > static_cast<size_t>(INT32_MAX)) {
    tevrol::fatalError(what + " is too long for an R string");
  }
}

void checkRStrings(const std::vector<std::string>& texts, const std::string& what) {
  for (const std::string& text : texts) checkRString(text, what);
}

// Texts as R strings, byte for byte (checked by checkRString).
Rcpp::CharacterVector rStrings(const std::vector<std::string>& texts) {
  Rcpp::CharacterVector out(texts.size());
  for (size_t k = 0; k < texts.size(); ++k) {
    out[k] = Rf_mkCharLenCE(texts[k].data(), static_cast<int>(texts[k].size()), CE_NATIVE);
  }
  return out;
}

Rcpp::NumericVector rowValues(const std::array<double, 4>& row) {
  return Rcpp::NumericVector(row.begin(), row.end());
}

Rcpp::List anovaColumns(const tevrol::AnovaStats& s) {
  return Rcpp::List::create(Rcpp::_["df"] = rowValues(s.df), Rcpp::_["seq_ss"] = rowValues(s.seqSS),
                            Rcpp::_["adj_ss"] = rowValues(s.adjSS), Rcpp::_["ms"] = rowValues(s.MS),
                            Rcpp::_["F"] = rowValues(s.F), Rcpp::_["n"] = rowValues(s.n),
                            Rcpp::_["var"] = rowValues(s.var));
}

// The six tests in report order: type 0 XA, type 0 XB, type 1 XA, ...
Rcpp::List testColumns(const tevrol::RunResult& result) {
  Rcpp::NumericVector p(6);
  Rcpp::NumericVector se(6);
  Rcpp::LogicalVector bound(6);
  Rcpp::IntegerVector extreme(6);
  for (size_t t = 0; t < result.tests.size(); ++t) {
    for (size_t f = 0; f < 2; ++f) {
      const tevrol::FactorTest& factor = result.tests[t].factor[f];
      const size_t k = 2 * t + f;
      p[k] = factor.value.p;
      se[k] = factor.value.se;
      bound[k] = factor.value.bound;
      extreme[k] = static_cast<int>(factor.extreme);
    }
  }
  return Rcpp::List::create(Rcpp::_["p"] = p, Rcpp::_["se"] = se, Rcpp::_["bound"] = bound,
                            Rcpp::_["extreme"] = extreme);
}

Rcpp::List resultList(const tevrol::RunResult& result, const std::string& report) {
  return Rcpp::List::create(
      Rcpp::_["report"] = rStrings({report}), Rcpp::_["seed"] = static_cast<double>(result.seed),
      Rcpp::_["nperm"] = result.nperm,
      Rcpp::_["individuals"] = static_cast<int>(result.individuals),
      Rcpp::_["loci"] = static_cast<int>(result.loci),
      Rcpp::_["factors"] = rStrings({result.factors[0].name, result.factors[1].name}),
      Rcpp::_["levels"] = Rcpp::List::create(rStrings(result.factors[0].levels),
                                             rStrings(result.factors[1].levels)),
      Rcpp::_["sample_sizes"] =
          Rcpp::IntegerVector(result.sampleSizes.begin(), result.sampleSizes.end()),
      Rcpp::_["anova"] = anovaColumns(result.anova), Rcpp::_["tests"] = testColumns(result));
}

}  // namespace

// Fails with the command line's message unless nperm is a count of
// permutations it accepts.
// [[Rcpp::export(rng = false)]]
void check_nperm(double nperm) {
  guarded([&] {
    tevrol::checkPermutationCount(static_cast<int64_t>(std::max(-1e12, std::min(nperm, 1e12))));
  });
}

// The header names and the columns of a table file, each column a
// character vector.
// [[Rcpp::export(rng = false)]]
Rcpp::List read_table(const std::string& path) {
  return guarded([&] {
    tevrol::DataTable table(tevrol::kReadBlockBytes);
    table.read(path);
    std::vector<std::string> names;
    for (int32_t c = 0; c < table.columnCount(); ++c) {
      names.push_back(table.fieldNames(c));
      checkRString(names.back(), "The header");
      checkRStrings(table.distinctValues(c), "Column " + names.back());
    }
    return Rcpp::List(makeR([&] {
      Rcpp::List columns(static_cast<size_t>(table.columnCount()));
      for (int32_t c = 0; c < table.columnCount(); ++c) {
        // Each distinct text is made once; cells share it.
        const Rcpp::CharacterVector texts = rStrings(table.distinctValues(c));
        Rcpp::CharacterVector column(static_cast<size_t>(table.rowCount()));
        for (int32_t r = 0; r < table.rowCount(); ++r) {
          SET_STRING_ELT(column, r, STRING_ELT(texts, table.code(r, c)));
        }
        columns[c] = column;
      }
      return Rcpp::List::create(Rcpp::_["names"] = rStrings(names), Rcpp::_["columns"] = columns);
    }));
  });
}

// The whole analysis of the columns: character vectors of equal length in
// UTF-8, without missing values, nperm a whole number, seed (NULL or a whole
// number from -2^31 to 2^31 - 1) and threads (NULL or 1 ... 256), all
// checked by the R side. null_xa and null_xb receive the permuted F values
// when of length 3 nperm: R objects are made before any C++ object that a
// failed allocation would leave behind.
// [[Rcpp::export(rng = false)]]
Rcpp::List run_analysis(const Rcpp::List& columns, const Rcpp::CharacterVector& names, double nperm,
                        Rcpp::Nullable<Rcpp::NumericVector> seed,
                        Rcpp::Nullable<Rcpp::NumericVector> threads, Rcpp::NumericVector null_xa,
                        Rcpp::NumericVector null_xb) {
  const bool hasSeed = seed.isNotNull();
  const double seedValue = hasSeed ? Rcpp::NumericVector(seed)[0] : 0;
  const int threadCount =
      threads.isNotNull() ? static_cast<int>(Rcpp::NumericVector(threads)[0]) : 0;
  check_nperm(nperm);
  return guarded([&] {
    tevrol::Options options;
    options.threads = threadCount;
    const tevrol::Settings settings = tevrol::readSettings(options);
    tevrol::Random random;
    if (hasSeed) random.setSeed(static_cast<int32_t>(seedValue));

    if (names.size() != columns.size()) tevrol::fatalError("Every column must have a name");
    std::vector<std::string> header;
    std::vector<SEXP> texts;
    for (R_xlen_t c = 0; c < columns.size(); ++c) {
      header.emplace_back(CHAR(STRING_ELT(names, c)));
      texts.push_back(columns[c]);
    }
    const R_xlen_t rows = texts.empty() ? 0 : Rf_xlength(texts[0]);
    for (const SEXP column : texts) {
      // Cells are read below without bounds checks.
      if (TYPEOF(column) != STRSXP || Rf_xlength(column) != rows || rows > INT32_MAX) {
        tevrol::fatalError("Columns must be character vectors of one length");
      }
    }
    tevrol::RunResult result;
    result.nperm = static_cast<int32_t>(nperm);
    result.seed = random.getSeed();
    const bool keepNull = null_xa.size() == 3 * static_cast<R_xlen_t>(result.nperm) &&
                          null_xb.size() == null_xa.size();
    double* nullXA = keepNull ? null_xa.begin() : nullptr;
    double* nullXB = keepNull ? null_xb.begin() : nullptr;
    std::string report;
    {
      tevrol::DataTable table(tevrol::kReadBlockBytes);
      table.assign(header, static_cast<int32_t>(rows), [&](int32_t r, int32_t c) {
        const SEXP text = STRING_ELT(texts[static_cast<size_t>(c)], r);
        return std::string_view(CHAR(text), static_cast<size_t>(LENGTH(text)));
      });
      tevrol::analyseTable(
          table, settings, random, result, [&](const std::string& text) { report += text; },
          [&](int32_t pass, const tevrol::AnovaStats& s) {
            if (keepNull) {
              nullXA[pass] = s.F[tevrol::XA];
              nullXB[pass] = s.F[tevrol::XB];
            }
            if (pass % kInterruptPasses == 0) Rcpp::checkUserInterrupt();
          });
    }
    checkRString(report, "The report");
    return Rcpp::List(makeR([&] { return resultList(result, report); }));
  });
}
