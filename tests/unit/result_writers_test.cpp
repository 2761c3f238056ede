// The JSON and null files rendered from a result: numbers that read back to
// the same doubles, the words for values that are not numbers, byte texts
// that are not UTF-8, and the P values shared with the report.
#include "run/result_writers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "run/report.h"
#include "run/run.h"
#include "test_support.h"

namespace tevrol {
namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

RunResult sampleResult() {
  RunResult r;
  r.file = "in\xff.txt";  // not UTF-8
  r.nperm = 100;
  r.seed = -7;
  r.individuals = 5;
  r.loci = 3;
  r.factors[0] = {"pop", {"p", std::string("q\0r", 3)}};
  r.factors[1] = {"period", {"x", "y", "z"}};
  r.sampleSizes = {1, 0, 2, 1, 1, 0};
  r.anova.df = {1, 2, 1, 4};
  r.anova.seqSS = {0.1, 1.0 / 3, 2.5, 2.9333333333333336};
  r.anova.F = {kNan, kInf, 0, 0};
  r.anova.var = {-0.125, 1e-300, 0.5, 3};
  for (int t = 0; t < 3; ++t) {
    r.tests[static_cast<size_t>(t)].factor[0] = {computePValue(100 - t, 100), t};
    r.tests[static_cast<size_t>(t)].factor[1] = {computePValue(37, 100), 63};
  }
  return r;
}

TEST(JsonFile, NumbersRoundTripAndTextsSurvive) {
  const RunResult r = sampleResult();
  const auto doc = nlohmann::json::parse(renderJson(r));
  EXPECT_EQ(doc["version"], TEVROL_VERSION);
  EXPECT_EQ(doc["file"], "in\xEF\xBF\xBD.txt");  // the bad byte became U+FFFD
  EXPECT_EQ(doc["factors"]["XA"]["levels"][1], std::string("q\0r", 3));
  EXPECT_EQ(doc["sample_sizes"], nlohmann::json::parse("[[1, 0, 2], [1, 1, 0]]"));
  const auto& xa = doc["anova"]["XA"];
  EXPECT_TRUE(xa["df"].is_number_integer());
  EXPECT_EQ(xa["seq_ss"].get<double>(), 0.1);
  EXPECT_EQ(doc["anova"]["XB"]["seq_ss"].get<double>(), 1.0 / 3);
  EXPECT_EQ(doc["anova"]["XB"]["var"].get<double>(), 1e-300);
  EXPECT_TRUE(xa["F"].is_null());
  EXPECT_TRUE(doc["anova"]["XB"]["F"].is_null());
  EXPECT_EQ(doc["anova"]["Total"]["ss"].get<double>(), 2.9333333333333336);
  EXPECT_FALSE(doc["anova"]["Error"].contains("adj_ss"));

  ASSERT_EQ(doc["tests"].size(), 3u);
  EXPECT_EQ(doc["tests"][2]["permuted"], "freely");
  // Type 0: the observed F beat all 100 permutations, the bound 1/100.
  EXPECT_EQ(doc["tests"][0]["XA"]["bound"], true);
  EXPECT_EQ(doc["tests"][0]["XA"]["p"].get<double>(), 0.01);
  EXPECT_EQ(doc["tests"][0]["XA"]["extreme"], 0);
  EXPECT_EQ(doc["tests"][1]["XA"]["bound"], false);
  EXPECT_EQ(doc["tests"][1]["XB"]["p"].get<double>(), r.tests[1].factor[1].value.p);
  EXPECT_EQ(doc["tests"][1]["XB"]["se"].get<double>(), r.tests[1].factor[1].value.se);
}

TEST(JsonFile, PValuesAreTheNumbersTheReportPrints) {
  const RunResult r = sampleResult();
  PermutationCounts counts;
  counts.observedAboveCounts = {{{100, 37}, {99, 37}, {98, 37}}};
  std::string fromResult;
  appendPValues(fromResult, r);
  RunResult fromCounts = r;
  fromCounts.tests = permutationTests(counts, 100);
  std::string report;
  appendPValues(report, fromCounts);
  EXPECT_EQ(fromResult, report);
}

TEST(NullFile, RunOrderAndNonNumbers) {
  RunResult r = sampleResult();
  r.nullF = {{0.1, 2}, {kNan, -kNan}, {kInf, -kInf}, {1.0 / 3, 1e300}};
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  writeNullFile(out, r);
  std::rewind(out);
  std::string text(4096, '\0');
  text.resize(std::fread(&text[0], 1, text.size(), out));
  std::fclose(out);
  EXPECT_EQ(text,
            "type\tpermutation\tF_XA\tF_XB\n"
            "0\t1\t0.10000000000000001\t2\n"
            "1\t1\tNaN\tNaN\n"
            "2\t1\tInf\t-Inf\n"
            "0\t2\t0.33333333333333331\t1.0000000000000001e+300\n");
}

}  // namespace
}  // namespace tevrol
