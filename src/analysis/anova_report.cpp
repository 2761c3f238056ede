#include "analysis/anova_report.h"

#include "base/text_format.h"

namespace tevrol {

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

}  // namespace tevrol
