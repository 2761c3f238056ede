#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/code_column.h"
#include "data/missing_rule.h"

namespace tevrol {

// A site of an alignment at which the individuals hold at least two values
// apart from missing ones.
struct FastaSite {
  int64_t position = 0;            // 1-based column of the alignment
  std::vector<std::string> texts;  // its values, one character each, in order of first appearance
  CodeColumn codes;                // one per individual, an index into texts
};

// An aligned FASTA file as the analysis needs it: the records that are
// individuals, and only the sites that can tell them apart.
struct FastaAlignment {
  std::vector<std::string> names;  // every record's sample name, in file order
  std::vector<uint8_t> kept;       // 1: the record of that name is an individual
  int64_t sites = 0;               // the length of the alignment
  // Sites left out: fewer than two values among the individuals, apart from
  // missing ones.
  int64_t singleStateSites = 0;
  int64_t missingValues = 0;        // missing values of the individuals, at every site
  std::vector<FastaSite> variable;  // the other sites, in alignment order
};

struct FastaOptions {
  std::string file;  // the input's name, for messages
  // Which values are missing: texts of one character, in upper case.
  MissingRule rule;
  // Whether the record of a sample name is an individual; empty: every one.
  std::function<bool(const std::string&)> keep;
};

// Reads an aligned FASTA file fed to it in blocks cut anywhere. A record is a
// header line, '>' and its sample name (the first word after any blanks),
// then its sequence on any number of lines. Blanks and line ends (LF, CR LF,
// CR) inside a sequence are skipped; letters are read in upper case and U as
// T. Every sequence must be as long as the first. Each sequence is held as
// its differences from the first individual's while the file is read, so
// memory follows the variable sites rather than the file. Fatal on a record
// without a name, an empty sequence, a sequence of another length, and a
// sample name that occurs twice.
class FastaParser {
 public:
  explicit FastaParser(FastaOptions options);
  ~FastaParser();
  FastaParser(const FastaParser&) = delete;
  FastaParser& operator=(const FastaParser&) = delete;

  void feed(const char* bytes, size_t size);
  FastaAlignment finish();

 private:
  class State;
  std::unique_ptr<State> state_;
};

}  // namespace tevrol
