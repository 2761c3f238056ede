#!/usr/bin/env bash
# End-to-end cases of VCF input: the bundled VCF against its golden report,
# the same calls written as tables (genotypes, then haplotypes) by rules
# applied here in awk, gzip through a pipe and standard input, every engine
# mode, and the errors of the options that belong to VCF.
#
#   variant_cases.sh TEVROL OUTDIR
set -u
tevrol=$1 outdir=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
examples=$(cd "$here/../../examples" && pwd)

vcf=$examples/variants.vcf
sheet=$examples/variant_samples.tsv

(cd "$examples" && "$tevrol" --samples variant_samples.tsv variants.vcf 999 -1 \
  >"$outdir/golden.out" 2>"$outdir/golden.err") || fail "golden: exit status $?"
cmp -s "$outdir/golden.out" "$here/expected/variants_999_m1.out" ||
  fail "golden: report differs ($outdir/golden.out)"
[ "$(cat "$outdir/golden.err")" = \
  "tevrol: 1 of the 30 samples of variants.vcf has no row in variant_samples.tsv and is left out: s30" ] ||
  fail "golden: note '$(cat "$outdir/golden.err")'"

# The calls as a table. A genotype is its alleles in increasing order, or
# "." when any is missing; with haplotypes each sample gives a row per
# allele, "." for each where the call is unphased and its alleles differ.
to_table() { # haplotypes(0|1)
  awk -F '\t' -v haplotypes="$1" '
    NR == FNR { if (FNR > 1) level[$1] = $2 "\t" $3; next }
    /^##/ { next }
    /^#/ { for (i = 10; i <= NF; i++) name[i] = $i; next }
    {
      loci++; header = header "\t" $1 ":" $2
      split($9, keys, ":"); gt = 0
      for (k in keys) if (keys[k] == "GT") gt = k
      # The longest call of the record: the ploidy of a call missing altogether
      # in the first record.
      width = 1
      for (i = 10; i <= NF && gt; i++) {
        split($i, field, ":"); n = split(field[gt], allele, /[\/|]/)
        if (n > width) width = n
      }
      for (i = 10; i <= NF; i++) {
        if (!(name[i] in level)) continue
        split($i, field, ":"); call = gt ? field[gt] : "."
        n = split(call, allele, /[\/|]/)
        if (haplotypes) {
          unphased = index(call, "/") > 0
          # A call missing altogether stands for every haplotype.
          if (call == "." && i in ploidy) for (n = 1; n <= ploidy[i]; n++) allele[n] = "."
          if (call == ".") n = i in ploidy ? ploidy[i] : width
          for (h = 1; h <= n; h++) {
            v = allele[h]
            if (unphased && allele[1] != allele[n]) v = "."
            cell[i "," h] = cell[i "," h] "\t" v
          }
          ploidy[i] = n
        } else {
          v = ""
          if (n == 2 && allele[1] != "." && allele[2] != ".")
            v = (allele[1] + 0 <= allele[2] + 0) ? allele[1] "/" allele[2] : allele[2] "/" allele[1]
          else if (n == 1 && allele[1] != ".") v = allele[1]
          else v = "."
          cell[i ",1"] = cell[i ",1"] "\t" v
          ploidy[i] = 1
        }
      }
    }
    END {
      print "region\tperiod" header
      for (i = 10; i in name; i++) {
        if (!(name[i] in level)) continue
        for (h = 1; h <= ploidy[i]; h++) print level[name[i]] cell[i "," h]
      }
    }' "$sheet" "$vcf"
}
to_table 0 >"$work/genotypes.txt"
"$tevrol" --missing . "$work/genotypes.txt" 999 -1 >"$outdir/genotypes.out" ||
  fail "genotypes as a table: exit status $?"
cmp -s <(analysis "$outdir/genotypes.out") <(analysis "$outdir/golden.out") ||
  fail "the genotypes written as a table give another analysis ($outdir/genotypes.out)"
to_table 1 >"$work/haplotypes.txt"
"$tevrol" --missing . "$work/haplotypes.txt" 999 -1 >"$outdir/as_haplotypes.out" ||
  fail "haplotypes as a table: exit status $?"
