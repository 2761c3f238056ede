// Benchmarks of the whole program and of the permutation engine.
//
//   tevrol_bench generate N L A B V SEED > data.txt
//       a data set: N individuals, L loci with V texts each, A x B levels
//   tevrol_bench generate-wide N L H SEED > data.txt
//       N individuals, L biallelic loci, H distinct haplotypes (0: all drawn)
//   tevrol_bench run TEVROL [REPEATS [PREVIOUS]]
//       every table of bench/RESULTS.md: the narrow cases (the whole program,
//       median wall time and peak memory of REPEATS runs, and in this process
//       the drawing of the arrangements alone, the engine with one and with
//       all threads, the literal N x N computation where it fits), a million
//       individuals against the drawing floor, the wide cases with their
//       reading speed, thread counts, and the reader's memory on the same
//       bytes read from a file, a pipe and gzip. PREVIOUS, another build of
//       tevrol, runs beside TEVROL on the same files.
//   tevrol_bench part NAME TEVROL [REPEATS [PREVIOUS]]
//       one of those tables: narrow, million, wide, threads, memory, costs,
//       alignment (a FASTA alignment, plain and gzip, beside zcat), missing
//       (a wide table with 5% of its values missing, beside the same without)
//       variants (a VCF of 2,000 x 100,000 genotypes, bgzip and BCF,
//       beside bcftools; needs Debian's bcftools and tabix) or blocks
//       (--interaction beside the same run without it; --pairwise beside
//       the files of its 45 pairs run one by one)
//   tevrol_bench generate-vcf VCF SHEET SAMPLES SITES
//       the VCF of the variants part and its sample sheet
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/distances.h"
#include "data/data_table.h"
#include "data/levels.h"
#include "datasets.h"
#include "engine/engine.h"
#include "permutation/arrangement.h"
#include "permutation/pass_loop.h"
#include "permutation/random.h"
#include "program_run.h"

namespace {

using namespace tevrol;
using namespace tevrol::bench;

struct Case {
  int individuals;
  int loci;
  int levelsA;
  int levelsB;
  int values;
  int32_t nperm;
  bool reference;  // the N x N computation is affordable
};

double seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Prepared {
  explicit Prepared(const std::string& text) : table(std::make_unique<DataTable>(100000)) {
    table->parse(text);
    design = makeDesign(countCells(*table));
    loci = buildLocusCodes(*table, buildCellMembers(*table, design));
  }
  std::unique_ptr<DataTable> table;
  Design design;
  LocusCodes loci;
};

// Seconds of one permutation run (seed -1) on the data; body runs the loop.
template <typename Body>
double timeLoop(const Prepared& p, int32_t nperm, const Body& body) {
  Random random;
  random.setSeed(-1);
  AnovaStats stats;
  computeFixedStats(stats, p.design);
  PermutationCounts counts;
  const PassLoop loop{p.design, nperm, random, stats, counts, nullptr, nullptr};
  return seconds([&] { body(loop); });
}

// mode: nullptr for the automatic choice; used: the mode that ran.
double timeEngine(const Prepared& p, int32_t nperm, int threads, const EngineModeRow* mode,
                  const char*& used) {
  return timeLoop(p, nperm, [&](const PassLoop& loop) {
    const auto engine = makeEngine(p.design, p.loci, nperm, mode, threads);
    used = engine->mode().name;
    runEngineLoop(loop, *engine, threads);
  });
}

// The reference mode on one thread.
double timeReference(const Prepared& p, int32_t nperm) {
  const char* used = nullptr;
  return timeEngine(p, nperm, 1, findEngineMode("reference"), used);
}

// The generator's part of drawing the arrangements: the serial floor, which
// no number of threads removes.
double timeDrawing(const Prepared& p, int32_t nperm) {
  Random random;
  random.setSeed(-1);
  const Arrangements arrangements(p.design);
  std::vector<int32_t> indices(static_cast<size_t>(p.design.individuals));
  return seconds([&] {
    for (int32_t pass = 0; pass < 3 * nperm; ++pass) {
      arrangements.drawIndices(pass % 3, random, indices.data());
    }
  });
}

// The builds under test: tevrol, and another build to run beside it.
struct Programs {
  std::string tevrol;
  std::string previous;  // empty: none
  int repeats;
};

std::string writeFile(const std::string& name, const std::string& text) {
  const std::string file = "/tmp/tevrol-bench-" + name + ".txt";
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    // A data set cut short would be timed as if whole.
    std::fprintf(stderr, "could not write %s\n", file.c_str());
    std::exit(1);
  }
  sync();  // or writing it back would slow the runs that read it
  return file;
}

