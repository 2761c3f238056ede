#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/missing_rule.h"

namespace tevrol {

class DataTable;

// How to read an input, the same for every front end.
struct InputOptions {
  // A sample sheet for an alignment: a tab-separated table with a header,
  // sample names in its first column. Empty: none.
  std::string samples;
  // The sheet's columns that give the two factors; empty: its second and
  // third columns.
  std::vector<std::string> factors;
  // The texts that are missing values; for an alignment each is one
  // character. Not given: no missing values in a table, everything but A, C,
  // G and T in an alignment.
  bool hasMissing = false;
  std::vector<std::string> missing;
  // Loci whose share of missing values exceeds this are left out.
  double maxMissing = 1.0;
  // VCF and BCF: each sample's haplotypes are individuals, instead of its
  // genotype; only the records in these regions (through the file's index).
  bool haplotypes = false;
  std::vector<std::string> regions;
  int threads = 1;  // threads that may decompress a bgzip-compressed VCF or BCF
};

// What was read, and what of it the analysis uses.
struct InputSummary {
  std::string format = "table";  // "table", "fasta", "vcf" or "bcf"
  std::string samples;           // the sample sheet, if any
  MissingRule missing;
  double maxMissing = 1.0;
  bool haplotypes = false;         // VCF and BCF: individuals are haplotypes
  std::vector<std::string> regions;
  int64_t fileSamples = 0;        // VCF and BCF: the samples of the file
  int64_t records = 0;            // alignment records (sequences) or VCF records read
  int64_t recordsWithoutRow = 0;  // sequences or VCF samples whose name the sheet lacks
  int64_t rowsWithoutRecord = 0;  // sheet rows whose name no sequence or VCF sample has
  int64_t sites = 0;              // locus columns, or the alignment's length
  int64_t loci = 0;               // loci of the analysis
  int64_t missingValues = 0;      // missing values of the individuals, at every site
  int64_t singleState = 0;        // sites left out: fewer than two values apart from missing ones
  int64_t tooManyMissing = 0;     // sites left out: too many missing values
};

// Receives a note for the user that is no part of the report (records left
// out, ...).
using NoticeSink = std::function<void(const std::string&)>;

// The one door for input: a table, an aligned FASTA file (recognised by its
// first byte, '>', also inside gzip) or a VCF or BCF file (by its first
// bytes), the last two joined with their sample sheet. The
// table that comes out holds the two factors in its first two columns and
// one locus a column after them; for an alignment only the sites that can
// tell individuals apart. Fatal on anything that cannot be read as one.
void readInput(const std::string& path, const InputOptions& options, DataTable& table,
               InputSummary& summary, const NoticeSink& notice);

// The missing-value rule of a table read with these options (the rule of an
// alignment is the reader's).
MissingRule tableMissingRule(const InputOptions& options);

// "NA,?,-9" as texts; the empty text between commas counts.
std::vector<std::string> splitList(const std::string& text);

// Fatal unless maxMissing is a number from 0 to 1; `what` names where it
// came from ("Option --max-missing").
void checkMaxMissing(double maxMissing, const std::string& what);

}  // namespace tevrol
