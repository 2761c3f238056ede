#!/usr/bin/env bash
# Runs one end-to-end case of a case table and compares standard output byte
# for byte and the exit status exactly.
#
#   run_case.sh TEVROL CASES OUTDIR NAME
#
# A row of the table:  name | status | expected output file | arguments
# The arguments are shell words (quote empty or spaced ones); data files are
# named relative to data/, expected outputs relative to expected/. The case
# runs in data/, so the "Reading" line shows the name as written. The actual
# output of a failing case is kept in OUTDIR/NAME.out.
set -u
tevrol=$1 cases=$2 outdir=$3 name=$4
here=$(cd "$(dirname "$cases")" && pwd)

row=$(grep -E "^${name} *\|" "$cases" | head -n 1)
[ -n "$row" ] || { echo "no case named $name"; exit 2; }
IFS='|' read -r _ status expected args <<<"$row"
status=${status// /}
expected=${expected// /}
eval "argv=($args)"

mkdir -p "$outdir"
actual="$outdir/$name.out"
(cd "$here/data" && "$tevrol" "${argv[@]}" >"$actual" 2>"$outdir/$name.err" </dev/null)
got=$?

ok=1
if [ "$got" != "$status" ]; then
  echo "$name: exit status $got, expected $status"
  ok=0
fi
if ! cmp -s "$actual" "$here/expected/$expected"; then
  echo "$name: output differs from expected/$expected (actual kept in $actual)"
  diff "$here/expected/$expected" "$actual" | head -n 20
  ok=0
fi
[ "$ok" = 1 ] && rm -f "$actual" "$outdir/$name.err"
[ "$ok" = 1 ]