ProgramCall plainCall(const std::string& file, int32_t nperm) {
  return ProgramCall{{file, std::to_string(nperm), "-1"}, {}, false, {}};
}

// "| new | previous | new / previous" cells of one call, or dashes.
std::string besidePrevious(const Programs& p, const ProgramCall& call, double seconds,
                           int repeats) {
  if (p.previous.empty()) return "- | - | -";
  const ProgramRun before = medianRun(p.previous, call, repeats);
  char cells[96];
  std::snprintf(cells, sizeof cells, "%.3f | %.0f | %.2f", before.seconds, before.peakMiB,
                seconds / before.seconds);
  return cells;
}

void runNarrowCases(const Programs& p) {
  const Case cases[] = {
      {1000, 20, 4, 3, 4, 1000, true},
      {10000, 20, 4, 3, 4, 1000, false},
      {100000, 20, 4, 3, 4, 1000, false},
      {500, 20000, 4, 3, 4, 1000, false},
  };
  const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::printf(
      "| N | L | mode | program (s) | peak RSS (MiB) | passes/s | drawing (s) | "
      "engine 1 thread (s) | engine %d threads (s) | 1 / %d threads | reference (s) | "
      "reference / engine | previous (s) | previous RSS (MiB) | program / previous |\n",
      threads, threads);
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Case& c : cases) {
    const std::string text =
        randomTable(c.individuals, c.loci, c.levelsA, c.levelsB, c.values, 20261209);
    const std::string file =
        writeFile(std::to_string(c.individuals) + "x" + std::to_string(c.loci), text);
    const ProgramCall call = plainCall(file, c.nperm);
    const ProgramRun run = medianRun(p.tevrol, call, p.repeats);
    const std::string previous = besidePrevious(p, call, run.seconds, p.repeats);
    const Prepared prepared(text);
    const char* mode = kAutomaticEngine;
    std::vector<double> draw, one, all;
    for (int r = 0; r < p.repeats; ++r) {
      draw.push_back(timeDrawing(prepared, c.nperm));
      one.push_back(timeEngine(prepared, c.nperm, 1, nullptr, mode));
      all.push_back(timeEngine(prepared, c.nperm, threads, nullptr, mode));
    }
    const double engineAll = median(all);
    std::string reference = "-", ratio = "-";
    if (c.reference) {
      const double t = timeReference(prepared, c.nperm);
      char cell[32];
      std::snprintf(cell, sizeof cell, "%.2f", t);
      reference = cell;
      std::snprintf(cell, sizeof cell, "%.0f", t / engineAll);
      ratio = cell;
    }
    std::printf(
        "| %d | %d | %s | %.3f | %.0f | %.0f | %.3f | %.3f | %.3f | %.2f | %s | %s | %s |\n",
        c.individuals, c.loci, mode, run.seconds, run.peakMiB, 3.0 * c.nperm / run.seconds,
        median(draw), median(one), engineAll, median(one) / engineAll, reference.c_str(),
        ratio.c_str(), previous.c_str());
    std::fflush(stdout);
    std::remove(file.c_str());
  }
}

// A million individuals: the generator's serial drawing is the floor.
void runMillion(const Programs& p) {
  const std::string text = randomTable(1000000, 20, 4, 3, 4, 20261209);
  const std::string file = writeFile("1000000x20", text);
  const ProgramCall call = plainCall(file, 1000);
  const ProgramRun run = medianRun(p.tevrol, call, 1);
  const std::string previous = besidePrevious(p, call, run.seconds, 1);
  double floor = 0;
  {
    const Prepared prepared(text);
    floor = timeDrawing(prepared, 1000);
  }
  std::printf(
      "| N | L | program (s) | peak RSS (MiB) | drawing floor (s) | program / floor | "
      "previous (s) | previous RSS (MiB) | program / previous |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  std::printf("| 1000000 | 20 | %.3f | %.0f | %.3f | %.2f | %s |\n", run.seconds, run.peakMiB,
              floor, run.seconds / floor, previous.c_str());
  std::fflush(stdout);
  std::remove(file.c_str());
}

