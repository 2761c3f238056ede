#include "data/data_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "data/matrix.h"
#include "test_support.h"

namespace tevrol {
namespace {

using test::tableFromText;
using test::writeTempFile;

// The whole table as one text: the header, then one line per row, fields in brackets.
std::string dump(const DataTable& table) {
  std::string out;
  for (int32_t c = 0; c < table.columnCount(); ++c) out += "[" + table.fieldNames(c) + "]";
  for (int32_t r = 0; r < table.rowCount(); ++r) {
    out += "\n";
    for (int32_t c = 0; c < table.columnCount(); ++c) out += "[" + table.cell(r, c) + "]";
  }
  return out;
}

std::vector<std::string> column(const DataTable& table, int32_t c) {
  std::vector<std::string> texts;
  for (int32_t r = 0; r < table.rowCount(); ++r) texts.push_back(table.cell(r, c));
  return texts;
}

TEST(Matrix, NewMatrixIsEmpty) {
  Matrix matrix;
  EXPECT_EQ(matrix.rowCount(), 0);
  EXPECT_EQ(matrix.columnCount(), 0);
}

TEST(Matrix, ResizeKeepsTextsOnlyForTheSameShape) {
  Matrix matrix;
  matrix.resize(2, 3);
  for (int32_t i = 0; i < 2; ++i) {
    for (int32_t j = 0; j < 3; ++j) matrix.row(i)[j] = std::to_string(10 * i + j);
  }
  EXPECT_EQ(&matrix.resize(2, 3), &matrix);
  for (int32_t i = 0; i < 2; ++i) {
    for (int32_t j = 0; j < 3; ++j) EXPECT_EQ(matrix.row(i)[j], std::to_string(10 * i + j));
  }

  matrix.resize(3, 3);
  ASSERT_EQ(matrix.rowCount(), 3);
  ASSERT_EQ(matrix.columnCount(), 3);
  for (int32_t i = 0; i < 3; ++i) {
    for (int32_t j = 0; j < 3; ++j) EXPECT_EQ(matrix.row(i)[j], "") << i << "," << j;
  }

  for (int32_t i = 0; i < 3; ++i) matrix.row(i)[0] = "old";
  matrix.resize(2, 2);
  ASSERT_EQ(matrix.rowCount(), 2);
  ASSERT_EQ(matrix.columnCount(), 2);
  for (int32_t i = 0; i < 2; ++i) {
    for (int32_t j = 0; j < 2; ++j) EXPECT_EQ(matrix.row(i)[j], "") << i << "," << j;
  }

  matrix.resize(0, 5);
  EXPECT_EQ(matrix.rowCount(), 0);
  EXPECT_EQ(matrix.columnCount(), 5);
}

TEST(DataTable, HeaderGivesColumnsAndNames) {
  auto table = tableFromText("pop\tregion\tL1\tL2\np\tx\t1\t2\n");
  ASSERT_EQ(table->columnCount(), 4);
  EXPECT_EQ(table->fieldNames(0), "pop");
  EXPECT_EQ(table->fieldNames(1), "region");
  EXPECT_EQ(table->fieldNames(2), "L1");
  EXPECT_EQ(table->fieldNames(3), "L2");
  EXPECT_EQ(table->rowCount(), 1);

  auto trailingTab = tableFromText("pop\tregion\tL1\t\np\tx\t1\t2\n");
  ASSERT_EQ(trailingTab->columnCount(), 4);
  EXPECT_EQ(trailingTab->fieldNames(3), "");
  EXPECT_EQ(trailingTab->cell(0, 3), "2");
}

TEST(DataTable, LineEndsAllGiveTheSameTable) {
  const std::string lf = "pop\tside\tL1\np\tx\t1\nq\ty\t2\n";
  const std::string expected = "[pop][side][L1]\n[p][x][1]\n[q][y][2]";
  EXPECT_EQ(dump(*tableFromText(lf)), expected);
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\r\np\tx\t1\r\nq\ty\t2\r\n")), expected);
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\rp\tx\t1\rq\ty\t2\r")), expected);
  // The last line needs no line end.
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\np\tx\t1\nq\ty\t2")), expected);
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\r\np\tx\t1\r\nq\ty\t2")), expected);
}

TEST(DataTable, BlankLinesAreNeverRows) {
  const std::string expected = "[pop][side][L1]\n[p][x][1]\n[q][y][2]";
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\np\tx\t1\n\nq\ty\t2\n")), expected);
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\np\tx\t1\n\n\n\nq\ty\t2\n")), expected);
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\n\np\tx\t1\nq\ty\t2\n")), expected);
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\n\n\np\tx\t1\nq\ty\t2\n\n\n\n")), expected);
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\r\n\r\np\tx\t1\r\n\r\n\r\nq\ty\t2\r\n\r\n")),
            expected);
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\r\rp\tx\t1\r\r\rq\ty\t2\r\r")), expected);
  // A line of one space, or of one TAB, is not blank.
  EXPECT_EQ(dump(*tableFromText("pop\tside\tL1\n \n\t\n")), "[pop][side][L1]\n[ ][][]\n[][][]");
}

TEST(DataTable, ShortAndLongLines) {
  auto table = tableFromText("pop\tside\tL1\tL2\np\tx\nq\ty\t1\t2\t3\t4\n");
  EXPECT_EQ(dump(*table), "[pop][side][L1][L2]\n[p][x][][]\n[q][y][1][2]");
}

TEST(DataTable, DistinctValuesInOrderOfFirstAppearance) {
  auto table = tableFromText("f\tg\tL\nY\tb\t1\nX\tb\t1\nY\tb\t1\nZ\tb\t1\n");
  EXPECT_EQ(table->distinctValues(0), (std::vector<std::string>{"Y", "X", "Z"}));
  EXPECT_EQ(table->distinctValues(1), (std::vector<std::string>{"b"}));
  EXPECT_EQ(table->code(0, 0), 0);
  EXPECT_EQ(table->code(1, 0), 1);
  EXPECT_EQ(table->code(2, 0), 0);
  EXPECT_EQ(table->code(3, 0), 2);
  EXPECT_EQ(table->code(3, 1), 0);
}

TEST(DataTable, FieldsAreKeptByteForByte) {
  auto table = tableFromText("f\tg\tL\n X\tx \t1\nX\tX\t 1\nx\tx\t1 \n");
  EXPECT_EQ(column(*table, 0), (std::vector<std::string>{" X", "X", "x"}));
  EXPECT_EQ(table->distinctValues(0), (std::vector<std::string>{" X", "X", "x"}));
  EXPECT_EQ(table->distinctValues(1), (std::vector<std::string>{"x ", "X", "x"}));
  EXPECT_EQ(table->distinctValues(2), (std::vector<std::string>{"1", " 1", "1 "}));

  const std::string odd = std::string("a\0b", 3) + "\t\xff\xe9\t\x80";
  auto bytes = tableFromText(std::string("f\0g\tg\tL\n", 8) + odd + "\n" + odd + "\n");
  EXPECT_EQ(bytes->fieldNames(0), std::string("f\0g", 3));
  ASSERT_EQ(bytes->rowCount(), 2);
  EXPECT_EQ(bytes->cell(1, 0), std::string("a\0b", 3));
  EXPECT_EQ(bytes->cell(1, 1), "\xff\xe9");
  EXPECT_EQ(bytes->cell(1, 2), "\x80");
  EXPECT_EQ(bytes->distinctValues(0).size(), 1u);
}

// Codes are stored as narrow as each column allows, and widen in place.
TEST(DataTable, ColumnsWidenPast256And65536Texts) {
  std::string text = "f\tg\tmany\tfew\n";
  for (int r = 0; r < 70000; ++r) text += "a\tb\tt" + std::to_string(r % 66000) + "\tx\n";
  auto table = tableFromText(text);
  ASSERT_EQ(table->rowCount(), 70000);
  EXPECT_EQ(table->codes(2).width(), 4);
  EXPECT_EQ(table->codes(3).width(), 1);
  EXPECT_EQ(table->distinctValues(2).size(), 66000u);
  for (const int32_t r : {0, 255, 256, 65535, 65536, 65999, 66000, 69999}) {
    EXPECT_EQ(table->code(r, 2), r % 66000) << r;
    EXPECT_EQ(table->cell(r, 2), "t" + std::to_string(r % 66000)) << r;
  }
  auto middle = tableFromText("f\tg\tL\n" + std::string("a\tb\t") + "\xff\n" + [] {
    std::string rows;
    for (int r = 0; r < 300; ++r) rows += "a\tb\t" + std::to_string(r) + "\n";
    return rows;
  }());
  EXPECT_EQ(middle->codes(2).width(), 2);
  EXPECT_EQ(middle->cell(0, 2), "\xff");
  EXPECT_EQ(middle->cell(300, 2), "299");
}

TEST(DataTable, ReadsAFileLikeParse) {
  const std::string path = writeTempFile("unbalanced.txt", test::kUnbalancedData);
  DataTable table(100000);
  table.read(path);
  EXPECT_EQ(dump(table), dump(*tableFromText(test::kUnbalancedData)));
  EXPECT_EQ(table.rowCount(), 6);
  EXPECT_EQ(table.distinctValues(0), (std::vector<std::string>{"p", "q"}));
}

// Columns handed over cell by cell (an R data frame) give the table of the
// same text read from a file: codes in order of first appearance, every code
// width; a text may hold bytes a file cannot (TAB, line ends).
TEST(DataTable, AssignedColumnsGiveTheTableOfTheFile) {
  const auto file = tableFromText(test::kUnbalancedData);
  std::vector<std::string> names;
  for (int32_t c = 0; c < file->columnCount(); ++c) names.push_back(file->fieldNames(c));
  DataTable assigned(1);
  assigned.assign(names, file->rowCount(),
                  [&](int32_t r, int32_t c) { return std::string_view(file->cell(r, c)); });
  EXPECT_EQ(dump(assigned), dump(*file));
  EXPECT_EQ(assigned.distinctValues(3), file->distinctValues(3));

  const std::vector<std::string> texts = {"a\tb", "x\ny", "a\tb", std::string(1, '\0')};
  std::vector<std::string> many;
  for (int i = 0; i < 70000; ++i) many.push_back(std::to_string(i % 66000));
  assigned.assign({"f", "g", "L", "M"}, 70000, [&](int32_t r, int32_t c) {
    return c < 3 ? std::string_view(texts[static_cast<size_t>(r % 4)])
                 : std::string_view(many[static_cast<size_t>(r)]);
  });
  EXPECT_EQ(assigned.distinctValues(0),
            (std::vector<std::string>{"a\tb", "x\ny", std::string(1, '\0')}));
  EXPECT_EQ(assigned.code(2, 2), 0);
  EXPECT_EQ(assigned.codes(3).width(), 4);
  EXPECT_EQ(assigned.cell(69999, 3), many[69999]);
}

// The room reserved for codes follows the rows read: a file whose first
// rows are short (its size then promises far more rows than come) reserves
// about its own size, and a column of few rows little more than they take.
TEST(DataTable, ReservedRoomFollowsTheRowsRead) {
  const auto reserved = [](const DataTable& table) {
    size_t bytes = 0;
    for (int32_t c = 0; c < table.columnCount(); ++c) bytes += table.codes(c).bytes();
    return bytes;
  };
  std::string text = "f\tg";
  for (int l = 0; l < 200; ++l) text += "\tL" + std::to_string(l);
  text += "\n";
  for (int r = 0; r < 1100; ++r) text += "p\tx\n";
  for (int r = 0; r < 2000; ++r) {
    text += r % 2 ? "q\ty" : "p\ty";
    for (int l = 0; l < 200; ++l) text += (r + l) % 3 ? "\t0" : "\t1";
    text += "\n";
  }
  DataTable read(100000);
  read.read(writeTempFile("short-then-long.txt", text));
  EXPECT_EQ(read.rowCount(), 3100);
  EXPECT_TRUE(dump(read) == dump(*tableFromText(text)));
  EXPECT_LE(reserved(read), 2 * text.size());

  std::string wide = "f\tg";
  for (int l = 0; l < 20000; ++l) wide += "\tL" + std::to_string(l);
  wide += "\n";
  for (int r = 0; r < 8; ++r) wide += "p\tx" + std::string(20000, '\t') + "\n";
  read.read(writeTempFile("wide.txt", wide));
  EXPECT_EQ(read.rowCount(), 8);
  EXPECT_LE(reserved(read), 32u * 20002);
}

TEST(DataTable, ReadsAMillionCharacterLineWhole) {
  const std::string locus(1000000, 'A');
  const std::string path =
      writeTempFile("long.txt", "pop\tside\tL1\np\tx\t" + locus + "\nq\ty\t1\n");
  DataTable table(100000);
  table.read(path);
  ASSERT_EQ(table.rowCount(), 2);
  EXPECT_EQ(table.cell(0, 2), locus);
  EXPECT_EQ(table.cell(1, 0), "q");
}

TEST(DataTable, EmptyFileHasOneUnnamedColumnAndNoRows) {
  const std::string path = writeTempFile("empty.txt", "");
  DataTable table(100000);
  table.read(path);
  EXPECT_EQ(table.columnCount(), 1);
  EXPECT_EQ(table.fieldNames(0), "");
  EXPECT_EQ(table.rowCount(), 0);
}

TEST(DataTable, UnreadablePathIsFatal) {
  const std::string path = writeTempFile("present.txt", "x");
  const std::string folder = path.substr(0, path.rfind('/'));
  DataTable table(100000);
  EXPECT_EQ(test::errorReport([&] { table.read(folder + "/missing.txt"); }),
            "ERROR: Could not open file\n");
  EXPECT_EQ(test::errorReport([&] { table.read(folder); }), "ERROR: Could not open file\n");
}

// Texts are found by a scan, by hashing past eight, and one-byte texts
// through a direct table once the column is long, which a short column only
// shares: every way gives a text the code of its first appearance, one-byte
// texts past code 254 too, whether the column grew long before or after
// they came. The tally's bytes of a row of codes grow by one at a
// dictionary's 257th text, when its column widens.
TEST(TextDictionary, CodesKeptAcrossLookupsAndTallyFollowsWidths) {
  TextDictionary::Tally tally;
  TextDictionary early(&tally);
  TextDictionary late(&tally);
  TextDictionary small(&tally);
  std::vector<std::string> texts = {"x", "", "yy"};
  for (int i = 0; i < 250; ++i) texts.push_back("t" + std::to_string(i));
  for (char c = 'a'; c <= 't'; ++c) texts.push_back(std::string(1, c));
  const auto codes = [&](TextDictionary& dictionary, size_t count) {
    std::vector<uint32_t> found;
    for (size_t i = 0; i < count; ++i) {
      found.push_back(dictionary.codeOf(texts[i].data(), texts[i].size()));
    }
    return found;
  };
  std::vector<uint32_t> expected(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) expected[i] = static_cast<uint32_t>(i);

  EXPECT_EQ(codes(early, 6), std::vector<uint32_t>(expected.begin(), expected.begin() + 6));
  EXPECT_EQ(codes(late, texts.size()), expected);
  EXPECT_EQ(small.codeOf("y", 1), 0u);
  EXPECT_EQ(small.codeOf("x", 1), 1u);
  early.expectRows(100000);
  late.expectRows(100000);
  for (TextDictionary* dictionary : {&early, &late}) {
    EXPECT_EQ(codes(*dictionary, texts.size()), expected);
    EXPECT_EQ(codes(*dictionary, texts.size()), expected);
    EXPECT_EQ(dictionary->texts(), texts);
  }
  EXPECT_EQ(small.codeOf("a", 1), 2u);
  EXPECT_EQ(small.codeOf("x", 1), 1u);
  EXPECT_EQ(tally.codeBytesPerRow, 2u);
}

}  // namespace
}  // namespace tevrol

