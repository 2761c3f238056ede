#!/bin/sh
# Writes variants.vcf and variant_samples.tsv: phased diploid calls of 30
# samples at 80 sites on two chromosomes, the samples from three regions
# (north, coast, south) in two periods (1990, 2020), their sampling facts in
# a sample sheet keyed by name. Allele frequencies differ between regions at
# every site and not between periods. About 2% of calls are missing (./.),
# a few partly (0/.); one site has three alleles, one has unphased calls,
# one is the same in every sample, and one has no GT. Sample s30 has no row
# in the sheet, so a run notes it on standard error.
#
#   sh make_variants.sh    (in examples/)
#
# The numbers come from a fixed Park-Miller generator, so every machine and
# awk writes the same files.
awk 'BEGIN {
  seed = 20261212
  split("north coast south", region, " ")
  split("1990 2020", period, " ")
  split("A C G T", base, " ")
  samples = 30
  out = "variants.vcf"
  print "##fileformat=VCFv4.2" > out
  print "##contig=<ID=1,length=2000000>" > out
  print "##contig=<ID=2,length=1000000>" > out
  print "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">" > out
  print "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"Read depth\">" > out
  header = "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT"
  print "sample\tregion\tperiod" > "variant_samples.tsv"
  for (i = 1; i <= samples; i++) {
    r[i] = (i - 1) % 3 + 1
    header = header sprintf("\ts%02d", i)
    if (i < samples) printf "s%02d\t%s\t%s\n", i, region[r[i]],
                            period[int((i - 1) / 3) % 2 + 1] > "variant_samples.tsv"
  }
  print header > out
  for (site = 1; site <= 80; site++) {
    chrom = site <= 60 ? 1 : 2
    pos = (chrom == 1 ? site : site - 60) * 10007 + int(draw() * 5000)
    ref = base[int(draw() * 4) + 1]
    alt = base[(index("ACGT", ref) + int(draw() * 3)) % 4 + 1]
    alts = alt
    if (site == 17) {
      for (k = 1; k <= 4; k++) if (base[k] != ref && base[k] != alt) third = base[k]
      alts = alt "," third
    }
    # The other allele is common in one region and rare in the others.
    common = int(draw() * 3) + 1
    line = chrom "\t" pos "\t.\t" ref "\t" alts "\t50\tPASS\t.\t" (site == 45 ? "DP" : "GT:DP")
    for (i = 1; i <= samples; i++) {
      if (site == 45) { line = line "\t" int(draw() * 30 + 5); continue }
      p = r[i] == common ? 0.7 : 0.15
      if (site == 33) p = 0
      a = draw() < p ? 1 : 0
      b = draw() < p ? 1 : 0
      if (site == 17 && draw() < 0.3) b = 2
      sep = site == 52 ? "/" : "|"
      u = draw()
      gt = a sep b
      if (u < 0.02) gt = "./."
      else if (u < 0.03) gt = a sep "."
      line = line "\t" gt ":" int(draw() * 30 + 5)
    }
    print line > out
  }
}
function draw() {
  seed = (seed * 16807) % 2147483647
  return seed / 2147483647
}'