// Wide biallelic data; the time to the ANOVA table is the reading speed.
void runWideCases(const Programs& p) {
  struct Wide {
    int individuals, loci, haplotypes;
  };
  const Wide cases[] = {{10000, 2000, 0}, {100000, 1000, 0}, {100000, 1000, 200}};
  std::printf(
      "| N | L | haplotypes | file (MB) | to the table (s) | MB/s | program (s) | "
      "peak RSS (MiB) | previous (s) | previous RSS (MiB) | program / previous |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Wide& w : cases) {
    std::string file;
    double megabytes = 0;
    {
      const std::string text = wideTable(w.individuals, w.loci, w.haplotypes, 20261210);
      megabytes = static_cast<double>(text.size()) / 1e6;
      file = writeFile("wide" + std::to_string(w.individuals) + "x" + std::to_string(w.loci) + "h" +
                           std::to_string(w.haplotypes),
                       text);
    }
    ProgramCall call = plainCall(file, 999);
    call.watchTable = true;
    const ProgramRun run = medianRun(p.tevrol, call, p.repeats);
    const std::string previous = besidePrevious(p, call, run.seconds, 1);
    std::printf("| %d | %d | %s | %.0f | %.3f | %.0f | %.3f | %.0f | %s |\n", w.individuals, w.loci,
                w.haplotypes > 0 ? std::to_string(w.haplotypes).c_str() : "all distinct", megabytes,
                run.tableSeconds, megabytes / run.tableSeconds, run.seconds, run.peakMiB,
                previous.c_str());
    std::fflush(stdout);
    std::remove(file.c_str());
  }
}

// Many short passes (is a second thread ever slower?) and the memory of many
// threads on data whose texts are all distinct.
void runThreadCases(const Programs& p) {
  std::printf("| case | 1 thread | more threads | ratio |\n|---|---|---|---|\n");
  ProgramCall demo = plainCall(TEVROL_BENCH_DEMO, 3000000);
  demo.environment = {"TEVROL_THREADS=1"};
  const ProgramRun one = medianRun(p.tevrol, demo, p.repeats);
  demo.environment = {"TEVROL_THREADS=2"};
  const ProgramRun two = medianRun(p.tevrol, demo, p.repeats);
  std::printf("| demo.txt, nperm 3,000,000: time (s), 1 and 2 threads | %.3f | %.3f | %.2f |\n",
              one.seconds, two.seconds, two.seconds / one.seconds);
  const std::string file = writeFile("unique", uniqueTable(100000, 20, 20261210));
  ProgramCall unique = plainCall(file, 100);
  unique.environment = {"TEVROL_THREADS=1"};
  const ProgramRun single = medianRun(p.tevrol, unique, 1);
  unique.environment = {"TEVROL_THREADS=64", "LD_PRELOAD=" TEVROL_BENCH_FAKE_NPROCS};
  const ProgramRun many = medianRun(p.tevrol, unique, 1);
  std::printf(
      "| 100,000 x 20 unique texts: peak RSS (MiB), 1 and 64 threads | %.0f | %.0f | "
      "%.3f |\n",
      single.peakMiB, many.peakMiB, many.peakMiB / single.peakMiB);
  std::fflush(stdout);
  std::remove(file.c_str());
}

// A gzip-compressed copy of a data set, beside it.
std::string writeGzipFile(const std::string& name, const std::string& text) {
  const std::string file = "/tmp/tevrol-bench-" + name + ".txt.gz";
  gzFile out = gzopen(file.c_str(), "wb1");
  bool written = out != nullptr;
  for (size_t at = 0; written && at < text.size(); at += 1 << 20) {
    const unsigned n = static_cast<unsigned>(std::min<size_t>(1 << 20, text.size() - at));
    written = gzwrite(out, text.data() + at, n) == static_cast<int>(n);
  }
  if (out == nullptr || gzclose(out) != Z_OK || !written) {
    std::fprintf(stderr, "could not write %s\n", file.c_str());
    std::exit(1);
  }
  sync();
  return file;
}

