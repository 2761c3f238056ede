#include "cli/command_line.h"

#include <getopt.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "base/parse_int.h"

namespace tevrol {

namespace {

// Values of the options without a short form.
enum LongOnly { kJson = 256, kNull, kProgress, kNoProgress, kSamples, kFactors, kMissing, kMaxMissing,
               kHaplotypes, kRegion };
// Options of the blocks after the P values.
enum BlockOption { kInteraction = 512, kEffects, kPairwise };

const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"threads", required_argument, nullptr, 't'},
    {"json", required_argument, nullptr, kJson},
    {"null", required_argument, nullptr, kNull},
    {"progress", no_argument, nullptr, kProgress},
    {"no-progress", no_argument, nullptr, kNoProgress},
    {"samples", required_argument, nullptr, kSamples},
    {"factors", required_argument, nullptr, kFactors},
    {"missing", required_argument, nullptr, kMissing},
    {"max-missing", required_argument, nullptr, kMaxMissing},
    {"haplotypes", no_argument, nullptr, kHaplotypes},
    {"region", required_argument, nullptr, kRegion},
    {"interaction", no_argument, nullptr, kInteraction},
    {"effects", no_argument, nullptr, kEffects},
    {"pairwise", no_argument, nullptr, kPairwise},
    {nullptr, 0, nullptr, 0},
};

// '+': stop at the first positional word; ':' return ':' for a missing
// argument instead of printing a message.
constexpr const char* kShortOptions = "+:hVt:";

// The option as the user wrote it, for messages: a long option up to any
// '=', a short one as "-c". `word` is the argument word that holds it.
std::string optionName(const char* word, int shortOption) {
  if (std::strncmp(word, "--", 2) == 0) {
    const char* equals = std::strchr(word, '=');
    return equals == nullptr ? std::string(word) : std::string(word, equals);
  }
  return std::string("-") + static_cast<char>(shortOption);
}

// More than one long option starts with the name given ("--n").
bool isAmbiguous(const std::string& name) {
  if (name.compare(0, 2, "--") != 0) return false;
  int matches = 0;
  for (const option* o = kLongOptions; o->name != nullptr; ++o) {
    if (std::strncmp(o->name, name.c_str() + 2, name.size() - 2) == 0) ++matches;
  }
  return matches > 1;
}

std::string requirePath(const std::string& word, const char* text) {
  if (*text == '\0') fatalError("Option " + word + " needs a file name");
  return text;
}

// Two column names, "NAME,NAME".
std::vector<std::string> factorNames(const std::string& word, const char* text) {
  std::vector<std::string> names = splitList(text);
  if (names.size() != 2 || names[0].empty() || names[1].empty()) {
    fatalError("Option " + word + " must name two columns of the sample sheet: NAME,NAME");
  }
  return names;
}

// A share from 0 to 1, written as a plain decimal number and nothing else.
double share(const std::string& word, const char* text) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  const bool plain = *text != '\0' && *end == '\0' && errno == 0 &&
                     std::strspn(text, "0123456789.eE+-") == std::strlen(text);
  if (!plain || !(value >= 0 && value <= 1)) {
    fatalError("Option " + word + " must be a number from 0 to 1");
  }
  return value;
}

// Reads the options; returns the index of the first positional word.
int parseOptions(int argc, const char* const* argv, Options& options) {
  // getopt keeps its position in globals: 0 starts a fresh scan (and lets a
  // harness run the parser more than once).
  optind = 0;
  opterr = 0;
  auto* words = const_cast<char* const*>(argv);
  for (;;) {
    // getopt leaves optind on the word it is inside until it has read all of
    // it, so this is the word that holds the option returned next.
    const int index = optind < 1 ? 1 : optind;
    const char* word = index < argc ? argv[index] : "";
    const int c = getopt_long(argc, words, kShortOptions, kLongOptions, nullptr);
    if (c == -1) break;
    const std::string name = optionName(word, c == ':' || c == '?' ? optopt : c);
    switch (c) {
      case 'h':
        options.help = true;
        return optind;
      case 'V':
        options.version = true;
        return optind;
      case 't':
        options.threads = parseThreadCount(optarg);
        if (options.threads == 0)
          fatalError("Option " + name + " must be a whole number from 1 to 256");
        break;
      case kJson:
        options.jsonPath = requirePath(name, optarg);
        break;
      case kNull:
        options.nullPath = requirePath(name, optarg);
        break;
      case kProgress:
        options.progress = ProgressMode::On;
        break;
      case kNoProgress:
        options.progress = ProgressMode::Off;
        break;
      case kSamples:
        options.input.samples = requirePath(name, optarg);
        break;
      case kFactors:
        options.input.factors = factorNames(name, optarg);
        break;
      case kMissing:
        options.input.hasMissing = true;
        options.input.missing = splitList(optarg);
        break;
      case kMaxMissing:
        options.input.maxMissing = share(name, optarg);
        break;
      case kHaplotypes:
        options.input.haplotypes = true;
        break;
      case kRegion:
        if (*optarg == '\0') fatalError("Option " + name + " needs a region: CHR, CHR:POS or CHR:FROM-TO");
        options.input.regions.emplace_back(optarg);
        break;
      case kInteraction:
        options.interaction = true;
        break;
      case kEffects:
        options.effects = true;
        break;
      case kPairwise:
        options.pairwise = true;
        break;
      case ':':
        fatalError("Option " + name + " needs a value");
      default:
        // A known long option given a value it does not take leaves optopt set.
        if (optopt != 0 && name.compare(0, 2, "--") == 0) {
          fatalError("Option " + name + " takes no value");
        }
        if (isAmbiguous(name)) fatalError("Option " + name + " is ambiguous");
        fatalError("Unknown option " + name + " (tevrol --help lists the options)");
    }
  }
  return optind;
}

