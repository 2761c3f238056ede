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
#include "run/run.h"
#include "run/run_result.h"

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
    if (error.reason().empty()) throw Rcpp::exception(error.what(), false);
    throw Rcpp::exception((std::string(error.what()) + " (" + error.reason() + ")").c_str(), false);
  } catch (const std::bad_alloc&) {
    throw Rcpp::exception("Not enough memory for this data set", false);
  }
}

// R's allocator raises an R error when memory runs out: a jump that would
// skip the destructors of the C++ objects around (a table, a report). R
// objects are therefore made under unwindProtect, which turns that jump into
// a C++ exception once it has left `make`; Rcpp raises the R error again
// after those objects are gone. `make` itself may be left by the jump at any
// point, so it uses R's C interface alone: nothing in it needs a destructor
// or throws, and what it makes is protected.
template <typename Make>
SEXP makeR(const Make& make) {
  return Rcpp::unwindProtect([&]() -> SEXP { return make(); });
}

// An R string as the core takes it: its bytes, converted to UTF-8 when R
// declares it latin1, so that one text is one allele whatever encoding it is
// declared in (R marks no ASCII text, and a string from a file is not marked).
// A converted text lives in `scratch` until the next call.
std::string_view coreText(SEXP text, std::string& scratch) {
  const std::string_view bytes(CHAR(text), static_cast<size_t>(LENGTH(text)));
  if (Rf_getCharCE(text) != CE_LATIN1) return bytes;
  scratch.clear();
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c < 0x80) {
      scratch += byte;
    } else {
      scratch += static_cast<char>(0xC0 | (c >> 6));
      scratch += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return scratch;
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

// The makers below are for `make`: R's C interface only. Each returns an
// unprotected object, which its caller stores at once in a protected one.

// A text as an R string, byte for byte (checked by checkRString).
SEXP rChar(const std::string& text) {
  return Rf_mkCharLenCE(text.data(), static_cast<int>(text.size()), CE_NATIVE);
}

SEXP rText(const std::string& text) {
  SEXP out = PROTECT(Rf_allocVector(STRSXP, 1));
  SET_STRING_ELT(out, 0, rChar(text));
  UNPROTECT(1);
  return out;
}

SEXP rTexts(const std::vector<std::string>& texts) {
  SEXP out = PROTECT(Rf_allocVector(STRSXP, static_cast<R_xlen_t>(texts.size())));
  for (size_t k = 0; k < texts.size(); ++k) {
    SET_STRING_ELT(out, static_cast<R_xlen_t>(k), rChar(texts[k]));
  }
  UNPROTECT(1);
  return out;
}

// A list of `count` elements named by `names`, to be filled by the caller.
SEXP rList(int count, const char* const* names) {
  SEXP out = PROTECT(Rf_allocVector(VECSXP, count));
  SEXP labels = PROTECT(Rf_allocVector(STRSXP, count));
  for (int k = 0; k < count; ++k) SET_STRING_ELT(labels, k, Rf_mkChar(names[k]));
  Rf_setAttrib(out, R_NamesSymbol, labels);
  UNPROTECT(2);
  return out;
}

SEXP rNumbers(const double* values, int count) {
  SEXP out = Rf_allocVector(REALSXP, count);
  std::copy(values, values + count, REAL(out));
  return out;
}

SEXP anovaColumns(const tevrol::AnovaStats& s) {
  static const char* const names[] = {"df", "seq_ss", "adj_ss", "ms", "F", "n", "var"};
  const std::array<double, 4>* const rows[] = {&s.df, &s.seqSS, &s.adjSS, &s.MS,
                                               &s.F,  &s.n,     &s.var};
  SEXP out = PROTECT(rList(7, names));
  for (int k = 0; k < 7; ++k) SET_VECTOR_ELT(out, k, rNumbers(rows[k]->data(), 4));
  UNPROTECT(1);
  return out;
}

// The six tests in report order: type 0 XA, type 0 XB, type 1 XA, ...
SEXP testColumns(const tevrol::RunResult& result) {
  static const char* const names[] = {"p", "se", "bound", "extreme"};
  SEXP out = PROTECT(rList(4, names));
  SEXP p = Rf_allocVector(REALSXP, 6);
  SET_VECTOR_ELT(out, 0, p);
  SEXP se = Rf_allocVector(REALSXP, 6);
  SET_VECTOR_ELT(out, 1, se);
  SEXP bound = Rf_allocVector(LGLSXP, 6);
  SET_VECTOR_ELT(out, 2, bound);
  SEXP extreme = Rf_allocVector(INTSXP, 6);
  SET_VECTOR_ELT(out, 3, extreme);
  for (size_t t = 0; t < result.tests.size(); ++t) {
    for (size_t f = 0; f < 2; ++f) {
      const tevrol::FactorTest& factor = result.tests[t].factor[f];
      const size_t k = 2 * t + f;
      REAL(p)[k] = factor.value.p;
      REAL(se)[k] = factor.value.se;
      LOGICAL(bound)[k] = factor.value.bound ? 1 : 0;
      INTEGER(extreme)[k] = static_cast<int>(factor.extreme);
    }
  }
  UNPROTECT(1);
  return out;
}

// XA, XB, Error: R2 of Seq SS and Adj SS, var in percent, Phi.
SEXP effectColumns(const tevrol::MainEffects& e) {
  static const char* const names[] = {"r2_seq", "r2_adj", "var_percent", "phi"};
  const double na = NA_REAL;
  const double columns[4][3] = {{e.factor[0].r2Seq, e.factor[1].r2Seq, na},
                                {e.factor[0].r2Adj, e.factor[1].r2Adj, na},
                                {e.factor[0].varPercent, e.factor[1].varPercent, e.errorVarPercent},
                                {e.factor[0].phi, e.factor[1].phi, na}};
  SEXP out = PROTECT(rList(4, names));
  for (int k = 0; k < 4; ++k) SET_VECTOR_ELT(out, k, rNumbers(columns[k], 3));
  UNPROTECT(1);
  return out;
}

// The table with interaction, rows XA, XB, XA:XB, Residual, Total, and the
// tests of its first three rows.
SEXP interactionColumns(const tevrol::InteractionResult& r) {
  static const char* const names[] = {"df",     "seq_ss", "adj_ss", "ms",    "F",      "r2_seq",
                                      "r2_adj", "p",      "se",     "bound", "extreme"};
  const tevrol::InteractionStats& s = r.table;
  const std::array<double, 5>* const rows[] = {&s.df, &s.seqSS, &s.adjSS, &s.MS,
                                               &s.F,  &s.R2,    &s.R2adj};
  SEXP out = PROTECT(rList(11, names));
  for (int k = 0; k < 7; ++k) SET_VECTOR_ELT(out, k, rNumbers(rows[k]->data(), 5));
  double p[3], se[3], bound[3], extreme[3];
  for (size_t t = 0; t < 3; ++t) {
    p[t] = r.tests[t].value.p;
    se[t] = r.tests[t].value.se;
    bound[t] = r.tests[t].value.bound ? 1 : 0;
    extreme[t] = static_cast<double>(r.tests[t].extreme);
  }
  SET_VECTOR_ELT(out, 7, rNumbers(p, 3));
  SET_VECTOR_ELT(out, 8, rNumbers(se, 3));
  SET_VECTOR_ELT(out, 9, rNumbers(bound, 3));
  SET_VECTOR_ELT(out, 10, rNumbers(extreme, 3));
  UNPROTECT(1);
  return out;
}

// One row per pair: factor (0 XA, 1 XB), the two level codes, N, and of
// the main table's F and the table with interaction's (NA without it): F,
// R2, p, se, bound, extreme, Holm, BH.
SEXP pairColumns(const tevrol::RunResult& result) {
  static const char* const names[] = {
      "factor", "first",  "second",    "individuals", "F",          "r2",      "p",
      "se",     "bound",  "extreme",   "p_holm",      "p_bh",       "F_int",   "r2_int",
      "p_int",  "se_int", "bound_int", "extreme_int", "p_holm_int", "p_bh_int"};
  const auto rows = static_cast<R_xlen_t>(result.pairwise.size());
  SEXP out = PROTECT(rList(20, names));
  std::vector<double*> column;
  for (int k = 0; k < 20; ++k) {
    SEXP values = Rf_allocVector(REALSXP, rows);
    SET_VECTOR_ELT(out, k, values);
    column.push_back(REAL(values));
  }
  for (R_xlen_t r = 0; r < rows; ++r) {
    const tevrol::PairComparison& pair = result.pairwise[static_cast<size_t>(r)];
    column[0][r] = pair.factor;
    column[1][r] = pair.first;
    column[2][r] = pair.second;
    column[3][r] = static_cast<double>(pair.individuals);
    for (int part = 0; part < 2; ++part) {
      const tevrol::PairTest& t = part == 0 ? pair.main : pair.withInteraction;
      const bool shown = part == 0 || result.showInteraction;
      const double values[] = {t.F,
                               t.r2,
                               t.test.value.p,
                               t.test.value.se,
                               t.test.value.bound ? 1.0 : 0.0,
                               static_cast<double>(t.test.extreme),
                               t.holm,
                               t.bh};
      for (int k = 0; k < 8; ++k) {
        column[static_cast<size_t>(4 + 8 * part + k)][r] = shown ? values[k] : NA_REAL;
      }
    }
  }
  UNPROTECT(1);
  return out;
}

SEXP resultList(const tevrol::RunResult& result, const std::string& report) {
  static const char* const names[] = {
      "report",       "seed",  "nperm", "individuals", "loci",        "factors", "levels",
      "sample_sizes", "anova", "tests", "effects",     "interaction", "pairwise"};
  SEXP out = PROTECT(rList(13, names));
  SET_VECTOR_ELT(out, 0, rText(report));
  SET_VECTOR_ELT(out, 1, Rf_ScalarReal(result.seed));
  SET_VECTOR_ELT(out, 2, Rf_ScalarInteger(result.nperm));
  SET_VECTOR_ELT(out, 3, Rf_ScalarInteger(static_cast<int>(result.individuals)));
  SET_VECTOR_ELT(out, 4, Rf_ScalarInteger(static_cast<int>(result.loci)));
  SEXP factors = Rf_allocVector(STRSXP, 2);
  SET_VECTOR_ELT(out, 5, factors);
  SEXP levels = Rf_allocVector(VECSXP, 2);
  SET_VECTOR_ELT(out, 6, levels);
  for (int f = 0; f < 2; ++f) {
    SET_STRING_ELT(factors, f, rChar(result.factors[static_cast<size_t>(f)].name));
    SET_VECTOR_ELT(levels, f, rTexts(result.factors[static_cast<size_t>(f)].levels));
  }
  const std::vector<int32_t>& sizes = result.sampleSizes;
  SEXP sampleSizes = Rf_allocVector(INTSXP, static_cast<R_xlen_t>(sizes.size()));
  SET_VECTOR_ELT(out, 7, sampleSizes);
  std::copy(sizes.begin(), sizes.end(), INTEGER(sampleSizes));
  SET_VECTOR_ELT(out, 8, anovaColumns(result.anova));
  SET_VECTOR_ELT(out, 9, testColumns(result));
  SET_VECTOR_ELT(out, 10, effectColumns(result.effects));
  if (result.showInteraction) SET_VECTOR_ELT(out, 11, interactionColumns(result.interaction));
  if (result.showPairwise) SET_VECTOR_ELT(out, 12, pairColumns(result));
  UNPROTECT(1);
  return out;
}

// The header names and the columns of a table, each column a character
// vector whose cells share one R string per distinct text; a missing value
// is NA. columns: the table's columns to give, missing[k]: for column
// columns[k], whether each of its texts is missing.
SEXP tableList(const tevrol::DataTable& table, const std::vector<std::string>& names,
               const std::vector<int32_t>& columns,
               const std::vector<std::vector<uint8_t>>& missing) {
  static const char* const labels[] = {"names", "columns"};
  SEXP out = PROTECT(rList(2, labels));
  SET_VECTOR_ELT(out, 0, rTexts(names));
  SEXP list = Rf_allocVector(VECSXP, static_cast<R_xlen_t>(columns.size()));
  SET_VECTOR_ELT(out, 1, list);
  for (size_t k = 0; k < columns.size(); ++k) {
    const int32_t c = columns[k];
    SEXP texts = PROTECT(rTexts(table.distinctValues(c)));
    for (size_t t = 0; t < missing[k].size(); ++t) {
      if (missing[k][t] != 0) SET_STRING_ELT(texts, static_cast<R_xlen_t>(t), NA_STRING);
    }
    SEXP column = Rf_allocVector(STRSXP, table.rowCount());
    SET_VECTOR_ELT(list, static_cast<R_xlen_t>(k), column);
    for (int32_t r = 0; r < table.rowCount(); ++r) {
      SET_STRING_ELT(column, r, STRING_ELT(texts, table.code(r, c)));
    }
    UNPROTECT(1);
  }
  UNPROTECT(1);
  return out;
}

// The text a missing value (NA) of a data frame stands for in the core: no
// R string can hold a NUL byte, so no text of the data is taken for it.
const std::string kMissingText("\0NA", 3);

std::vector<std::string> coreTexts(const Rcpp::CharacterVector& texts) {
  std::vector<std::string> out;
  std::string scratch;
  for (R_xlen_t k = 0; k < texts.size(); ++k) out.emplace_back(coreText(texts[k], scratch));
  return out;
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

// The header names and the columns of an input as the command line reads it
// (a table, or an alignment or a VCF with its sample sheet): every missing value NA,
// loci with too many of them left out. Notes for the user go to `notes`.
// [[Rcpp::export(rng = false)]]
Rcpp::List read_input(const std::string& path, const std::string& samples,
                      const Rcpp::CharacterVector& factors, bool has_missing,
                      const Rcpp::CharacterVector& missing, double max_missing, bool haplotypes,
                      const Rcpp::CharacterVector& regions) {
  std::vector<std::string> notes;
  Rcpp::List table = guarded([&] {
    tevrol::InputOptions options;
    options.samples = samples;
    options.factors = coreTexts(factors);
    options.hasMissing = has_missing;
    options.missing = coreTexts(missing);
    options.maxMissing = max_missing;
    options.haplotypes = haplotypes;
    options.regions = coreTexts(regions);
    tevrol::DataTable table(tevrol::kReadBlockBytes);
    tevrol::InputSummary summary;
    tevrol::readInput(path, options, table, summary,
                      [&notes](const std::string& note) { notes.push_back(note); });
    tevrol::checkTable(table, summary);
    std::vector<std::string> names;
    std::vector<int32_t> columns;
    std::vector<std::vector<uint8_t>> isMissing;
    const double rows = table.rowCount();
    for (int32_t c = 0; c < table.columnCount(); ++c) {
      const std::vector<std::string>& texts = table.distinctValues(c);
      std::vector<uint8_t> flags(texts.size(), 0);
      if (c >= 2) {
        for (size_t t = 0; t < texts.size(); ++t) flags[t] = summary.missing.isMissing(texts[t]);
        double count = 0;
        for (int32_t r = 0; r < table.rowCount(); ++r) count += flags[table.code(r, c)];
        if (count / rows > max_missing) continue;
      }
      names.push_back(table.fieldNames(c));
      checkRString(names.back(), "The header");
      for (size_t t = 0; t < texts.size(); ++t) {
        if (flags[t] == 0) checkRString(texts[t], "Column " + names.back());
      }
      columns.push_back(c);
      isMissing.push_back(std::move(flags));
    }
    return Rcpp::List(makeR([&] { return tableList(table, names, columns, isMissing); }));
  });
  table["notes"] = Rcpp::wrap(notes);
  return table;
}

// The whole analysis of the columns: character vectors of equal length
// (NA, and the texts in `missing`, are missing values in the loci), nperm a whole number, seed (NULL or a whole
// number from -2^31 to 2^31 - 1) and threads (NULL or 1 ... 256), all
// checked by the R side. null_xa and null_xb receive the permuted F values
// when of length 3 nperm: R objects are made before any C++ object that a
// failed allocation would leave behind.
// [[Rcpp::export(rng = false)]]
Rcpp::List run_analysis(const Rcpp::List& columns, const Rcpp::CharacterVector& names, double nperm,
                        Rcpp::Nullable<Rcpp::NumericVector> seed,
                        Rcpp::Nullable<Rcpp::NumericVector> threads,
                        const Rcpp::CharacterVector& missing, double max_missing,
                        Rcpp::NumericVector null_xa, Rcpp::NumericVector null_xb, bool interaction,
                        bool effects, bool pairwise) {
  const bool hasSeed = seed.isNotNull();
  const double seedValue = hasSeed ? Rcpp::NumericVector(seed)[0] : 0;
  const int threadCount =
      threads.isNotNull() ? static_cast<int>(Rcpp::NumericVector(threads)[0]) : 0;
  return guarded([&] {
    if (names.size() != columns.size()) tevrol::fatalError("Every column must have a name");
    std::vector<std::string> header;
    std::vector<SEXP> texts;
    std::string scratch;
    for (R_xlen_t c = 0; c < columns.size(); ++c) {
      header.emplace_back(coreText(STRING_ELT(names, c), scratch));
      texts.push_back(columns[c]);
    }
    const R_xlen_t rows = texts.empty() ? 0 : Rf_xlength(texts[0]);
    for (const SEXP column : texts) {
      // Cells are read below without bounds checks.
      if (TYPEOF(column) != STRSXP || Rf_xlength(column) != rows || rows > INT32_MAX) {
        tevrol::fatalError("Columns must be character vectors of one length");
      }
    }
    tevrol::RunRequest request;
    request.nperm = static_cast<int64_t>(std::max(-1e12, std::min(nperm, 1e12)));
    request.hasSeed = hasSeed;
    request.seed = static_cast<int32_t>(seedValue);
    request.threads = threadCount;
    // NA is missing, and so is every text named.
    request.input.hasMissing = true;
    request.input.missing = coreTexts(missing);
    request.input.missing.push_back(kMissingText);
    request.input.maxMissing = max_missing;
    request.interaction = interaction;
    request.effects = effects;
    request.pairwise = pairwise;
    const bool keepNull = null_xa.size() == 3 * static_cast<R_xlen_t>(request.nperm) &&
                          null_xb.size() == null_xa.size();
    double* nullXA = keepNull ? null_xa.begin() : nullptr;
    double* nullXB = keepNull ? null_xb.begin() : nullptr;
    std::string report;
    tevrol::RunResult result;
    {
      tevrol::DataTable table(tevrol::kReadBlockBytes);
      table.assign(header, static_cast<int32_t>(rows), [&](int32_t r, int32_t c) {
        const SEXP text = STRING_ELT(texts[static_cast<size_t>(c)], r);
        return text == NA_STRING ? std::string_view(kMissingText) : coreText(text, scratch);
      });
      request.table = &table;
      tevrol::RunSinks sinks;
      sinks.report = [&](const std::string& text) { report += text; };
      sinks.onPass = [&](int32_t pass, const tevrol::AnovaStats& s) {
        if (keepNull) {
          nullXA[pass] = s.F[tevrol::XA];
          nullXB[pass] = s.F[tevrol::XB];
        }
        if (pass % kInterruptPasses == 0) Rcpp::checkUserInterrupt();
      };
      result = tevrol::Run(std::move(request)).execute(sinks);
    }
    checkRString(report, "The report");
    return Rcpp::List(makeR([&] { return resultList(result, report); }));
  });
}