// Peak memory of the whole run for the same bytes read from a regular file,
// from a pipe and gzip-compressed: tables whose first rows are short (the
// input's size then promises far more rows than come), and tables of very
// many columns and few rows (what a column costs on its own).
void runMemoryCases(const Programs& p) {
  struct Memory {
    const char* name;
    int shortRows, individuals, loci;
    bool gzip;
  };
  const Memory cases[] = {
      {"1,100 short rows, then 3,000 x 2,000 loci", 1100, 3000, 2000, true},
      {"1,100 short rows, then 16,000 x 5,000 loci", 1100, 16000, 5000, false},
      {"1,100 short rows, then 2,000 x 20,000 loci", 1100, 2000, 20000, false},
      {"8 rows x 500,000 loci", 0, 8, 500000, false},
      {"8 rows x 2,000,000 loci", 0, 8, 2000000, false},
  };
  std::printf(
      "| data | file (MB) | read from | program (s) | peak RSS (MiB) | previous (s) | "
      "previous RSS (MiB) | peak / previous |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  for (const Memory& m : cases) {
    std::string file, gzip;
    double megabytes = 0;
    {
      const std::string text = shortThenLongTable(m.shortRows, m.individuals, m.loci, 20261211);
      megabytes = static_cast<double>(text.size()) / 1e6;
      const std::string name = "memory" + std::to_string(m.shortRows) + "s" +
                               std::to_string(m.individuals) + "x" + std::to_string(m.loci);
      file = writeFile(name, text);
      if (m.gzip) gzip = writeGzipFile(name, text);
    }
    std::vector<std::pair<const char*, ProgramCall>> reads = {
        {"file", plainCall(file, 100)}, {"pipe", ProgramCall{{"-", "100", "-1"}, {}, false, file}}};
    if (m.gzip) reads.push_back({"gzip file", plainCall(gzip, 100)});
    for (const auto& [from, call] : reads) {
      const ProgramRun run = medianRun(p.tevrol, call, p.repeats);
      std::string previous = "- | - | -";
      if (!p.previous.empty()) {
        const ProgramRun before = medianRun(p.previous, call, 1);
        char cells[128];
        std::snprintf(cells, sizeof cells, "%.3f%s | %.0f | %.2f", before.seconds,
                      before.succeeded ? "" : " (failed)", before.peakMiB,
                      run.peakMiB / before.peakMiB);
        previous = cells;
      }
      std::printf("| %s | %.0f | %s | %.3f%s | %.0f | %s |\n", m.name, megabytes, from, run.seconds,
                  run.succeeded ? "" : " (failed)", run.peakMiB, previous.c_str());
      std::fflush(stdout);
    }
    std::remove(file.c_str());
    if (!gzip.empty()) std::remove(gzip.c_str());
  }
}

// The cost model beside the clock: for each data shape and each mode, the
// model's work units per pass and the time a pass takes on one thread. The
// model's one scale, kNanosecondsPerUnit (3 ns), is the median of the last
// column; the automatic choice is right where the mode it takes is the
// fastest measured.
void runCostModelCases(const Programs& p) {
  struct Shape {
    int individuals, loci, levelsA, levelsB, values;
    int32_t nperm;
    const char* what;
  };
  const Shape shapes[] = {
      {60, 2000, 2, 2, 4, 200, "few individuals, many loci"},
      {4000, 20, 4, 3, 4, 200, "many individuals, few loci"},
      {3000, 400, 4, 3, 2, 100, "biallelic"},
      {2000, 40, 10, 10, 20, 100, "many cells and values"},
  };
  std::printf("### The cost model beside the clock (1 thread)\n\n");
  std::printf("| data | N | L | mode | chosen | units/pass | ns/pass | ns/unit |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  for (const Shape& s : shapes) {
    const Prepared prepared(
        randomTable(s.individuals, s.loci, s.levelsA, s.levelsB, s.values, 20261211));
    const EngineInput input{prepared.design, prepared.loci, s.nperm, 1, false};
    const char* chosen = chooseEngineMode(prepared.design, prepared.loci, s.nperm, 1).name;
    for (const EngineModeRow& mode : engineModes()) {
      if (!mode.automatic && s.individuals > 2000) continue;  // the N x N reference
      std::unique_ptr<ModeFindings> findings;
      const ModeCost cost = mode.cost(input, std::numeric_limits<double>::infinity(), findings);
      std::vector<double> times;
      const char* used = nullptr;
      for (int r = 0; r < p.repeats; ++r) {
        times.push_back(timeEngine(prepared, s.nperm, 1, &mode, used));
      }
      const double ns = median(times) * 1e9 / (3.0 * s.nperm);
      std::printf("| %s | %d | %d | %s | %s | %.3g | %.3g | %.2f |\n", s.what, s.individuals,
                  s.loci, mode.name, std::strcmp(mode.name, chosen) == 0 ? "yes" : "", cost.work,
                  ns, ns / cost.work);
      std::fflush(stdout);
    }
  }
}