// Words of text after a label, in lines of at most 72 characters, each
// further line indented like the first.
std::string wrapped(const std::string& label, const std::string& text) {
  constexpr size_t kWidth = 72;
  std::string out = label;
  size_t lineStart = 0;
  size_t at = 0;
  while (at < text.size()) {
    const size_t space = text.find(' ', at);
    const size_t end = space == std::string::npos ? text.size() : space;
    const std::string word = text.substr(at, end - at);
    const size_t column = out.size() - lineStart;
    if (at > 0 && column + 1 + word.size() > kWidth) {
      out += '\n';
      lineStart = out.size();
      out += std::string(label.size(), ' ');
    } else if (at > 0) {
      out += ' ';
    }
    out += word;
    at = end + 1;
  }
  return out + '\n';
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  const int first = parseOptions(argc, argv, line.options);
  if (line.options.help || line.options.version) return line;
  const int arguments = argc - first;
  if (arguments < 1 || arguments > 3) fatalError("SYNTAX: tevrol filename [nperm [seed]]");
  line.filename = argv[first];
  if (arguments >= 2) {
    line.nperm = parseInt(argv[first + 1]);
  }
  if (arguments == 3) {
    line.hasSeed = true;
    line.seed = parseInt(argv[first + 2]);
  }
  return line;
}

void printHelp() {
  std::fputs(
      "Usage: tevrol [options] filename [nperm [seed]]\n"
      "\n"
      "Distance-based two-way analysis of variance of haplotype data, with\n"
      "permutation tests of both factors. The report goes to standard output.\n"
      "\n"
      "Arguments:\n"
      "  filename        tab-separated table: factor 1, factor 2, then one column\n"
      "                  per locus; or an aligned FASTA file (first byte '>'), or a\n"
      "                  VCF or BCF file, whose factors come from --samples. - reads\n"
      "                  standard input.\n"
      "                  gzip-compressed input (also multi-member, bgzip) is\n"
      "                  recognised by its first bytes.\n"
      "  nperm           permutations of each of the three types (default 1000,\n"
      "                  100 to 715827882)\n"
      "  seed            0 or a negative integer (default: from the clock)\n"
      "\n"
      "Options (before the file name; -- ends them):\n"
      "  -h, --help      show this help and exit\n"
      "  -V, --version   show the version and exit\n"
      "  -t, --threads N use at most N threads (1 to 256)\n"
      "      --json FILE write the results as JSON to FILE\n"
      "      --null FILE write every permuted F, one line per permutation, to FILE\n"
      "      --samples FILE  sample sheet of an alignment or a VCF: a table with a\n"
      "                  header line, sample names (the first word of each FASTA\n"
      "                  header, or the VCF's) in the first column; sequences and\n"
      "                  samples without a row are left out\n"
      "      --factors NAME,NAME  the sheet's columns of factor 1 and factor 2\n"
      "                  (default: its second and third columns)\n"
      "      --missing LIST  texts that are missing values, separated by commas\n"
      "                  (a table: whole fields, as NA,?,-9; an alignment: single\n"
      "                  characters, default every one but A, C, G and T). A missing\n"
      "                  value differs from no other: two individuals are compared\n"
      "                  at the loci where both have a value\n"
      "      --max-missing F  leave out loci with a share of missing values above F\n"
      "                  (0 to 1, default 1; 0 keeps only loci without any)\n"
      "      --haplotypes  VCF: each haplotype of a sample is an individual (an\n"
      "                  unphased heterozygous call is missing in each); default:\n"
      "                  each sample is one, its genotype an unordered set of alleles\n"
      "      --region REGION  VCF or BCF with an index (.tbi, .csi): only the\n"
      "                  records whose position lies in CHR, CHR:POS or CHR:FROM-TO;\n"
      "                  may be given more than once\n"
      "      --interaction  add the table with interaction (XA, XB, XA:XB and\n"
      "                  Residual) and its P values: XA from the type 0, XB from\n"
      "                  the type 1, XA:XB from the type 2 permutations\n"
      "      --effects   add the effect sizes: R2 of each factor's Seq SS and Adj SS,\n"
      "                  its variance component in percent and as Phi\n"
      "      --pairwise  add the comparisons of every pair of levels of each factor\n"
      "                  (the individuals at the two levels, type 0 permutations for\n"
      "                  XA, type 1 for XB), P values adjusted by Holm and by\n"
      "                  Benjamini-Hochberg\n"
      "      --progress  show progress on standard error\n"
      "      --no-progress  do not (default: progress when standard error is a terminal)\n"
      "\n"
      "Environment:\n"
      "  TEVROL_THREADS  at most this many threads (1 to 256); -t wins over it\n",
      stdout);
  std::fputs(
      wrapped("  TEVROL_ENGINE   ", engineChoices() + ": how permutations are computed").c_str(),
      stdout);
  std::fputs(
      "\n"
      "Exit status: 0 for a complete run, 13 for any error (one ERROR line on\n"
      "standard output, or the reason on standard error when an output cannot\n"
      "be written).\n",
      stdout);
}

void printVersion() {
  std::puts("tevrol " TEVROL_VERSION);
}

}  // namespace tevrol
