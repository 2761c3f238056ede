// The printed ANOVA table: exact layout, number formats and factor names.
#include "run/report.h"

#include <gtest/gtest.h>

#include <string>

#include "analysis/anova.h"
#include "test_support.h"

namespace tevrol {
namespace {

// The Region/Period table.
AnovaStats regionPeriod() {
  AnovaStats s;
  s.df = {2, 1, 20, 23};
  s.seqSS = {14.25, 3.5, 32.23, 49.98};
  s.adjSS = {13.9, 3.1666667, 32.23, 0};
  s.MS = {6.95, 3.1666667, 1.6115, 0};
  s.F = {4.3125, 1.96504, 0, 0};
  s.n = {5.6, 8.1, 0, 0};
  s.var = {0.8701, 0.19, 1.6115, 2.67};
  return s;
}

std::string report(const AnovaStats& s, const std::string& nameXA = "Region",
                   const std::string& nameXB = "Period") {
  std::string out;
  appendAnovaTable(out, s, nameXA, nameXB);
  return out;
}

// Line `index` of the report, without its newline (0 is "ANOVA Table").
std::string line(const std::string& text, int index) {
  size_t begin = 0;
  for (int i = 0; i < index; ++i) begin = text.find('\n', begin) + 1;
  return text.substr(begin, text.find('\n', begin) - begin);
}

TEST(AnovaReport, RegionPeriodExample) {
  EXPECT_EQ(report(regionPeriod()),
            "ANOVA Table\n"
            "\n"
            "        df    Seq SS    Adj SS        MS         F         n       var \n"
            "XA       2     14.25      13.9      6.95    4.3125       5.6    0.8701\n"
            "XB       1       3.5    3.1667    3.1667     1.965       8.1      0.19\n"
            "Error   20     32.23     32.23    1.6115                        1.6115\n"
            "Total   23     49.98                                              2.67\n"
            "\n"
            "where XA = Region, XB = Period\n");
}

// Entries the table does not show are never printed, whatever they hold.
TEST(AnovaReport, UnshownEntriesStayBlank) {
  AnovaStats s = regionPeriod();
  s.F[Error] = s.n[Error] = s.adjSS[Total] = s.MS[Total] = s.F[Total] = s.n[Total] = 777;
  EXPECT_EQ(report(s), report(regionPeriod()));
}

TEST(AnovaReport, NumberFormats) {
  AnovaStats s;  // all zero
  EXPECT_EQ(line(report(s), 3),
            "XA       0         0         0         0         0         0         0");
  s.var[XA] = -0.123456789;
  s.F[XA] = 99999.6;
  s.n[XA] = 99999.4;
  EXPECT_EQ(line(report(s), 3),
            "XA       0         0         0         0     1e+05     99999  -0.12346");
}

TEST(AnovaReport, WideValuesShiftTheLine) {
  AnovaStats s;
  s.seqSS[XB] = 123456.7;
  s.df[Error] = 12345;
  const std::string text = report(s);
  EXPECT_EQ(line(text, 4),
            "XB       0 1.2346e+05         0         0         0         0         0");
  EXPECT_EQ(line(text, 5),
            "Error 12345         0         0         0                             0");
  EXPECT_EQ(line(text, 6),
            "Total    0         0                                                 0");
}

TEST(AnovaReport, FactorNamesPrintedAsRead) {
  EXPECT_EQ(line(report(AnovaStats{}, "", "Period"), 8), "where XA = , XB = Period");
  EXPECT_EQ(line(report(AnovaStats{}, " Re gion ", "x"), 8), "where XA =  Re gion , XB = x");
}

}  // namespace
}  // namespace tevrol