// Seconds of a shell command line, which must succeed.
double shellSeconds(const std::string& command) {
  double elapsed = 0;
  const bool ok = [&] {
    int status = 0;
    elapsed = seconds([&] { status = std::system(command.c_str()); });
    return status == 0;
  }();
  if (!ok) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
  return elapsed;
}

// An alignment as users keep it: 20,000 sequences of 30,000 sites, 1,000 of
// them variable, 1% of bases unread; plain and gzip-compressed.
void runAlignmentCases(const Programs& p) {
  const std::string fasta = "/tmp/tevrol-bench-alignment.fasta";
  const std::string sheet = "/tmp/tevrol-bench-samples.tsv";
  if (!writeAlignment(fasta, sheet, 20000, 30000, 1000, 0.01, 20261211)) {
    std::fprintf(stderr, "could not write %s\n", fasta.c_str());
    std::exit(1);
  }
  sync();
  const std::string gzip = fasta + ".gz";
  shellSeconds("gzip -1 -c " + fasta + " > " + gzip);
  double megabytes = 0;
  if (std::FILE* f = std::fopen(fasta.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    megabytes = static_cast<double>(std::ftell(f)) / 1e6;
    std::fclose(f);
  }
  std::printf(
      "| input | file (MB) | to the table (s) | MB/s | program (s) | peak RSS (MiB) | zcat (s) | "
      "zcat MB/s |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  for (const std::string& file : {fasta, gzip}) {
    ProgramCall call{{"--samples", sheet, file, "999", "-1"}, {}, true, {}};
    const ProgramRun run = medianRun(p.tevrol, call, p.repeats);
    std::string zcat = "- | -";
    if (file == gzip) {
      std::vector<double> times;
      for (int r = 0; r < p.repeats; ++r) times.push_back(shellSeconds("zcat " + gzip + " > /dev/null"));
      char cells[64];
      std::snprintf(cells, sizeof cells, "%.3f | %.0f", median(times), megabytes / median(times));
      zcat = cells;
    }
    std::printf("| %s | %.0f | %.3f | %.0f | %.3f | %.0f | %s |\n",
                file == gzip ? "gzip -1" : "plain", megabytes, run.tableSeconds,
                megabytes / run.tableSeconds, run.seconds, run.peakMiB, zcat.c_str());
    std::fflush(stdout);
  }
  for (const std::string& file : {fasta, gzip, sheet}) std::remove(file.c_str());
}

// Missing values against none: the wide table of 100,000 x 1,000 biallelic
// loci, once as drawn and once with 5% of its values replaced by N and
// declared missing; the automatic choice and the bit-parallel modes.
void runMissingCases(const Programs& p) {
  std::string plain, missing;
  {
    std::string text = wideTable(100000, 1000, 0, 20261210);
    plain = writeFile("missing-none", text);
    std::mt19937_64 rng(20261211);
    // Locus fields are the single characters after a TAB past the factors.
    size_t line = text.find('\n') + 1;
    while (line < text.size()) {
      const size_t end = text.find('\n', line);
      size_t at = text.find('\t', text.find('\t', line) + 1);
      for (; at < end; at += 2) {
        if (rng() % 20 == 0) text[at + 1] = 'N';
      }
      line = end + 1;
    }
    missing = writeFile("missing-five", text);
  }
  std::printf("| mode | without (s) | with 5%% missing (s) | ratio | RSS without (MiB) | RSS with (MiB) |\n");
  std::printf("|---|---|---|---|---|---|\n");
  // Dense and sparse take minutes on this table; their ratios are in RESULTS.md.
  for (const char* mode : {"automatic", "sliced", "bitset"}) {
    ProgramCall without{{plain, "999", "-1"}, {std::string("TEVROL_ENGINE=") + mode}, false, {}};
    ProgramCall with{{"--missing", "N", missing, "999", "-1"}, without.environment, false, {}};
    const ProgramRun a = medianRun(p.tevrol, without, p.repeats);
    const ProgramRun b = medianRun(p.tevrol, with, p.repeats);
    std::printf("| %s | %.3f | %.3f | %.2f | %.0f | %.0f |\n", mode, a.seconds, b.seconds,
                b.seconds / a.seconds, a.peakMiB, b.peakMiB);
    std::fflush(stdout);
  }
  std::remove(plain.c_str());
  std::remove(missing.c_str());
}

// Variant calls as users keep them: 2,000 diploid samples at 100,000
// biallelic sites, bgzipped and as BCF, beside bcftools parsing the same
// file (-Ou: VCF text into BCF) and decoding every genotype (-Ov); then the
// same file with --haplotypes (4,000 individuals).
void runVariantCases(const Programs& p) {
  const std::string vcf = "/tmp/tevrol-bench-variants.vcf";
  const std::string sheet = "/tmp/tevrol-bench-variant-samples.tsv";
  const int samples = 2000;
  const int sites = 100000;
  if (!writeVariants(vcf, sheet, samples, sites, 20261211)) {
    std::fprintf(stderr, "could not write %s\n", vcf.c_str());
    std::exit(1);
  }
  shellSeconds("bgzip -f -@2 " + vcf);
  const std::string gz = vcf + ".gz";
  const std::string bcf = "/tmp/tevrol-bench-variants.bcf";
  shellSeconds("bcftools view -Ob -o " + bcf + " " + gz);
  sync();
  const double valuesMB = 1.0 * samples * sites / 1e6;
  std::printf("| input | bcftools (s) | tevrol to the table (s) | ratio | tevrol whole (s) | beyond the table (s) | peak RSS (MiB) | genotype values (MB) |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  struct Row {
    const char* name;
    std::string file;
    std::string bcftools;
    bool haplotypes;
  };
  const Row rows[] = {
      {"bgzip VCF (bcftools -Ou)", gz, "bcftools view -Ou -o /dev/null " + gz, false},
      {"BCF (bcftools -Ov)", bcf, "bcftools view -Ov -o /dev/null " + bcf, false},
      {"bgzip VCF, --haplotypes", gz, "bcftools view -Ou -o /dev/null " + gz, true},
  };
  for (const Row& row : rows) {
    std::vector<double> times;
    for (int r = 0; r < p.repeats; ++r) times.push_back(shellSeconds(row.bcftools));
    std::vector<std::string> words = {"--samples", sheet, row.file, "999", "-1"};
    if (row.haplotypes) words.insert(words.begin(), "--haplotypes");
    ProgramCall call{words, {}, true, {}};
    const ProgramRun run = medianRun(p.tevrol, call, p.repeats);
    std::printf("| %s | %.2f | %.2f | %.2f | %.2f | %.2f | %.0f | %.0f |\n", row.name, median(times),
                run.tableSeconds, run.tableSeconds / median(times), run.seconds,
                run.seconds - run.tableSeconds, run.peakMiB, valuesMB * (row.haplotypes ? 2 : 1));
    std::fflush(stdout);
  }
  for (const std::string& file : {gz, bcf, bcf + ".csi", sheet}) std::remove(file.c_str());
}

// The cost of the blocks after the P values: --interaction beside the same
// run without it, and --pairwise (its part of the run: the run with it less
// the run without) beside the files of the pairs' individuals run one after
// another, on 10 levels of XA.
void runBlockCases(const Programs& p) {
  std::printf("| data | mode | without (s) | --interaction (s) | ratio |\n");
  std::printf("|---|---|---|---|---|\n");
  const std::string tall = writeFile("blocks-10000x20", randomTable(10000, 20, 4, 3, 4, 20261211));
  const std::string wide = writeFile("blocks-wide", wideTable(100000, 1000, 0, 20261211));
  for (const auto& [file, label] :
       {std::pair{tall, "10000 x 20"}, std::pair{wide, "100000 x 1000"}}) {
    const ProgramCall without = plainCall(file, 999);
    ProgramCall with = without;
    with.arguments.insert(with.arguments.begin(), "--interaction");
    const ProgramRun a = medianRun(p.tevrol, without, p.repeats);
    const ProgramRun b = medianRun(p.tevrol, with, p.repeats);
    std::printf("| %s | automatic | %.3f | %.3f | %.2f |\n", label, a.seconds, b.seconds,
                b.seconds / a.seconds);
    std::fflush(stdout);
  }
  std::remove(tall.c_str());
  std::remove(wide.c_str());

  // 10 levels of XA, 2 of XB.
  const std::string text = randomTable(10000, 20, 10, 2, 4, 20261212);
  const std::string file = writeFile("pairs-10000x20", text);
  const size_t header = text.find('\n') + 1;
  std::vector<std::string> levels;
  std::vector<std::string> rows;
  for (size_t line = header; line < text.size();) {
    const size_t end = text.find('\n', line) + 1;
    rows.push_back(text.substr(line, end - line));
    const std::string level = rows.back().substr(0, rows.back().find('\t'));
    if (std::find(levels.begin(), levels.end(), level) == levels.end()) levels.push_back(level);
    line = end;
  }
  std::vector<std::string> subsets;
  for (size_t i = 0; i < levels.size(); ++i) {
    for (size_t j = i + 1; j < levels.size(); ++j) {
      std::string part = text.substr(0, header);
      for (const std::string& row : rows) {
        const std::string level = row.substr(0, row.find('\t'));
        if (level == levels[i] || level == levels[j]) part += row;
      }
      subsets.push_back(writeFile("pair" + std::to_string(subsets.size()), part));
    }
  }
  const ProgramCall without = plainCall(file, 999);
  ProgramCall with = without;
  with.arguments.insert(with.arguments.begin(), "--pairwise");
  const ProgramRun a = medianRun(p.tevrol, without, p.repeats);
  const ProgramRun b = medianRun(p.tevrol, with, p.repeats);
  double separate = 0;
  for (const std::string& subset : subsets) {
    separate += medianRun(p.tevrol, plainCall(subset, 999), p.repeats).seconds;
  }
  std::printf(
      "\n| data | pairs | run (s) | with --pairwise (s) | pairwise part (s) | %zu files (s) | part "
      "/ files |\n",
      subsets.size());
  std::printf("|---|---|---|---|---|---|---|\n");
  std::printf("| 10000 x 20, 10 x 2 levels | %zu + 1 | %.3f | %.3f | %.3f | %.3f | %.2f |\n",
              subsets.size(), a.seconds, b.seconds, b.seconds - a.seconds, separate,
              (b.seconds - a.seconds) / separate);
  for (const std::string& subset : subsets) std::remove(subset.c_str());
  std::remove(file.c_str());
}

int number(const char* text) {
  return static_cast<int>(std::strtol(text, nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "generate" && argc == 8) {
    const std::string text =
        randomTable(number(argv[2]), number(argv[3]), number(argv[4]), number(argv[5]),
                    number(argv[6]), static_cast<unsigned>(number(argv[7])));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  if (command == "generate-vcf" && argc == 6) {
    return writeVariants(argv[2], argv[3], number(argv[4]), number(argv[5]), 20261211) ? 0 : 1;
  }
  if (command == "generate-wide" && argc == 6) {
    const std::string text = wideTable(number(argv[2]), number(argv[3]), number(argv[4]),
                                       static_cast<unsigned>(number(argv[5])));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  const std::vector<std::pair<std::string, void (*)(const Programs&)>> parts = {
      {"narrow", runNarrowCases},       {"million", runMillion},      {"wide", runWideCases},
      {"threads", runThreadCases},      {"memory", runMemoryCases},   {"costs", runCostModelCases},
      {"alignment", runAlignmentCases}, {"missing", runMissingCases}, {"blocks", runBlockCases},
      {"variants", runVariantCases},
  };
  const bool all = command == "run" && argc >= 3 && argc <= 5;
  const bool one = command == "part" && argc >= 4 && argc <= 6;
  if (all || one) {
    char** rest = argv + (all ? 2 : 3);
    const int count = argc - (all ? 2 : 3);
    const Programs programs{rest[0], count == 3 ? rest[2] : "",
                            count >= 2 ? std::max(1, number(rest[1])) : 5};
    bool ran = false;
    for (const auto& [name, part] : parts) {
      if (one && name != argv[2]) continue;
      if (ran) std::printf("\n");
      part(programs);
      ran = true;
    }
    if (ran) return 0;
  }
  std::fprintf(
      stderr,
      "usage: tevrol_bench generate N L A B V SEED\n"
      "       tevrol_bench generate-wide N L H SEED\n"
      "       tevrol_bench generate-vcf VCF SHEET SAMPLES SITES\n"
      "       tevrol_bench run TEVROL [REPEATS [PREVIOUS]]\n"
      "       tevrol_bench part "
      "narrow|million|wide|threads|memory|costs|alignment|missing|blocks|variants "
      "TEVROL [REPEATS [PREVIOUS]]\n");
  return 2;
}
