#!/usr/bin/env bash
# End-to-end cases of the input forms: standard input, gzip from a file, a
# pipe or standard input (one member or several), and damaged streams.
#
#   input_cases.sh TEVROL OUTDIR
set -u
tevrol=$1 outdir=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
expected=$here/expected/demo_100_m1.out

# Runs tevrol with the arguments and standard input; compares the report,
# the "Reading" line aside (matched as a pattern), and the status with those
# of the demo run.
expect_demo() { # name stdin-file reading-line args...
  local name=$1 input=$2 reading=$3
  shift 3
  local out=$outdir/$name.out status
  "$tevrol" "$@" <"$input" >"$out" 2>"$outdir/$name.err"
  status=$?
  [ "$status" = 0 ] || fail "$name: exit status $status"
  [[ "$(sed -n 3p "$out")" == "Reading "$reading ]] || fail "$name: reading line '$(sed -n 3p "$out")'"
  cmp -s <(sed 3d "$out") <(sed 3d "$expected") || fail "$name: report differs ($out)"
}

demo=$here/data/demo_crlf.txt
gzip -c "$demo" >"$work/demo.txt.gz"
# Two members, split inside a line, as block-compressing tools write them.
{ head -c 40 "$demo" | gzip -c; tail -c +41 "$demo" | gzip -c; } >"$work/members.dat"

expect_demo stdin "$demo" - - 100 -1
expect_demo gzip_file /dev/null "$work/demo.txt.gz" "$work/demo.txt.gz" 100 -1
expect_demo gzip_no_suffix /dev/null "$work/members.dat" "$work/members.dat" 100 -1
expect_demo gzip_stdin "$work/members.dat" - - 100 -1
expect_demo gzip_pipe /dev/null "/dev/fd/*" <(cat "$work/demo.txt.gz") 100 -1

# A stream cut short or with a damaged byte is an error, never a shorter table.
size=$(stat -c %s "$work/demo.txt.gz")
head -c $((size - 12)) "$work/demo.txt.gz" >"$work/cut.gz"
expect_error gzip_truncated "Could not read file: the compressed data is damaged or incomplete" \
  "$work/cut.gz" 100 -1
{ head -c 30 "$work/demo.txt.gz"; printf '\377\377\377\377'; tail -c +35 "$work/demo.txt.gz"; } >"$work/bad.gz"
expect_error gzip_damaged "Could not read file: the compressed data is damaged or incomplete" \
  "$work/bad.gz" 100 -1
# After a complete member comes another member or nothing: plain text or a
# member with a damaged first byte is an error, not a table of the first.
{ head -c 40 "$demo" | gzip -c; tail -c +41 "$demo"; } >"$work/then_text.gz"
expect_error gzip_then_text "Could not read file: the compressed data is damaged or incomplete" \
  "$work/then_text.gz" 100 -1
{ head -c 40 "$demo" | gzip -c; printf '\036'; tail -c +41 "$demo" | gzip -c | tail -c +2; } >"$work/then_bad.gz"
expect_error gzip_then_bad_member "Could not read file: the compressed data is damaged or incomplete" \
  <(cat "$work/then_bad.gz") 100 -1
printf '\037\213' >"$work/magic_only.gz"
expect_error gzip_magic_only "Could not read file: the compressed data is damaged or incomplete" \
  "$work/magic_only.gz" 100 -1
expect_error stdin_empty "File must have at least three columns: factor 1, factor 2 and haplotype columns" \
  - 100 -1

[ "$failures" = 0 ] && echo "all input cases passed"
[ "$failures" = 0 ]
