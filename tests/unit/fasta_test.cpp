#include "data/fasta_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace tevrol {
namespace {

using test::errorReport;

const MissingRule kBases{MissingRule::Kind::AllBut, {"A", "C", "G", "T"}};

using Keep = std::function<bool(const std::string&)>;

// The file fed in blocks of `block` bytes.
FastaAlignment parse(const std::string& text, size_t block = 1 << 20, Keep keep = {},
                     MissingRule rule = kBases) {
  FastaParser parser({"in.fa", std::move(rule), std::move(keep)});
  for (size_t at = 0; at < text.size(); at += block)
    parser.feed(text.data() + at, std::min(block, text.size() - at));
  return parser.finish();
}

// The whole alignment as one text: names ('-' after one left out), counts,
// then each variable site as position:texts:codes.
std::string dump(const FastaAlignment& a) {
  std::string out;
  for (size_t r = 0; r < a.names.size(); ++r) out += a.names[r] + (a.kept[r] != 0 ? " " : "- ");
  out += "| " + std::to_string(a.sites) + " " + std::to_string(a.singleStateSites) + " " +
         std::to_string(a.missingValues);
  for (const FastaSite& site : a.variable) {
    out += " | " + std::to_string(site.position) + ":";
    for (const std::string& text : site.texts) out += text;
    out += ":";
    for (size_t i = 0; i < site.codes.size(); ++i) out += std::to_string(site.codes.at(i));
  }
  return out;
}

TEST(FastaParser, ReadsRecordsWhereverTheBlocksEnd) {
  // Blanks before the name and a description after it; LF, CR LF and CR;
  // blanks and empty lines inside a sequence; lower case and U; a '>'
  // inside a line is a value.
  const std::string text =
      "> \tone first record\r\n"
      "ACgT\r\n"
      "\r\n"
      "nu-\n"
      ">two\tsecond\r"
      "A c\tG a\r\r"
      "Nu>\r\n"
      ">three\n"
      "aCGTNT-";
  const std::string expected = "one two three | 7 6 6 | 4:TA:010";
  for (size_t block = 1; block <= text.size(); ++block)
    ASSERT_EQ(dump(parse(text, block)), expected) << "blocks of " << block;
}

TEST(FastaParser, OnlyIndividualsCount) {
  const std::string text = ">a\nACGTN\n>b\nTCNTA\n>c\nNCGNA\n>d\nACGTA\n";
  // Site 1 differs only in b, whose N is not counted either; a missing
  // value makes no site variable.
  const Keep notB = [](const std::string& name) { return name != "b"; };
  EXPECT_EQ(dump(parse(text, 3, notB)), "a b- c d | 5 5 3");
  // Missing values are texts of a variable site, in order of appearance.
  EXPECT_EQ(dump(parse(text, 3)), "a b c d | 5 4 4 | 1:ATN:0120");
  const Keep none = [](const std::string&) { return false; };
  EXPECT_EQ(dump(parse(text, 3, none)), "a- b- c- d- | 5 5 0");
  // With no value missing, N differs from the bases.
  EXPECT_EQ(dump(parse(text, 3, notB, MissingRule{})),
            "a b- c d | 5 2 0 | 1:AN:010 | 4:TN:010 | 5:NA:011");
}

TEST(FastaParser, ReportsFaults) {
  // The report, the same whatever the blocks.
  const auto error = [](const std::string& text, const Keep& keep = {}) {
    const std::string report = errorReport([&] { parse(text, text.size(), keep); });
    for (size_t block = 1; block < text.size(); ++block) {
      if (errorReport([&] { parse(text, block, keep); }) != report)
        return "another report in blocks of " + std::to_string(block);
    }
    return report;
  };
  const Keep notA = [](const std::string& name) { return name != "a"; };
  EXPECT_EQ(error(">a\nACGT\n>b\nAC\nG\n"),
            "ERROR: Sequence b in in.fa has 3 sites where the first sequence (a) has 4: the "
            "file is not an alignment\n");
  // The first record sets the length even when left out; one too long is
  // counted to its end.
  EXPECT_EQ(error(">a\nACGT\n>b\nACGT\n>c\nACGTACGTAC\nGT\n", notA),
            "ERROR: Sequence c in in.fa has 12 sites where the first sequence (a) has 4: the "
            "file is not an alignment\n");
  EXPECT_EQ(error(">a\nAC\n>b x\n \n>c\nAC\n"), "ERROR: Sequence b in in.fa is empty\n");
  EXPECT_EQ(error(">a\nAC\n>b"), "ERROR: Sequence b in in.fa is empty\n");
  EXPECT_EQ(error(">a\r\nAC\r\n\r\n> \t\r\nAC\r\n"),
            "ERROR: A record in in.fa has no sample name (line 4)\n");
  EXPECT_EQ(error(">a\rAC\r\r>\n"), "ERROR: A record in in.fa has no sample name (line 4)\n");
  EXPECT_EQ(error(">a x\nAC\n>b\nAC\n>a\nAC\n", notA),
            "ERROR: Sample name a occurs twice in in.fa\n");
  EXPECT_EQ(error("\n>a\nAC\n"), "ERROR: in.fa has text before its first record\n");
  EXPECT_EQ(error("AC>a\nAC\n"), "ERROR: in.fa has text before its first record\n");
}

// Random alignments, written out with every freedom of the format, against
// the alignment their values make, whichever way the reader holds them. A
// record drawn at random differs from the first at most sites and is held as
// it is (a long one switching over part way), one mutated from the first as
// its differences, also when read raw at first after a random one.
TEST(FastaParser, MatchesTheAlignmentOfRandomRecords) {
  std::mt19937 random(7);
  const auto below = [&](size_t n) { return static_cast<size_t>(random() % n); };
  const std::string alphabet = "ACGTACGTN-?*\x01\xE9";
  const std::vector<MissingRule> rules = {
      kBases, MissingRule{MissingRule::Kind::Listed, {"N", "?"}}, MissingRule{}};
  for (int round = 0; round < 300; ++round) {
    const size_t sites = round % 50 == 0 ? 4096 + below(9000) : 1 + below(200);
    const size_t records = 1 + below(8);
    const MissingRule& rule = rules[below(rules.size())];
    std::vector<std::string> names, values;
    std::set<std::string> left;
    for (size_t r = 0; r < records; ++r) {
      std::string v(sites, 'A');
      for (char& c : v) c = alphabet[below(alphabet.size())];
      if (r > 0 && below(2) == 0) {
        v = values[0];
        for (size_t mutations = below(sites / 10 + 2); mutations > 0; --mutations)
          v[below(sites)] = alphabet[below(alphabet.size())];
      }
      names.push_back("r" + std::to_string(r));
      values.push_back(v);
      if (below(5) == 0) left.insert(names.back());
    }

    std::string text;
    const char* const ends[] = {"\n", "\r\n", "\r"};
    for (size_t r = 0; r < records; ++r) {
      text += ">" + std::string(below(3), ' ') + names[r] + (below(2) ? "\tx y" : "");
      const size_t width = 1 + below(below(2) ? 80 : sites);
      for (size_t at = 0; at < sites; ++at) {
        if (at % width == 0) text += ends[below(3)];
        if (below(20) == 0) text += below(2) ? " " : "\t\n";
        const char c = values[r][at];
        text += c == 'T' ? "TtUu"[below(4)] : c >= 'A' && c <= 'Z' && below(2) ? char(c + 32) : c;
      }
      text += ends[below(3)];
    }

    FastaAlignment expected;
    expected.names = names;
    expected.sites = static_cast<int64_t>(sites);
    std::vector<size_t> kept;
    for (size_t r = 0; r < records; ++r) {
      expected.kept.push_back(left.count(names[r]) == 0);
      if (expected.kept.back() != 0) kept.push_back(r);
    }
    for (size_t s = 0; s < sites; ++s) {
      FastaSite site;
      site.position = static_cast<int64_t>(s) + 1;
      std::string texts, present;
      for (const size_t r : kept) {
        const std::string value(1, values[r][s]);
        if (texts.find(value) == std::string::npos) texts += value;
        site.codes.push(static_cast<uint32_t>(texts.find(value)));
        if (rule.isMissing(value)) {
          ++expected.missingValues;
        } else if (present.find(value) == std::string::npos) {
          present += value;
        }
      }
      for (const char c : texts) site.texts.emplace_back(1, c);
      if (present.size() > 1) expected.variable.push_back(std::move(site));
    }
    expected.singleStateSites = expected.sites - static_cast<int64_t>(expected.variable.size());

    const Keep keep = [&](const std::string& name) { return left.count(name) == 0; };
    ASSERT_EQ(dump(parse(text, 1 + below(3000), keep, rule)), dump(expected)) << "round " << round;
  }
}

}  // namespace
}  // namespace tevrol
