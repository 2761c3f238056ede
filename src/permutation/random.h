#pragma once

#include <cstdint>
#include <memory>

namespace tevrol {

// L'Ecuyer's combined multiplicative congruential generator (moduli
// 2147483563 and 2147483399, combined by subtraction) with a 32-entry
// Bays-Durham shuffle table. Its output depends on the seed alone, so a seed
// reproduces a run exactly. One instance serves a whole run.
class Random {
 public:
  // Seeds from the clock: the negated seconds since 1970, taken modulo 2^31 so
  // that the seed is never positive (also after 2038).
  Random();
  Random(const Random&) = delete;
  Random& operator=(const Random&) = delete;

  // Stores the seed; the next draw rebuilds the shuffle table from it. A
  // positive seed is a fatal run-time error.
  void setSeed(int32_t seed);
  int32_t getSeed() const { return seed_; }

  // Next deviate in [1/2147483563, 0.9999999999999997]: never 0, never 1.
  double uniform() {
    if (state1_ <= 0) initializeTable();
    return step(state1_, state2_, shuffleOut_, table_.get());
  }

  // Uniform integer in lo ... hi, both included; always draws one deviate.
  int32_t uniformInt(int32_t lo, int32_t hi) {
    const int32_t range = hi - lo + 1;
    const double x = static_cast<double>(range) * uniform();
    return lo + static_cast<int32_t>(x);
  }

  // The draws of a pool emptied without replacement: for i = 0 ... count - 1,
  // take(i, j) with j = uniformInt(0, count - i - 1). The same deviates as
  // that many calls of uniformInt, with the state kept in locals so that the
  // caller's stores cannot force it back to memory between draws.
  template <typename Take>
  void drawWithoutReplacement(int32_t count, Take&& take) {
    int32_t s1 = state1_;
    int32_t s2 = state2_;
    int32_t out = shuffleOut_;
    int32_t* table = table_.get();
    for (int32_t i = 0; i < count; ++i) {
      if (s1 <= 0) {
        state1_ = s1;
        initializeTable();
        s1 = state1_;
        s2 = state2_;
        out = shuffleOut_;
      }
      const double x = static_cast<double>(count - i) * step(s1, s2, out, table);
      take(i, static_cast<int32_t>(x));
    }
    state1_ = s1;
    state2_ = s2;
    shuffleOut_ = out;
  }

  // Raw state, for tests that check the generator step by step.
  int32_t state1() const { return state1_; }
  int32_t state2() const { return state2_; }
  int32_t shuffleOut() const { return shuffleOut_; }

 private:
  static constexpr int32_t kM1 = 2147483563;
  static constexpr int32_t kA1 = 40014;
  static constexpr int32_t kQ1 = 53668;  // kM1 / kA1
  static constexpr int32_t kR1 = 12211;  // kM1 % kA1
  static constexpr int32_t kM2 = 2147483399;
  static constexpr int32_t kA2 = 40692;
  static constexpr int32_t kQ2 = 52774;  // kM2 / kA2
  static constexpr int32_t kR2 = 3791;   // kM2 % kA2
  static constexpr int32_t kTableSize = 32;
  static constexpr int32_t kSlotWidth = (kM1 - 1) / kTableSize + 1;
  static constexpr double kScale = 1.0 / kM1;
  static constexpr double kTop = 1.0 - 3e-16;  // largest deviate returned
  static constexpr int32_t kInitialState2 = 123456789;

  // state := (a * state) mod m by Schrage's method, without 32-bit overflow.
  static int32_t schrageStep(int32_t state, int32_t a, int32_t q, int32_t r, int32_t m) {
    const int32_t k = state / q;
    int32_t next = a * (state - k * q) - k * r;
    if (next < 0) next += m;
    return next;
  }

  // One draw: advances both generators, swaps a table entry, and returns the deviate.
  static double step(int32_t& s1, int32_t& s2, int32_t& out, int32_t* table) {
    s1 = schrageStep(s1, kA1, kQ1, kR1, kM1);
    s2 = schrageStep(s2, kA2, kQ2, kR2, kM2);
    const int32_t j = out / kSlotWidth;
    out = table[j] - s2;
    table[j] = s1;
    if (out < 1) out += kM1 - 1;
    const double t = out * kScale;
    return t > kTop ? kTop : t;
  }

  void initializeTable();

  int32_t state1_ = 0;
  int32_t state2_ = 0;
  int32_t shuffleOut_ = 0;
  std::unique_ptr<int32_t[]> table_;
  int32_t tableSize_ = 0;
  int32_t seed_ = 0;
};

// Seed used when the command line gives none, from the seconds since 1970.
int32_t clockSeed(int64_t secondsSinceEpoch);

// The generator's own fatal error, a RunError whose report is three lines.
[[noreturn]] void runtimeError(const char* message);

}  // namespace tevrol
