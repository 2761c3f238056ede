#!/bin/sh
# Writes regions.txt: 120 individuals sampled in three regions (north, coast,
# south) in two periods (1990, 2020), typed at 12 loci with the alleles A, C,
# G and T. Allele frequencies differ between the regions and not between the
# periods, so a run shows a clear effect of region and none of period.
#
#   sh make_regions.sh > regions.txt
#
# The numbers come from a fixed Park-Miller generator, so every machine and
# awk writes the same file.
awk 'BEGIN {
  seed = 20261209
  split("north coast south", region, " ")
  split("1990 2020", period, " ")
  split("A C G T", allele, " ")
  printf "region\tperiod"
  for (l = 1; l <= 12; l++) printf "\tlocus%d", l
  printf "\n"
  for (i = 0; i < 120; i++) {
    r = i % 3 + 1
    p = int(i / 3) % 2 + 1
    printf "%s\t%s", region[r], period[p]
    for (l = 1; l <= 12; l++) {
      seed = (seed * 16807) % 2147483647
      u = seed / 2147483647
      # Each region has its own most common allele at each locus (60%);
      # the other three share the rest.
      common = (l + r) % 4 + 1
      if (u < 0.6) a = common
      else a = (common + int((u - 0.6) / 0.4 * 3)) % 4 + 1
      printf "\t%s", allele[a]
    }
    printf "\n"
  }
}'
