#!/bin/sh
# Writes alignment.fasta and samples.tsv: 40 aligned sequences of a 150-site
# fragment, sampled in three regions (north, coast, south) in two periods
# (1990, 2020), with the sampling facts in a sample sheet keyed by name.
# Each region has its own haplotypes at a few sites; periods do not differ.
# About 2% of bases are unread (N), a few are gaps (-) or ambiguity codes,
# the sequences are wrapped at 60 bases and one is soft-masked (lower case).
# Two sequences have no row in the sheet and one row has no sequence, so a
# run notes them on standard error.
#
#   sh make_alignment.sh    (in examples/)
#
# The numbers come from a fixed Park-Miller generator, so every machine and
# awk writes the same files.
awk 'BEGIN {
  seed = 20261211
  split("north coast south", region, " ")
  split("1990 2020", period, " ")
  split("A C G T", base, " ")
  sites = 150
  for (s = 1; s <= sites; s++) reference[s] = base[int(draw() * 4) + 1]
  # Sites that tell the regions apart, and sites that vary within them.
  split("12 37 58 91 120 133", regional, " ")
  split("5 44 77 102 140", shared, " ")
  print "sample\tregion\tperiod\thost" > "samples.tsv"
  for (i = 1; i <= 40; i++) {
    r = (i - 1) % 3 + 1
    p = int((i - 1) / 3) % 2 + 1
    name = sprintf("mt%02d", i)
    if (i <= 37) printf "%s\t%s\t%s\t%s\n", name, region[r], period[p],
                        (draw() < 0.5 ? "wild" : "farm") > "samples.tsv"
    for (s = 1; s <= sites; s++) seq[s] = reference[s]
    for (k = 1; k <= 6; k++) if (draw() < 0.8) seq[regional[k]] = base[(r + k) % 4 + 1]
    for (k = 1; k <= 5; k++) if (draw() < 0.4) seq[shared[k]] = base[(k + 2) % 4 + 1]
    for (s = 1; s <= sites; s++) {
      u = draw()
      if (u < 0.02) seq[s] = "N"
      else if (u < 0.025) seq[s] = "-"
      else if (u < 0.028) seq[s] = "R"
    }
    printf ">%s %s sample, %s\n", name, region[r], period[p] > "alignment.fasta"
    line = ""
    for (s = 1; s <= sites; s++) {
      line = line (i == 7 ? tolower(seq[s]) : seq[s])
      if (s % 60 == 0 || s == sites) { print line > "alignment.fasta"; line = "" }
    }
  }
  print "mt99\tnorth\t2020\twild" > "samples.tsv"
}
function draw() {
  seed = (seed * 16807) % 2147483647
  return seed / 2147483647
}'
