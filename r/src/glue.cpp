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

// Texts as R strings, byte for byte. R strings cannot hold a NUL byte.
Rcpp::CharacterVector rStrings(const std::vector<std::string>& texts, const std::string& column) {
  Rcpp::CharacterVector out(texts.size());
  for (size_t k = 0; k < texts.size(); ++k) {
    const std::string& text = texts[k];
    if (std::memchr(text.data(), '\0', text.size()) != nullptr) {
      tevrol::fatalError("Column " + column + " holds a NUL byte, which an R string cannot hold");
    }
    out[k] = Rf_mkCharLenCE(text.data(), static_cast<int>(text.size()), CE_NATIVE);
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
  Rcpp::NumericVector p;
  Rcpp::NumericVector se;
  Rcpp::LogicalVector bound;
  Rcpp::IntegerVector extreme;
  for (const tevrol::PermutationTest& test : result.tests) {
    for (const tevrol::FactorTest& factor : test.factor) {
      p.push_back(factor.value.p);
      se.push_back(factor.value.se);
      bound.push_back(factor.value.bound);
      extreme.push_back(static_cast<int>(factor.extreme));
    }
  }
  return Rcpp::List::create(Rcpp::_["p"] = p, Rcpp::_["se"] = se, Rcpp::_["bound"] = bound,
                            Rcpp::_["extreme"] = extreme);
}

}  // namespace

// The header names and the columns of a table file, each column a
// character vector.
// [[Rcpp::export(rng = false)]]
Rcpp::List read_table(const std::string& path) {
  return guarded([&] {
    tevrol::DataTable table(tevrol::kReadBlockBytes);
    table.read(path);
    Rcpp::CharacterVector names(static_cast<size_t>(table.columnCount()));
    Rcpp::List columns(static_cast<size_t>(table.columnCount()));
    for (int32_t c = 0; c < table.columnCount(); ++c) {
      const std::string& name = table.fieldNames(c);
      names[c] = rStrings({name}, std::to_string(c + 1))[0];
      // Each distinct text is made once; cells share it.
      const Rcpp::CharacterVector texts = rStrings(table.distinctValues(c), name);
      Rcpp::CharacterVector column(static_cast<size_t>(table.rowCount()));
      for (int32_t r = 0; r < table.rowCount(); ++r) {
        SET_STRING_ELT(column, r, STRING_ELT(texts, table.code(r, c)));
      }
      columns[c] = column;
    }
    return Rcpp::List::create(Rcpp::_["names"] = names, Rcpp::_["columns"] = columns);
  });
}

// The whole analysis of the columns (character vectors of equal length, no
// missing values; checked by the R side). nperm, seed and threads are whole
// numbers checked by the R side too; seed and threads may be NULL.
// [[Rcpp::export(rng = false)]]
Rcpp::List run_analysis(const Rcpp::List& columns, const Rcpp::CharacterVector& names, double nperm,
                        Rcpp::Nullable<Rcpp::NumericVector> seed,
                        Rcpp::Nullable<Rcpp::NumericVector> threads, bool keep_null) {
  return guarded([&] {
    tevrol::checkPermutationCount(static_cast<int64_t>(std::max(-1e12, std::min(nperm, 1e12))));
    tevrol::Options options;
    if (threads.isNotNull()) options.threads = static_cast<int>(Rcpp::NumericVector(threads)[0]);
    const tevrol::Settings settings = tevrol::readSettings(options);
    tevrol::Random random;
    if (seed.isNotNull()) random.setSeed(static_cast<int32_t>(Rcpp::NumericVector(seed)[0]));

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
    tevrol::DataTable table(tevrol::kReadBlockBytes);
    table.assign(header, static_cast<int32_t>(rows), [&](int32_t r, int32_t c) {
      const SEXP text = STRING_ELT(texts[static_cast<size_t>(c)], r);
      return std::string_view(CHAR(text), static_cast<size_t>(LENGTH(text)));
    });

    tevrol::RunResult result;
    result.nperm = static_cast<int32_t>(nperm);
    result.seed = random.getSeed();
    std::string report;
    Rcpp::NumericVector nullXA;
    Rcpp::NumericVector nullXB;
    if (keep_null) {
      nullXA = Rcpp::NumericVector(3 * static_cast<size_t>(result.nperm));
      nullXB = Rcpp::NumericVector(3 * static_cast<size_t>(result.nperm));
    }
    tevrol::analyseTable(
        table, settings, random, result, [&](const std::string& text) { report += text; },
        [&](int32_t pass, const tevrol::AnovaStats& s) {
          if (keep_null) {
            nullXA[pass] = s.F[tevrol::XA];
            nullXB[pass] = s.F[tevrol::XB];
          }
          if (pass % kInterruptPasses == 0) Rcpp::checkUserInterrupt();
        });

    Rcpp::List out = Rcpp::List::create(
        Rcpp::_["report"] = report, Rcpp::_["seed"] = static_cast<double>(result.seed),
        Rcpp::_["nperm"] = result.nperm,
        Rcpp::_["individuals"] = static_cast<int>(result.individuals),
        Rcpp::_["loci"] = static_cast<int>(result.loci),
        Rcpp::_["factors"] =
            Rcpp::CharacterVector::create(result.factors[0].name, result.factors[1].name),
        Rcpp::_["levels"] = Rcpp::List::create(rStrings(result.factors[0].levels, "1"),
                                               rStrings(result.factors[1].levels, "2")),
        Rcpp::_["sample_sizes"] =
            Rcpp::IntegerVector(result.sampleSizes.begin(), result.sampleSizes.end()),
        Rcpp::_["anova"] = anovaColumns(result.anova), Rcpp::_["tests"] = testColumns(result));
    if (keep_null) {
      out["null_XA"] = nullXA;
      out["null_XB"] = nullXB;
    }
    return out;
  });
}
