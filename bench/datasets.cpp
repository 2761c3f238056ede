#include "datasets.h"

#include <random>
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
