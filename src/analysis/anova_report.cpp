#include "analysis/anova_report.h"

#include <cstdio>

#include "data/levels.h"

namespace tevrol {

void printAnovaTable(const AnovaStats& s, const std::string& nameXA, const std::string& nameXB) {
  std::printf("ANOVA Table\n\n");
  std::printf("      %4s %9s %9s %9s %9s %9s %9s \n", "df", "Seq SS", "Adj SS", "MS", "F", "n",
              "var");
  std::printf("XA    %4g %9.5g %9.5g %9.5g %9.5g %9.5g %9.5g\n", s.df[XA], s.seqSS[XA], s.adjSS[XA],
              s.MS[XA], s.F[XA], s.n[XA], s.var[XA]);
  std::printf("XB    %4g %9.5g %9.5g %9.5g %9.5g %9.5g %9.5g\n", s.df[XB], s.seqSS[XB], s.adjSS[XB],
              s.MS[XB], s.F[XB], s.n[XB], s.var[XB]);
  std::printf("Error %4g %9.5g %9.5g %9.5g %9s %9s %9.5g\n", s.df[Error], s.seqSS[Error],
              s.adjSS[Error], s.MS[Error], "", "", s.var[Error]);
  std::printf("Total %4g %9.5g %9s %9s %9s %9s %9.5g\n\n", s.df[Total], s.seqSS[Total], "", "", "",
              "", s.var[Total]);
  // Names are written whole: a factor name may hold any byte.
  std::printf("where XA = ");
  writeText(nameXA);
  std::printf(", XB = ");
  writeText(nameXB);
  std::printf("\n");
}

}  // namespace tevrol
