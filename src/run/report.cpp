#include "run/report.h"

#include <algorithm>

#include "base/text_format.h"

namespace tevrol {

namespace {

// A sample-size table of millions of cells is handed on in parts of about
// this size rather than held whole.
constexpr size_t kSpillBytes = size_t{1} << 20;

// A text whole (any byte, NUL included), right-aligned in a field.
void appendPadded(std::string& out, const std::string& text, size_t width) {
  if (text.size() < width) out.append(width - text.size(), ' ');
  out += text;
}

void appendPValue(std::string& out, const char* factor, const PValue& value) {
  appendFormat(out, "P value for %s    %s %9.3g\t(se    = %9.3g)\n", factor,
               value.bound ? "<" : "=", value.p, value.se);
}

const char* const kInteractionLabels[kInteractionRows] = {"XA", "XB", "XA:XB", "Residual", "Total"};

void appendInteraction(std::string& out, const RunResult& result) {
  const InteractionStats& s = result.interaction.table;
  out += "Table with interaction\n\n";
  appendFormat(out, "         %4s %9s %9s %9s %9s %9s \n", "df", "Seq SS", "Adj SS", "MS", "F",
               "R2");
  for (const int r : {IntXA, IntXB, IntXAB}) {
    appendFormat(out, "%-8s %4g %9.5g %9.5g %9.5g %9.5g %9.5g\n", kInteractionLabels[r], s.df[r],
                 s.seqSS[r], s.adjSS[r], s.MS[r], s.F[r], s.R2[r]);
  }
  appendFormat(out, "Residual %4g %9.5g %9.5g %9.5g %9s %9.5g\n", s.df[IntResidual],
               s.seqSS[IntResidual], s.adjSS[IntResidual], s.MS[IntResidual], "",
               s.R2[IntResidual]);
  appendFormat(out, "Total    %4g %9.5g %9s %9s %9s %9.5g\n\n", s.df[IntTotal], s.seqSS[IntTotal],
               "", "", "", s.R2[IntTotal]);
  out += "Permutation tests with interaction (XA: type 0, XB: type 1, XA:XB: type 2)\n";
  for (const int r : {IntXA, IntXB, IntXAB}) {
    const PValue& value = result.interaction.tests[static_cast<size_t>(r)].value;
    appendFormat(out, "P value for %-5s %s %9.3g\t(se    = %9.3g)\n", kInteractionLabels[r],
                 value.bound ? "<" : "=", value.p, value.se);
  }
  out += '\n';
}

void appendEffects(std::string& out, const RunResult& result) {
  const MainEffects& e = result.effects;
  out += "Effect sizes\n\n";
  appendFormat(out, "      %9s %9s %9s %9s \n", "R2 Seq", "R2 Adj", "var %", "Phi");
  const char* const labels[2] = {"XA    ", "XB    "};
  for (size_t f = 0; f < 2; ++f) {
    const FactorEffects& x = e.factor[f];
    appendFormat(out, "%s%9.5g %9.5g %9.4g %9.5g\n", labels[f], x.r2Seq, x.r2Adj, x.varPercent,
                 x.phi);
  }
  appendFormat(out, "Error %9s %9s %9.4g\n", "", "", e.errorVarPercent);
  if (result.showInteraction) {
    const InteractionStats& s = result.interaction.table;
    out += "\nWith interaction\n";
    appendFormat(out, "         %9s %9s \n", "R2 Seq", "R2 Adj");
    for (const int r : {IntXA, IntXB, IntXAB, IntResidual}) {
      appendFormat(out, "%-8s %9.5g %9.5g\n", kInteractionLabels[r], s.R2[r], s.R2adj[r]);
    }
  }
  out += '\n';
}

}  // namespace

int32_t decimalDigits(int64_t value) {
  int32_t digits = 1;
  for (; value >= 10; value /= 10) ++digits;
  return digits;
}

void appendLevelLine(std::string& out, const char* ordinal, const std::string& factorName,
                     const std::vector<std::string>& levels) {
  out += "Levels for ";
  out += ordinal;
  out += " factor (";
  out += factorName;
  out += "):";
  for (size_t k = 0; k < levels.size(); ++k) {
    if (k >= 1) out += ',';
    out += ' ';
    out += levels[k];
  }
  out += '\n';
}

void appendSampleSizes(std::string& out, const std::vector<std::string>& levelsA,
                       const std::vector<std::string>& levelsB, const CellCounts& cells,
                       const std::function<void(std::string&)>& spill) {
  size_t w1 = 0;
  for (const auto& name : levelsA) w1 = std::max(w1, name.size());
  size_t w2 = static_cast<size_t>(decimalDigits(cells.total()));
  for (const auto& name : levelsB) w2 = std::max(w2, name.size());
  w2 += 2;

  out += "Sample sizes:\n";
  appendPadded(out, "", w1);
  out += ' ';
  for (const auto& name : levelsB) appendPadded(out, name, w2);
  out += '\n';
  for (int32_t a = 0; a < cells.levelsA; ++a) {
    appendPadded(out, levelsA[static_cast<size_t>(a)], w1);
    out += ':';
    for (int32_t b = 0; b < cells.levelsB; ++b) {
      appendPadded(out, std::to_string(cells.at(a, b)), w2);
    }
    out += '\n';
    if (spill && out.size() >= kSpillBytes) spill(out);
  }
  out += '\n';
}

void appendAnovaTable(std::string& out, const AnovaStats& s, const std::string& nameXA,
                      const std::string& nameXB) {
  out += "ANOVA Table\n\n";
  appendFormat(out, "      %4s %9s %9s %9s %9s %9s %9s \n", "df", "Seq SS", "Adj SS", "MS", "F",
               "n", "var");
  appendFormat(out, "XA    %4g %9.5g %9.5g %9.5g %9.5g %9.5g %9.5g\n", s.df[XA], s.seqSS[XA],
               s.adjSS[XA], s.MS[XA], s.F[XA], s.n[XA], s.var[XA]);
  appendFormat(out, "XB    %4g %9.5g %9.5g %9.5g %9.5g %9.5g %9.5g\n", s.df[XB], s.seqSS[XB],
               s.adjSS[XB], s.MS[XB], s.F[XB], s.n[XB], s.var[XB]);
  appendFormat(out, "Error %4g %9.5g %9.5g %9.5g %9s %9s %9.5g\n", s.df[Error], s.seqSS[Error],
               s.adjSS[Error], s.MS[Error], "", "", s.var[Error]);
  appendFormat(out, "Total %4g %9.5g %9s %9s %9s %9s %9.5g\n\n", s.df[Total], s.seqSS[Total], "",
               "", "", "", s.var[Total]);
  // Names are taken whole: a factor name may hold any byte.
  out += "where XA = ";
  out += nameXA;
  out += ", XB = ";
  out += nameXB;
  out += '\n';
}

void appendPValues(std::string& out, const RunResult& result) {
  for (size_t t = 0; t < kPermutationTypes; ++t) {
    const PermutationTest& test = result.tests[t];
    appendFormat(out, "Permutation test type %d\n", static_cast<int>(t));
    appendPValue(out, "XA", test.factor[0].value);
    appendPValue(out, "XB", test.factor[1].value);
    out += '\n';
  }
}

void appendBlocks(std::string& out, const RunResult& result) {
  if (result.showInteraction) appendInteraction(out, result);
  if (result.showEffects) appendEffects(out, result);
}

namespace {

// A P value in nine characters, "<" before the bound 1 / nperm.
std::string pText(const PValue& value) {
  std::string number;
  appendFormat(number, value.bound ? "<%.3g" : "%.3g", value.p);
  std::string out;
  appendPadded(out, number, 9);
  return out;
}

void appendPairTest(std::string& out, const PairTest& t) {
  appendFormat(out, " %9.5g %9.5g %s %9.3g %9.3g %9.3g", t.F, t.r2, pText(t.test.value).c_str(),
               t.test.value.se, t.holm, t.bh);
}

}  // namespace

void appendPairwise(std::string& out, const RunResult& result) {
  if (!result.showPairwise) return;
  out += "Pairwise comparisons\n";
  for (const int factor : {XA, XB}) {
    const std::vector<std::string>& levels = result.factors[static_cast<size_t>(factor)].levels;
    std::vector<std::string> names;
    std::vector<const PairComparison*> pairs;
    size_t width = 4;
    for (const PairComparison& pair : result.pairwise) {
      if (pair.factor != factor) continue;
      pairs.push_back(&pair);
      names.push_back(levels[static_cast<size_t>(pair.first)] + " - " +
                      levels[static_cast<size_t>(pair.second)]);
      width = std::max(width, names.back().size());
    }
    if (pairs.empty()) continue;
    const char* const label = factor == XA ? "XA" : "XB";
    appendFormat(out, "\n%s, type %d permutations within levels of %s\n", label, factor,
                 factor == XA ? "XB" : "XA");
    out += "pair";
    out.append(width - 4, ' ');
    appendFormat(out, " %7s %9s %9s %9s %9s %9s %9s", "N", "F", "R2", "P", "se", "Holm", "BH");
    if (result.showInteraction) {
      appendFormat(out, " %9s %9s %9s %9s %9s %9s", "F int", "R2 int", "P int", "se", "Holm", "BH");
    }
    out += '\n';
    for (size_t k = 0; k < pairs.size(); ++k) {
      out += names[k];
      out.append(width - names[k].size(), ' ');
      appendFormat(out, " %7lld", static_cast<long long>(pairs[k]->individuals));
      appendPairTest(out, pairs[k]->main);
      if (result.showInteraction) appendPairTest(out, pairs[k]->withInteraction);
      out += '\n';
    }
  }
  out += '\n';
}

}  // namespace tevrol
