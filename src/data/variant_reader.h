#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/code_column.h"

namespace tevrol {

class BlockReader;

// The text of a missing call, the one missing value of variant data.
inline constexpr const char* kMissingCall = ".";

// What a first block of decompressed bytes shows.
enum class VariantFormat { None, Vcf, Bcf };
VariantFormat variantFormat(const char* first, size_t size);

// A record whose genotypes tell at least two individuals apart.
struct VariantSite {
  std::string name;                // CHROM:POS
  std::vector<std::string> texts;  // "0/1", "1", "." ..., in order of first appearance
  CodeColumn codes;                // one per individual, an index into texts
};

struct VariantData {
  std::string format;                // "vcf" or "bcf"
  std::vector<std::string> samples;  // every sample of the file, in its order
  std::vector<uint8_t> kept;         // 1: the sample is read
  // Individuals of each kept sample: its ploidy with haplotypes, else 1.
  std::vector<int32_t> individualsOf;
  int64_t records = 0;           // records read (in the regions, if any)
  int64_t singleStateSites = 0;  // records left out: fewer than two values apart from missing ones
  int64_t missingValues = 0;     // missing values of the individuals, in every record
  std::vector<VariantSite> variable;  // the other records, in the order read
};

struct VariantOptions {
  std::string path;  // a file, or "-"
  std::string file;  // its name in messages
  // Each sample's haplotypes are individuals, instead of its genotype.
  bool haplotypes = false;
  // htslib regions (chr, chr:from-to, chr:pos); empty: the whole file.
  std::vector<std::string> regions;
  int threads = 1;  // for decompressing BGZF blocks
  // Whether a sample is read; empty: every one.
  std::function<bool(const std::string&)> keep;
};

// Reads a VCF (plain, gzip or bgzip) or BCF input whose first decompressed
// block has been taken from `blocks`. A regular file is opened again by
// htslib (with its index for regions); a pipe or standard input is passed to
// htslib as the bytes already decompressed. Each record is a locus; an
// individual's value is its call in GT: a genotype as an unordered set of
// alleles, or with haplotypes each allele of a phased call. Missing and
// partly missing calls, and records without GT, are missing values. Fatal on
// anything htslib cannot read, a truncated file, or a ploidy that changes
// under haplotypes.
VariantData readVariants(const VariantOptions& options, BlockReader& blocks, const char* first,
                         size_t size);

}  // namespace tevrol