"$tevrol" --haplotypes --samples "$sheet" "$vcf" 999 -1 >"$outdir/haplotypes.out" 2>/dev/null ||
  fail "haplotypes: exit status $?"
cmp -s <(analysis "$outdir/as_haplotypes.out") <(analysis "$outdir/haplotypes.out") ||
  fail "the haplotypes written as a table give another analysis ($outdir/haplotypes.out)"

# gzip through a pipe and plain text on standard input; every engine mode.
gzip -c "$vcf" | "$tevrol" --samples "$sheet" - 999 -1 >"$outdir/pipe.out" 2>/dev/null ||
  fail "gzip pipe: exit status $?"
"$tevrol" --samples "$sheet" - 999 -1 <"$vcf" >"$outdir/stdin.out" 2>/dev/null ||
  fail "standard input: exit status $?"
for mode in reference pairs dense bitset sparse sliced haplotypes; do
  TEVROL_ENGINE=$mode "$tevrol" --samples "$sheet" --haplotypes "$vcf" 999 -1 \
    >"$outdir/mode_$mode.out" 2>/dev/null
  cmp -s <(analysis "$outdir/mode_$mode.out") <(analysis "$outdir/haplotypes.out") ||
    fail "engine $mode: the analysis differs"
done
for out in pipe stdin; do
  cmp -s <(analysis "$outdir/$out.out") <(analysis "$outdir/golden.out") || fail "$out: the analysis differs"
done

# A sample whose number of alleles changes under --haplotypes; a call missing
# altogether keeps its sample's number.
{ sed -n '/^##/p' "$vcf"
  printf '#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ts01\ts02\n'
  printf '1\t10\t.\tA\tG\t.\t.\t.\tGT\t0|1\t1|1\n'
  printf '1\t20\t.\tA\tG\t.\t.\t.\tGT\t.\t1|0\n'
  printf '1\t30\t.\tA\tG\t.\t.\t.\tGT\t1\t1|0\n'; } >"$work/ploidy.vcf"
expect_error ploidy "Sample \"s01\" has 1 allele at 1:30 of $work/ploidy.vcf but 2 alleles in the first record: with --haplotypes a sample keeps its number of haplotypes" \
  --haplotypes --samples "$sheet" "$work/ploidy.vcf" 100 -1
sed -i 's/\t1\t1|0$/\t.\t1|0/' "$work/ploidy.vcf"
"$tevrol" --haplotypes --samples "$sheet" --json "$work/p.json" "$work/ploidy.vcf" 100 -1 >/dev/null 2>&1 ||
  fail "ploidy: a missing call of one allele is an error"
grep -q '"missing_values": 4,' "$work/p.json" || fail "ploidy: missing values $(grep -o '"missing_values": [0-9]*' "$work/p.json")"

expect_error vcf_without_sheet \
  "$vcf is a VCF or BCF file: give the factors of its samples in a sample sheet with --samples FILE" "$vcf" 100 -1
expect_error vcf_missing \
  "Option --missing is for tables and alignments: in $vcf a missing call ('.', './.', '0/.') is always missing" \
  --missing N --samples "$sheet" "$vcf" 100 -1
expect_error region_without_index \
  "Option --region: $vcf is not bgzip-compressed, so it has no index: make one with bcftools index or tabix -p vcf (it needs a bgzip-compressed file)" \
  --region 1 --samples "$sheet" "$vcf" 100 -1
"$tevrol" --region 1 --samples "$sheet" - 100 -1 <"$vcf" >"$outdir/region_pipe.out" 2>/dev/null
[ "$(tail -n 1 "$outdir/region_pipe.out")" = \
  "ERROR: Option --region reads through an index: standard input is not a file that can have one" ] ||
  fail "region_pipe: last line '$(tail -n 1 "$outdir/region_pipe.out")'"
expect_error haplotypes_table "Option --haplotypes is for VCF and BCF files: $examples/demo.txt is not one" \
  --haplotypes "$examples/demo.txt" 100 -1

[ "$failures" = 0 ] && echo "all variant cases passed"
[ "$failures" = 0 ]
