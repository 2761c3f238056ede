// Benchmarks of the permutation engine.
//
//   tevrol_bench generate N L A B V SEED > data.txt
//       a data set: N individuals, L loci with V texts each, A x B levels
//   tevrol_bench run TEVROL [REPEATS]
//       the standard cases: for each, the whole program (median wall time
//       and peak memory of REPEATS runs) and, in this process, the drawing of
//       the arrangements alone, the engine with one and with all threads, and
//       the literal N x N computation where it fits.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/distances.h"
#include "data/data_table.h"
#include "data/levels.h"
#include "permutation/arrangement.h"
#include "permutation/engine.h"
#include "permutation/pass_loop.h"
#include "permutation/random.h"

namespace {

using namespace tevrol;

struct Case {
  int individuals;
  int loci;
  int levelsA;
  int levelsB;
  int values;
  int32_t nperm;
  bool reference;  // the N x N computation is affordable
};

std::string generate(const Case& c, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::string text = "region\tperiod";
  for (int l = 0; l < c.loci; ++l) text += "\tlocus" + std::to_string(l + 1);
  text += '\n';
  for (int i = 0; i < c.individuals; ++i) {
    const auto a = rng() % static_cast<unsigned>(c.levelsA);
    const auto b = rng() % static_cast<unsigned>(c.levelsB);
    text += "r" + std::to_string(a) + "\tp" + std::to_string(b);
    for (int l = 0; l < c.loci; ++l) {
      text += '\t';
      text += static_cast<char>('A' + rng() % static_cast<unsigned>(c.values));
    }
    text += '\n';
  }
  return text;
}

double seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Wall time and peak resident memory (MiB) of one run of the program.
std::pair<double, double> runProgram(const std::string& tevrol, const std::string& file,
                                     int32_t nperm) {
  std::fflush(stdout);  // or the child would write the buffered lines again
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    const std::string n = std::to_string(nperm);
    execl(tevrol.c_str(), tevrol.c_str(), file.c_str(), n.c_str(), "-1",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "run failed\n");
  return {wall, static_cast<double>(usage.ru_maxrss) / 1024.0};
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

double timeEngine(const Prepared& p, int32_t nperm, int threads, EngineMode& used) {
  return timeLoop(p, nperm, [&](const PassLoop& loop) {
    const auto engine = makeEngine(p.design, p.loci, nperm, EngineMode::Automatic, threads);
    used = engine->mode();
    runEngineLoop(loop, *engine, threads);
  });
}

double timeReference(const Prepared& p, int32_t nperm) {
  return timeLoop(p, nperm, [&](const PassLoop& loop) {
    DistanceTable observed;
    DistanceTable working;
    buildDistanceTables(p.loci, observed, working);
    runReferenceLoop(loop, observed, working);
  });
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

void runCases(const std::string& tevrol, int repeats) {
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
      "reference / engine |\n",
      threads, threads);
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Case& c : cases) {
    const std::string text = generate(c, 20261209);
    const std::string file = "/tmp/tevrol-bench-" + std::to_string(c.individuals) + "x" +
                             std::to_string(c.loci) + ".txt";
    std::ofstream(file, std::ios::binary) << text;
    std::vector<double> walls;
    double rss = 0;
    for (int r = 0; r < repeats; ++r) {
      const auto [wall, peak] = runProgram(tevrol, file, c.nperm);
      walls.push_back(wall);
      rss = std::max(rss, peak);
    }
    const Prepared prepared(text);
    EngineMode mode = EngineMode::Automatic;
    std::vector<double> draw, one, all;
    for (int r = 0; r < repeats; ++r) {
      draw.push_back(timeDrawing(prepared, c.nperm));
      one.push_back(timeEngine(prepared, c.nperm, 1, mode));
      all.push_back(timeEngine(prepared, c.nperm, threads, mode));
    }
    const double wall = median(walls);
    const double engineAll = median(all);
    std::string reference = "-", ratio = "-";
    if (c.reference) {
      const double t = timeReference(prepared, c.nperm);
      reference = std::to_string(t);
      ratio = std::to_string(t / engineAll);
    }
    std::printf("| %d | %d | %s | %.3f | %.0f | %.0f | %.3f | %.3f | %.3f | %.2f | %s | %s |\n",
                c.individuals, c.loci, engineModeName(mode), wall, rss, 3.0 * c.nperm / wall,
                median(draw), median(one), engineAll, median(one) / engineAll, reference.c_str(),
                ratio.c_str());
    std::fflush(stdout);
    std::remove(file.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "generate" && argc == 8) {
    const Case c{std::atoi(argv[2]),
                 std::atoi(argv[3]),
                 std::atoi(argv[4]),
                 std::atoi(argv[5]),
                 std::atoi(argv[6]),
                 0,
                 false};
    const std::string text = generate(c, static_cast<unsigned>(std::atoi(argv[7])));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  if (command == "run" && (argc == 3 || argc == 4)) {
    runCases(argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 5);
    return 0;
  }
  std::fprintf(stderr,
               "usage: tevrol_bench generate N L A B V SEED\n"
               "       tevrol_bench run TEVROL [REPEATS]\n");
  return 2;
}
