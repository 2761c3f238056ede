#include "cli/command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "base/parse_int.h"
#include "run/settings.h"
#include "test_support.h"

namespace tevrol {
namespace {

CommandLine parse(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "tevrol");
  return parseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

void expectFatal(const std::vector<const char*>& arguments, const char* message) {
  EXPECT_EQ(test::errorReport([&] { parse(arguments); }), std::string("ERROR: ") + message + "\n")
      << arguments.size() << " arguments";
}

TEST(ParseInt, AtoiGrammar) {
  EXPECT_EQ(parseInt("150"), 150);
  EXPECT_EQ(parseInt("150x"), 150);
  EXPECT_EQ(parseInt("12 34"), 12);
  EXPECT_EQ(parseInt(" +100"), 100);
  EXPECT_EQ(parseInt("\t\n\v\f\r -42"), -42);
  EXPECT_EQ(parseInt("-0"), 0);
  EXPECT_EQ(parseInt("007"), 7);
  EXPECT_EQ(parseInt(""), 0);
  EXPECT_EQ(parseInt("-"), 0);
  EXPECT_EQ(parseInt("+"), 0);
  EXPECT_EQ(parseInt("abc"), 0);
  EXPECT_EQ(parseInt("+-5"), 0);
  EXPECT_EQ(parseInt("x5"), 0);
}

TEST(ParseInt, SaturatesAtThe32BitLimits) {
  EXPECT_EQ(parseInt("2147483647"), INT32_MAX);
  EXPECT_EQ(parseInt("2147483648"), INT32_MAX);
  EXPECT_EQ(parseInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(parseInt("-2147483647"), -2147483647);
  EXPECT_EQ(parseInt("-2147483649"), INT32_MIN);
  EXPECT_EQ(parseInt("0000000000002147483647"), INT32_MAX);
  EXPECT_EQ(parseInt("99999999999999999999999999999999"), INT32_MAX);
  EXPECT_EQ(parseInt("-99999999999999999999999999999999"), INT32_MIN);
  // 2^32 + 5 must not wrap around to 5.
  EXPECT_EQ(parseInt("4294967301"), INT32_MAX);
  EXPECT_EQ(parseInt("-4294967301"), INT32_MIN);
}

TEST(CommandLine, Defaults) {
  const CommandLine line = parse({"data.txt"});
  EXPECT_EQ(line.filename, "data.txt");
  EXPECT_EQ(line.nperm, 1000);
  EXPECT_FALSE(line.hasSeed);
}

TEST(CommandLine, AllArguments) {
  const CommandLine line = parse({"my data.txt", "250", "-7"});
  EXPECT_EQ(line.filename, "my data.txt");
  EXPECT_EQ(line.nperm, 250);
  EXPECT_TRUE(line.hasSeed);
  EXPECT_EQ(line.seed, -7);
  // A zero seed is still a seed given; positive seeds are the generator's business.
  EXPECT_TRUE(parse({"f", "100", "0"}).hasSeed);
  EXPECT_EQ(parse({"f", "100", "0"}).seed, 0);
  EXPECT_EQ(parse({"f", "100", "5"}).seed, 5);
}

// The command line reads nperm like atoi; the run holds it to its bounds.
TEST(CommandLine, PermutationBounds) {
  EXPECT_EQ(parse({"f", "100"}).nperm, 100);
  EXPECT_EQ(parse({"f", "150x"}).nperm, 150);
  EXPECT_EQ(parse({"f", "715827882"}).nperm, 715827882);
  EXPECT_EQ(parse({"f", "abc"}).nperm, 0);
  const auto expectBound = [](int64_t nperm, const char* message) {
    EXPECT_EQ(test::errorReport([&] { checkPermutationCount(nperm); }),
              std::string("ERROR: ") + message + "\n")
        << nperm;
  };
  for (const char* low : {"99", "abc", "-1000"}) {
    expectBound(parse({"f", low}).nperm, "Must have at least 100 permutations");
  }
  for (const char* high : {"715827883", "99999999999"}) {
    expectBound(parse({"f", high}).nperm, "Must have at most 715827882 permutations");
  }
  EXPECT_EQ(test::errorReport([] { checkPermutationCount(100); }), "no error");
}

TEST(CommandLine, WrongArgumentCount) {
  expectFatal({}, "SYNTAX: tevrol filename [nperm [seed]]");
  expectFatal({"f", "100", "-1", "extra"}, "SYNTAX: tevrol filename [nperm [seed]]");
}

TEST(CommandLine, OptionsEndAtTheFileName) {
  const CommandLine line =
      parse({"-t", "4", "--json=r.json", "--null", "n.tsv", "--progress", "data.txt", "100", "-1"});
  EXPECT_EQ(line.options.threads, 4);
  EXPECT_EQ(line.options.jsonPath, "r.json");
  EXPECT_EQ(line.options.nullPath, "n.tsv");
  EXPECT_EQ(line.options.progress, ProgressMode::On);
  EXPECT_EQ(line.filename, "data.txt");
  EXPECT_EQ(line.seed, -1);
  // After the file name, and after "--", words that look like options are positional.
  EXPECT_EQ(parse({"-", "100", "-5"}).filename, "-");
  EXPECT_EQ(parse({"--", "-t", "100"}).filename, "-t");
  expectFatal({"f", "100", "-1", "--json"}, "SYNTAX: tevrol filename [nperm [seed]]");
  // A second parse starts afresh (getopt keeps state between calls).
  EXPECT_EQ(parse({"--no-progress", "-t2", "g"}).options.threads, 2);
  EXPECT_EQ(parse({"--no-progress", "-t2", "g"}).options.progress, ProgressMode::Off);
  EXPECT_TRUE(parse({"--version", "--bogus"}).options.version);
}

TEST(CommandLine, BadOptionsNameTheOption) {
  expectFatal({"-x", "f"}, "Unknown option -x (tevrol --help lists the options)");
  expectFatal({"--bogus", "f"}, "Unknown option --bogus (tevrol --help lists the options)");
  expectFatal({"--n", "x", "f"}, "Option --n is ambiguous");
  expectFatal({"--help=1"}, "Option --help takes no value");
  expectFatal({"-t"}, "Option -t needs a value");
  EXPECT_EQ(parse({"f", "--null"}).nperm, 0);  // after the file name: positional
  expectFatal({"--null"}, "Option --null needs a value");
  expectFatal({"--json", "", "f"}, "Option --json needs a file name");
  for (const char* bad : {"0", "257", "4x", " 4", "-1", "", "99999999999"}) {
    expectFatal({"--threads", bad, "f"}, "Option --threads must be a whole number from 1 to 256");
  }
  expectFatal({"-t0", "f"}, "Option -t must be a whole number from 1 to 256");
}

}  // namespace
}  // namespace tevrol
