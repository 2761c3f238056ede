// Synthetic data sets for the benchmarks. Every generator is deterministic
// for its seed; factors are drawn at random among levels r0.. and p0...
#pragma once

#include <string>

namespace tevrol::bench {

// N individuals, L loci with V one-letter texts each, A x B levels.
std::string randomTable(int individuals, int loci, int levelsA, int levelsB, int values,
                        unsigned seed);

// N individuals on 4 x 3 levels, L biallelic loci written 0/1. With
// haplotypes > 0 every individual carries one of that many random sequences;
// with 0 every locus of every individual is drawn on its own.
std::string wideTable(int individuals, int loci, int haplotypes, unsigned seed);

// N individuals on 4 x 3 levels whose every locus text is unique in its column.
std::string uniqueTable(int individuals, int loci, unsigned seed);

// S rows that hold the two factors alone (their loci empty), then N rows of
// L biallelic loci written 0/1, on 4 x 3 levels.
std::string shortThenLongTable(int shortRows, int individuals, int loci, unsigned seed);

// An aligned FASTA file of S sequences of L sites, V of them variable (their
// odds differ between 4 regions), with a share of unread bases (N) spread at
// random, wrapped at 60 bases; and its sample sheet (sample, region, period).
bool writeAlignment(const std::string& fasta, const std::string& sheet, int sequences, int sites,
                    int variable, double unread, unsigned seed);

// A VCF of S diploid samples at L biallelic sites, phased, each sample's
// alleles drawn with odds that differ between its 4 regions, 1 call in 200
// missing (./.); and its sample sheet (sample, region, period).
bool writeVariants(const std::string& vcf, const std::string& sheet, int samples, int sites,
                   unsigned seed);

}  // namespace tevrol::bench
