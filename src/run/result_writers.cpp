#include "run/result_writers.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace tevrol {

namespace {

using Json = nlohmann::ordered_json;

const char* const kFactorKeys[2] = {"XA", "XB"};

// What each permutation type exchanges; see the README.
const char* const kPermuted[kPermutationTypes] = {"within levels of XB", "within levels of XA",
                                                  "freely"};

// Degrees of freedom are whole numbers held in doubles: written as integers.
Json wholeNumber(double value) {
  if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 9.0e15) {
    return static_cast<int64_t>(value);
  }
  return value;
}

Json factorRow(const AnovaStats& s, AnovaRow row) {
  return Json{{"df", wholeNumber(s.df[row])},
              {"seq_ss", s.seqSS[row]},
              {"adj_ss", s.adjSS[row]},
              {"ms", s.MS[row]},
              {"F", s.F[row]},
              {"n", s.n[row]},
              {"var", s.var[row]}};
}

Json anovaJson(const AnovaStats& s) {
  Json anova;
  anova["XA"] = factorRow(s, XA);
  anova["XB"] = factorRow(s, XB);
  anova["Error"] = Json{{"df", wholeNumber(s.df[Error])},
                        {"ss", s.seqSS[Error]},
                        {"ms", s.MS[Error]},
                        {"var", s.var[Error]}};
  anova["Total"] =
      Json{{"df", wholeNumber(s.df[Total])}, {"ss", s.seqSS[Total]}, {"var", s.var[Total]}};
  return anova;
}

Json sampleSizesJson(const RunResult& result) {
  const size_t levelsB = result.levelCount(1);
  Json rows = Json::array();
  for (size_t a = 0; a < result.levelCount(0); ++a) {
    Json row = Json::array();
    for (size_t b = 0; b < levelsB; ++b) row.push_back(result.sampleSizes[a * levelsB + b]);
    rows.push_back(std::move(row));
  }
  return rows;
}

Json testJson(const FactorTest& test) {
  return Json{{"p", test.value.p},
              {"se", test.value.se},
              {"bound", test.value.bound},
              {"extreme", test.extreme}};
}

Json testsJson(const RunResult& result) {
  Json tests = Json::array();
  for (int t = 0; t < kPermutationTypes; ++t) {
    Json test{{"type", t}, {"permuted", kPermuted[t]}};
    for (size_t f = 0; f < 2; ++f) {
      test[kFactorKeys[f]] = testJson(result.tests[static_cast<size_t>(t)].factor[f]);
    }
    tests.push_back(std::move(test));
  }
  return tests;
}

// %.17g reads back to the same double; the words for the values that are
// not numbers are the ones R and pandas read.
void writeF(std::FILE* out, double f) {
  if (std::isnan(f)) {
    std::fputs("NaN", out);
  } else if (std::isinf(f)) {
    std::fputs(f > 0 ? "Inf" : "-Inf", out);
  } else {
    std::fprintf(out, "%.17g", f);
  }
}

const char* ruleName(MissingRule::Kind kind) {
  switch (kind) {
    case MissingRule::Kind::Listed:
      return "listed";
    case MissingRule::Kind::AllBut:
      return "all but";
    case MissingRule::Kind::None:
      break;
  }
  return "none";
}

Json inputJson(const InputSummary& input) {
  Json json;
  json["format"] = input.format;
  if (input.format == "vcf" || input.format == "bcf") {
    json["haplotypes"] = input.haplotypes;
    json["regions"] = input.regions;
    json["samples"] = input.samples;
    json["file_samples"] = input.fileSamples;
    json["samples_without_row"] = input.recordsWithoutRow;
    json["rows_without_sample"] = input.rowsWithoutRecord;
    json["records"] = input.records;
  } else if (!input.samples.empty()) {
    json["samples"] = input.samples;
    json["records"] = input.records;
    json["records_without_row"] = input.recordsWithoutRow;
    json["rows_without_record"] = input.rowsWithoutRecord;
  }
  json["sites"] = input.sites;
  json["loci"] = input.loci;
  json["missing"] = Json{{"rule", ruleName(input.missing.kind)}, {"texts", input.missing.texts}};
  json["max_missing"] = input.maxMissing;
  json["missing_values"] = input.missingValues;
  json["left_out"] = Json{{"single_state", input.singleState},
                          {"too_many_missing", input.tooManyMissing}};
  return json;
}

const char* const kInteractionKeys[kInteractionRows] = {"XA", "XB", "XA:XB", "Residual", "Total"};