namespace tevrol {
namespace {

// Input arrives in blocks: a field, a CR LF pair or a blank line may be split
// across two of them, and any block size must give the same table.
TEST(DataTable, EveryBlockSizeGivesTheSameTable) {
  const std::string text =
      "pop\tside\tL1\tL2\r\n\r\np\tx\tAAAAAAAAAAAAAAAAAAAA\t1\r\rq\ty\t\t22\n"
      "p\ty\tB\r\nq\tx\tAAAAAAAAAAAAAAAAAAAA\t1\t9\r";
  const std::string expected = dump(*tableFromText(text));
  EXPECT_EQ(expected,
            "[pop][side][L1][L2]\n[p][x][AAAAAAAAAAAAAAAAAAAA][1]\n[q][y][][22]\n[p][y][B][]\n"
            "[q][x][AAAAAAAAAAAAAAAAAAAA][1]");
  const std::string path = writeTempFile("blocks.txt", text);
  for (int32_t block = 1; block <= 9; ++block) {
    DataTable parsed(block);
    EXPECT_EQ(dump(parsed.parse(text)), expected) << "blocks of " << block;
    DataTable read(block);
    read.read(path);
    EXPECT_EQ(dump(read), expected) << "file in blocks of " << block;
  }
}

}  // namespace
}  // namespace tevrol
