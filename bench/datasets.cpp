#include "datasets.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace tevrol::bench {
namespace {

std::string header(int loci) {
  std::string text = "region\tperiod";
  for (int l = 0; l < loci; ++l) text += "\tlocus" + std::to_string(l + 1);
  return text + '\n';
}

void appendFactors(std::string& text, std::mt19937_64& rng, int levelsA, int levelsB) {
  const auto a = rng() % static_cast<unsigned>(levelsA);
  const auto b = rng() % static_cast<unsigned>(levelsB);
  text += "r" + std::to_string(a) + "\tp" + std::to_string(b);
}

// One row's loci as "\t0\t1...": the same layout whether drawn or copied.
std::string randomBits(std::mt19937_64& rng, int loci) {
  std::string bits;
  bits.reserve(2 * static_cast<size_t>(loci));
  for (int l = 0; l < loci; ++l) {
    bits += '\t';
    bits += static_cast<char>('0' + (rng() & 1));
  }
  return bits;
}

}  // namespace

std::string randomTable(int individuals, int loci, int levelsA, int levelsB, int values,
                        unsigned seed) {
  std::mt19937_64 rng(seed);
  std::string text = header(loci);
  for (int i = 0; i < individuals; ++i) {
    appendFactors(text, rng, levelsA, levelsB);
    for (int l = 0; l < loci; ++l) {
      text += '\t';
      text += static_cast<char>('A' + rng() % static_cast<unsigned>(values));
    }
    text += '\n';
  }
  return text;
}

std::string wideTable(int individuals, int loci, int haplotypes, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::vector<std::string> pool;
  for (int h = 0; h < haplotypes; ++h) pool.push_back(randomBits(rng, loci));
  std::string text = header(loci);
  text.reserve(text.size() + static_cast<size_t>(individuals) * (2 * loci + 8));
  for (int i = 0; i < individuals; ++i) {
    appendFactors(text, rng, 4, 3);
    text += haplotypes > 0 ? pool[rng() % pool.size()] : randomBits(rng, loci);
    text += '\n';
  }
  return text;
}

std::string uniqueTable(int individuals, int loci, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::string text = header(loci);
  for (int i = 0; i < individuals; ++i) {
    appendFactors(text, rng, 4, 3);
    for (int l = 0; l < loci; ++l) text += "\tu" + std::to_string(i);
    text += '\n';
  }
  return text;
}

std::string shortThenLongTable(int shortRows, int individuals, int loci, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::string text = header(loci);
  text.reserve(text.size() + static_cast<size_t>(individuals) * (2 * loci + 8));
  for (int i = 0; i < shortRows; ++i) {
    appendFactors(text, rng, 4, 3);
    text += '\n';
  }
  for (int i = 0; i < individuals; ++i) {
    appendFactors(text, rng, 4, 3);
    text += randomBits(rng, loci);
    text += '\n';
  }
  return text;
}

}  // namespace tevrol::bench

namespace tevrol::bench {

bool writeAlignment(const std::string& fasta, const std::string& sheet, int sequences, int sites,
                    int variable, double unread, unsigned seed) {
  std::mt19937_64 rng(seed);
  const char bases[] = "ACGT";
  std::string reference(static_cast<size_t>(sites), 'A');
  for (char& b : reference) b = bases[rng() % 4];
  std::vector<int> varying;
  for (int v = 0; v < variable; ++v) {
    varying.push_back(static_cast<int>(rng() % static_cast<unsigned>(sites)));
  }
  std::FILE* out = std::fopen(fasta.c_str(), "wb");
  std::FILE* rows = std::fopen(sheet.c_str(), "wb");
  if (out == nullptr || rows == nullptr) return false;
  std::fputs("sample\tregion\tperiod\n", rows);
  const auto unreadPerSequence = static_cast<int>(unread * sites);
  std::string seq;
  std::string text;
  for (int s = 0; s < sequences; ++s) {
    const auto region = rng() % 4;
    std::fprintf(rows, "s%06d\tr%d\tp%d\n", s, static_cast<int>(region),
                 static_cast<int>(rng() % 3));
    seq = reference;
    // The region shifts the odds of the other base at every variable site.
    for (const int at : varying) {
      if (rng() % 100 < 20 + 5 * region) seq[static_cast<size_t>(at)] = bases[(rng() % 3 + 1 + at) % 4];
    }
    for (int k = 0; k < unreadPerSequence; ++k) seq[rng() % seq.size()] = 'N';
    text = ">s" + std::to_string(1000000 + s).substr(1) + " simulated\n";
    for (size_t at = 0; at < seq.size(); at += 60) text += seq.substr(at, 60) + '\n';
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) return false;
  }
  const bool closed = std::fclose(out) == 0;
  return std::fclose(rows) == 0 && closed;
}

bool writeVariants(const std::string& vcf, const std::string& sheet, int samples, int sites,
                   unsigned seed) {
  std::mt19937_64 rng(seed);
  std::FILE* out = std::fopen(vcf.c_str(), "wb");
  std::FILE* rows = std::fopen(sheet.c_str(), "wb");
  if (out == nullptr || rows == nullptr) return false;
  std::fputs("sample\tregion\tperiod\n", rows);
  std::string text =
      "##fileformat=VCFv4.2\n##contig=<ID=1,length=250000000>\n"
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
      "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  std::vector<int> region(static_cast<size_t>(samples));
  for (int s = 0; s < samples; ++s) {
    region[static_cast<size_t>(s)] = static_cast<int>(rng() % 4);
    std::fprintf(rows, "i%06d\tr%d\tp%d\n", s, region[static_cast<size_t>(s)],
                 static_cast<int>(rng() % 3));
    text += "\ti" + std::to_string(1000000 + s).substr(1);
  }
  text += '\n';
  for (int site = 0; site < sites; ++site) {
    // The other allele's odds, in percent, in each region.
    int odds[4];
    const auto base = static_cast<int>(rng() % 40) + 5;
    for (int r = 0; r < 4; ++r) odds[r] = base + r * static_cast<int>(rng() % 8);
    text += "1\t" + std::to_string(100 + site * 10) + "\t.\tA\tG\t.\tPASS\t.\tGT";
    for (int s = 0; s < samples; ++s) {
      const uint64_t draw = rng();
      if (draw % 200 == 0) {
        text += "\t./.";
        continue;
      }
      const int o = odds[region[static_cast<size_t>(s)]];
      const char a = static_cast<int>((draw >> 8) % 100) < o ? '1' : '0';
      const char b = static_cast<int>((draw >> 24) % 100) < o ? '1' : '0';
      text += '\t';
      text += a;
      text += '|';
      text += b;
    }
    text += '\n';
    if (text.size() > (1 << 22) || site + 1 == sites) {
      if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) return false;
      text.clear();
    }
  }
  const bool closed = std::fclose(out) == 0;
  return std::fclose(rows) == 0 && closed;
}

}  // namespace tevrol::bench
