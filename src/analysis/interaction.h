#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/anova.h"
#include "analysis/design.h"

namespace tevrol {

// The two-way table with interaction, beside the main table: rows XA, XB,
// XA:XB, Residual and Total.
enum InteractionRow { IntXA = 0, IntXB = 1, IntXAB = 2, IntResidual = 3, IntTotal = 4 };
constexpr int kInteractionRows = 5;

struct InteractionStats {
  std::array<double, kInteractionRows> df{};
  std::array<double, kInteractionRows> seqSS{};  // XA, XB after XA, XA:XB after both
  std::array<double, kInteractionRows> adjSS{};  // XA after XB, XB after XA, XA:XB after both
  std::array<double, kInteractionRows> MS{};
  std::array<double, kInteractionRows> F{};
  std::array<double, kInteractionRows> R2{};     // Seq SS over Total
  std::array<double, kInteractionRows> R2adj{};  // Adj SS over Total
};

// What the table needs of the design, fixed for the run. The additive model
// XA + XB has the A + B level indicators as its columns; `inverse` is a
// generalised inverse of their cross-product matrix: the columns that depend
// on earlier ones (the last XB level of every connected block of cells) are
// left out and the rest inverted.
struct InteractionDesign {
  int32_t levels = 0;           // A + B
  int32_t rank = 0;             // of the additive model: A + B - connected blocks
  int32_t filledCells = 0;      // cells with individuals
  std::vector<double> inverse;  // levels x levels
};

// Most levels of the two factors together that the table is computed for:
// the inverse is found once in levels^3 steps, every pass costs levels^2.
constexpr int32_t kMaxInteractionLevels = 1000;

InteractionDesign makeInteractionDesign(const Design& design);

// The table of one pass from its within-group sums and the sums between
// levels (sums.cross, see GroupSums). With D_ij the sum of distances from
// the members of level i to those of level j, the additive model leaves
//   Res = (sum over i, j of inverse_ij D_ij) / 2
// within it, so that XB after XA is W_A - Res, XA after XB is W_B - Res, and
// the interaction Res - SS_Error (W_A, W_B: within levels of XA, of XB).
void computeInteractionStats(InteractionStats& stats, const Design& design,
                             const InteractionDesign& model, const GroupSums& sums);

// Effect sizes of a factor of the main table: R2 of its Seq SS and of its
// Adj SS (over Total SS), its variance component as a share of the total
// variance, in percent and as Phi (a fraction; negative when the factor's MS
// is below Error's).
struct FactorEffects {
  double r2Seq = 0;
  double r2Adj = 0;
  double varPercent = 0;
  double phi = 0;
};

struct MainEffects {
  std::array<FactorEffects, 2> factor;  // [XA], [XB]
  double errorVarPercent = 0;           // Error's variance component, in percent
};

MainEffects computeMainEffects(const AnovaStats& stats);

}  // namespace tevrol
