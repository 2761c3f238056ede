#include "data/levels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "data/data_table.h"
#include "run/report.h"
#include "test_support.h"

namespace tevrol {
namespace {

using test::tableFromText;

// `count` data lines of one cell.
std::string rows(const std::string& a, const std::string& b, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += a + "\t" + b + "\t1\n";
  return text;
}

std::string sampleSizes(const DataTable& table,
                        const std::function<void(std::string&)>& spill = nullptr) {
  std::string out;
  appendSampleSizes(out, table.distinctValues(0), table.distinctValues(1), countCells(table),
                    spill);
  return out;
}

// The whole factor report, in the order the run prints it.
std::string levelsReport(const DataTable& table) {
  std::string out;
  appendLevelLine(out, "first", table.fieldNames(0), table.distinctValues(0));
  appendLevelLine(out, "second", table.fieldNames(1), table.distinctValues(1));
  out += "\n";
  out += sampleSizes(table);
  return out;
}

TEST(Levels, WorkedExample) {
  auto table =
      tableFromText("pop\tside\tL1\n" + rows("north", "east", 1) + rows("south", "west", 3) +
                    rows("north", "west", 4) + rows("south", "east", 2) + rows("north", "east", 2));
  EXPECT_EQ(levelsReport(*table),
            "Levels for first factor (pop): north, south\n"
            "Levels for second factor (side): east, west\n"
            "\n"
            "Sample sizes:\n"
            "        east  west\n"
            "north:     3     4\n"
            "south:     2     3\n"
            "\n");

  EXPECT_EQ(table->distinctValues(0), (std::vector<std::string>{"north", "south"}));
  EXPECT_EQ(table->distinctValues(1), (std::vector<std::string>{"east", "west"}));
  const CellCounts cells = countCells(*table);
  ASSERT_EQ(cells.levelsA, 2);
  ASSERT_EQ(cells.levelsB, 2);
  EXPECT_EQ(cells.at(0, 0), 3);
  EXPECT_EQ(cells.at(0, 1), 4);
  EXPECT_EQ(cells.at(1, 0), 2);
  EXPECT_EQ(cells.at(1, 1), 3);
  EXPECT_EQ(cells.total(), 12);
}

TEST(Levels, CodesFollowFirstAppearance) {
  auto table = tableFromText("f\tg\tL\n" + rows("Y", "b", 1) + rows("X", "b", 1) +
                             rows("Y", "b", 1) + rows("Z", "b", 1));
  std::string out;
  appendLevelLine(out, "first", "f", table->distinctValues(0));
  EXPECT_EQ(out, "Levels for first factor (f): Y, X, Z\n");
  EXPECT_EQ(table->code(2, 0), 0);
  EXPECT_EQ(table->code(3, 0), 2);
  // A single level has no comma.
  out.clear();
  appendLevelLine(out, "second", "g", table->distinctValues(1));
  EXPECT_EQ(out, "Levels for second factor (g): b\n");
}

TEST(Levels, EmptyCombinationPrintsZero) {
  auto table =
      tableFromText("pop\tperiod\tL\n" + rows("p", "x", 1) + rows("p", "y", 1) + rows("q", "x", 1));
  const CellCounts cells = countCells(*table);
  EXPECT_EQ(cells.at(1, 1), 0);
  EXPECT_EQ(sampleSizes(*table),
            "Sample sizes:\n"
            "    x  y\n"
            "p:  1  1\n"
            "q:  1  0\n"
            "\n");
}

TEST(Levels, DecimalDigits) {
  EXPECT_EQ(decimalDigits(1), 1);
  EXPECT_EQ(decimalDigits(9), 1);
  EXPECT_EQ(decimalDigits(10), 2);
  EXPECT_EQ(decimalDigits(99), 2);
  EXPECT_EQ(decimalDigits(999), 3);
  EXPECT_EQ(decimalDigits(1000), 4);
  EXPECT_EQ(decimalDigits(2147483647), 10);
}

TEST(Levels, CountWidthFollowsTheNumberOfIndividuals) {
  auto table = tableFromText("pop\tside\tL\n" + rows("a", "x", 999) + rows("a", "y", 1));
  EXPECT_EQ(sampleSizes(*table),
            "Sample sizes:\n"
            "       x     y\n"
            "a:   999     1\n"
            "\n");
}

// A table of many cells goes out in parts of about a megabyte, never held
// whole, and the parts make up the table.
TEST(Levels, LargeSampleSizeTableIsSpilledInParts) {
  std::string text = "pop\tside\tL\n";
  for (int i = 0; i < 30000; ++i) {
    text += std::string(60, 'a') + std::to_string(i) + "\t" + (i % 2 ? "x" : "y") + "\t1\n";
  }
  auto table = tableFromText(text);
  const std::string whole = sampleSizes(*table);
  std::string parts;
  size_t largest = 0;
  const std::string rest = sampleSizes(*table, [&](std::string& part) {
    largest = std::max(largest, part.size());
    parts += part;
    part.clear();
  });
  parts += rest;
  EXPECT_GT(whole.size(), size_t{2} << 20);
  EXPECT_LT(largest, (size_t{1} << 20) + 100);
  EXPECT_GT(largest, 0u);
  EXPECT_EQ(parts, whole);
}

TEST(Levels, EmptyLevelTextIsALevel) {
  auto table = tableFromText("pop\tside\tL\n" + rows("p", "x", 1) + rows("", "y", 2));
  EXPECT_EQ(levelsReport(*table),
            "Levels for first factor (pop): p, \n"
            "Levels for second factor (side): x, y\n"
            "\n"
            "Sample sizes:\n"
            "    x  y\n"
            "p:  1  0\n"
            " :  0  2\n"
            "\n");
}

TEST(Levels, CaseAndSpacesMakeDistinctLevels) {
  auto table =
      tableFromText("pop\tside\tL\n" + rows("a", "x", 1) + rows("A", "x", 2) + rows("a ", "x", 3));
  EXPECT_EQ(levelsReport(*table),
            "Levels for first factor (pop): a, A, a \n"
            "Levels for second factor (side): x\n"
            "\n"
            "Sample sizes:\n"
            "     x\n"
            " a:  1\n"
            " A:  2\n"
            "a :  3\n"
            "\n");
}

}  // namespace
}  // namespace tevrol
