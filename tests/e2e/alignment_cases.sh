#!/usr/bin/env bash
# End-to-end cases of alignments, sample sheets and missing values: the
# bundled alignment against its golden report, the same data written as a
# table, the sheet's rows in another order, gzip through a pipe, and the
# errors of the input options.
#
#   alignment_cases.sh TEVROL OUTDIR
set -u
tevrol=$1 outdir=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
examples=$(cd "$here/../../examples" && pwd)

fasta=$examples/alignment.fasta
sheet=$examples/samples.tsv

# The bundled alignment, against its golden report; the notes name the
# sequences and the row left out.
(cd "$examples" && "$tevrol" --samples samples.tsv --factors region,period --json "$work/a.json" \
  alignment.fasta 999 -1 >"$outdir/golden.out" 2>"$outdir/golden.err") ||
  fail "golden: exit status $?"
cmp -s "$outdir/golden.out" "$here/expected/alignment_999_m1.out" ||
  fail "golden: report differs ($outdir/golden.out)"
grep -q '^tevrol: 3 of the 40 sequences of alignment.fasta have no row in samples.tsv and are left out: mt38, mt39, mt40$' \
  "$outdir/golden.err" || fail "golden: no note on the sequences left out: $(cat "$outdir/golden.err")"
grep -q '^tevrol: 1 of the 38 rows of samples.tsv has no sequence in alignment.fasta: mt99$' \
  "$outdir/golden.err" || fail "golden: no note on the row left out"

# The sheet's rows in another order, its columns too, and gzip through a pipe:
# the same analysis, byte for byte.
{ head -n 1 "$sheet" | awk -F '\t' -v OFS='\t' '{ print $1, $4, $3, $2 }'
  tail -n +2 "$sheet" | sort -r | awk -F '\t' -v OFS='\t' '{ print $1, $4, $3, $2 }'; } >"$work/shuffled.tsv"
gzip -c "$fasta" | "$tevrol" --samples "$work/shuffled.tsv" --factors region,period - 999 -1 \
  >"$outdir/shuffled.out" 2>/dev/null || fail "shuffled: exit status $?"
cmp -s <(analysis "$outdir/shuffled.out") <(analysis "$outdir/golden.out") ||
  fail "shuffled sheet: the analysis differs ($outdir/shuffled.out)"

# The same data as a table: the sheet's factors, then every site, upper case,
# U as T, and every character but A, C, G and T declared missing.
awk -F '\t' 'NR == FNR { if (FNR > 1) level[$1] = $2 "\t" $3; next }
  /^>/ { if (name in level) out(); split($0, word, /[ \t]/); name = substr(word[1], 2); seq = ""; next }
  { gsub(/[ \t\r]/, ""); seq = seq toupper($0) }
  END { if (name in level) out() }
  function out(  i) {
    if (!header) { printf "region\tperiod"; for (i = 1; i <= length(seq); i++) printf "\ts%d", i; print ""; header = 1 }
    gsub(/U/, "T", seq)
    printf "%s", level[name]; for (i = 1; i <= length(seq); i++) printf "\t%s", substr(seq, i, 1); print ""
  }' "$sheet" "$fasta" >"$work/table.txt"
others=$(tail -n +2 "$work/table.txt" | cut -f 3- | tr -d 'ACGT\t\n' | fold -w 1 | sort -u | paste -sd, -)
"$tevrol" --missing "$others" "$work/table.txt" 999 -1 >"$outdir/as_table.out" ||
  fail "as a table: exit status $?"
cmp -s <(analysis "$outdir/as_table.out") <(analysis "$outdir/golden.out") ||
  fail "the alignment written as a table gives another analysis ($outdir/as_table.out)"
for mode in reference pairs dense sparse sliced haplotypes; do
  TEVROL_ENGINE=$mode "$tevrol" --samples "$sheet" --factors region,period "$fasta" 999 -1 \
    >"$outdir/mode_$mode.out" 2>/dev/null
  cmp -s <(analysis "$outdir/mode_$mode.out") <(analysis "$outdir/golden.out") ||
    fail "engine $mode: the analysis differs"
done

# Complete deletion keeps only the sites without missing values.
"$tevrol" --samples "$sheet" --factors region,period --max-missing 0 --json "$work/c.json" "$fasta" 999 -1 \
  >/dev/null 2>&1 || fail "max-missing 0: exit status $?"
grep -q '"too_many_missing": [1-9]' "$work/c.json" || fail "max-missing 0: no site left out"

# A table whose header starts with '>' is still the table it always was.
sed '1s/^/>/' "$examples/demo.txt" >"$work/gt.txt"
"$tevrol" "$work/gt.txt" 100 -1 >"$outdir/gt_table.out" || fail "'>' table: exit status $?"
cmp -s <(analysis "$outdir/gt_table.out" | sed 's/>pop/pop/') \
  <(analysis "$here/expected/demo_100_m1.out") || fail "'>' table: the analysis differs"

# The errors of the input options and of the sheet.
printf '>a\nACGT\n>b\nACG\n' >"$work/ragged.fasta"
printf 'sample\tx\ty\na\tp\tq\nb\tp\tr\na\tq\tq\n' >"$work/twice.tsv"
printf 'sample\tx\ty\na\tp\tq\nb\tq\tr\n' >"$work/ab.tsv"
printf 'sample\tx\ty\nz\tp\tq\n' >"$work/none.tsv"
expect_error fasta_without_sheet \
  "$fasta is an alignment (FASTA): give the factors of its samples in a sample sheet with --samples FILE" \
  "$fasta" 100 -1
expect_error sheet_with_table \
  "Option --samples is for alignments and VCF or BCF files: $examples/demo.txt is a table, whose first two columns give the factors" \
  --samples "$sheet" "$examples/demo.txt" 100 -1
expect_error ragged "Sequence b in $work/ragged.fasta has 3 sites where the first sequence (a) has 4: the file is not an alignment" \
  --samples "$work/ab.tsv" "$work/ragged.fasta" 100 -1
expect_error sheet_twice "Sample name \"a\" occurs twice in $work/twice.tsv" \
  --samples "$work/twice.tsv" "$fasta" 100 -1
expect_error no_such_column "Sample sheet $sheet has no column named \"site\"" \
  --samples "$sheet" --factors region,site "$fasta" 100 -1
expect_error no_record_with_row "No sample of $fasta has a row in $work/none.tsv" \
  --samples "$work/none.tsv" "$fasta" 100 -1
expect_error missing_not_a_character "Option --missing: a missing value of an alignment is one character, not \"NA\"" \
  --samples "$sheet" --missing NA "$fasta" 100 -1
expect_error max_missing_above_one "Option --max-missing must be a number from 0 to 1" \
  --max-missing 1.5 "$examples/demo.txt" 100 -1
expect_error factors_one_name "Option --factors must name two columns of the sample sheet: NAME,NAME" \
  --samples "$sheet" --factors region "$fasta" 100 -1
expect_error sheet_missing "Could not open file" --samples "$work/nothing.tsv" "$fasta" 100 -1
[ "$(cat "$outdir/sheet_missing.err")" = "tevrol: $work/nothing.tsv: No such file or directory" ] ||
  fail "sheet_missing: standard error '$(cat "$outdir/sheet_missing.err")'"

[ "$failures" = 0 ] && echo "all alignment cases passed"
[ "$failures" = 0 ]