Json interactionJson(const InteractionResult& result) {
  const InteractionStats& s = result.table;
  Json table;
  for (const int r : {IntXA, IntXB, IntXAB}) {
    table[kInteractionKeys[r]] = Json{{"df", wholeNumber(s.df[r])},
                                      {"seq_ss", s.seqSS[r]},
                                      {"adj_ss", s.adjSS[r]},
                                      {"ms", s.MS[r]},
                                      {"F", s.F[r]},
                                      {"r2", s.R2[r]}};
  }
  table["Residual"] = Json{{"df", wholeNumber(s.df[IntResidual])},
                           {"ss", s.seqSS[IntResidual]},
                           {"ms", s.MS[IntResidual]},
                           {"r2", s.R2[IntResidual]}};
  table["Total"] = Json{{"df", wholeNumber(s.df[IntTotal])}, {"ss", s.seqSS[IntTotal]}};
  Json tests;
  for (const int r : {IntXA, IntXB, IntXAB}) {
    Json test{{"type", r}, {"permuted", kPermuted[r]}};
    test.update(testJson(result.tests[static_cast<size_t>(r)]));
    tests[kInteractionKeys[r]] = std::move(test);
  }
  table["tests"] = std::move(tests);
  return table;
}

Json effectsJson(const RunResult& result) {
  Json effects;
  for (size_t f = 0; f < 2; ++f) {
    const FactorEffects& e = result.effects.factor[f];
    effects[kFactorKeys[f]] = Json{
        {"r2_seq", e.r2Seq}, {"r2_adj", e.r2Adj}, {"var_percent", e.varPercent}, {"phi", e.phi}};
  }
  effects["Error"] = Json{{"var_percent", result.effects.errorVarPercent}};
  if (result.showInteraction) {
    const InteractionStats& s = result.interaction.table;
    Json rows;
    for (const int r : {IntXA, IntXB, IntXAB, IntResidual}) {
      rows[kInteractionKeys[r]] = Json{{"r2_seq", s.R2[r]}, {"r2_adj", s.R2adj[r]}};
    }
    effects["interaction"] = std::move(rows);
  }
  return effects;
}

Json pairTestJson(const PairTest& t) {
  Json json{{"F", t.F}, {"r2", t.r2}};
  json.update(testJson(t.test));
  json["p_holm"] = t.holm;
  json["p_bh"] = t.bh;
  return json;
}

Json pairwiseJson(const RunResult& result) {
  Json pairs = Json::array();
  for (const PairComparison& pair : result.pairwise) {
    const std::vector<std::string>& levels =
        result.factors[static_cast<size_t>(pair.factor)].levels;
    Json json{{"factor", kFactorKeys[pair.factor]},
              {"levels",
               {levels[static_cast<size_t>(pair.first)], levels[static_cast<size_t>(pair.second)]}},
              {"type", pair.factor},
              {"individuals", pair.individuals}};
    json.update(pairTestJson(pair.main));
    if (result.showInteraction) json["interaction"] = pairTestJson(pair.withInteraction);
    pairs.push_back(std::move(json));
  }
  return pairs;
}

}  // namespace

std::string renderJson(const RunResult& result) {
  Json doc;
  doc["program"] = "tevrol";
  doc["version"] = TEVROL_VERSION;
  doc["file"] = result.file;
  doc["nperm"] = result.nperm;
  doc["seed"] = result.seed;
  doc["individuals"] = result.individuals;
  doc["loci"] = result.loci;
  doc["input"] = inputJson(result.input);
  Json factors;
  for (size_t f = 0; f < 2; ++f) {
    factors[kFactorKeys[f]] =
        Json{{"name", result.factors[f].name}, {"levels", result.factors[f].levels}};
  }
  doc["factors"] = std::move(factors);
  doc["sample_sizes"] = sampleSizesJson(result);
  doc["anova"] = anovaJson(result.anova);
  doc["tests"] = testsJson(result);
  if (result.showInteraction) doc["interaction"] = interactionJson(result.interaction);
  doc["effects"] = effectsJson(result);
  if (result.showPairwise) doc["pairwise"] = pairwiseJson(result);
  return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

void writeNullHeader(std::FILE* out) {
  std::fputs("type\tpermutation\tF_XA\tF_XB\n", out);
}

void writeNullLine(std::FILE* out, int32_t pass, const PassF& f) {
  std::fprintf(out, "%d\t%d\t", pass % kPermutationTypes, pass / kPermutationTypes + 1);
  writeF(out, f[0]);
  std::fputc('\t', out);
  writeF(out, f[1]);
  std::fputc('\n', out);
}

void writeNullFile(std::FILE* out, const RunResult& result) {
  writeNullHeader(out);
  for (size_t pass = 0; pass < result.nullF.size(); ++pass) {
    writeNullLine(out, static_cast<int32_t>(pass), result.nullF[pass]);
  }
}

}  // namespace tevrol
