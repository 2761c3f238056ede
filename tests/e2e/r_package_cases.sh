#!/usr/bin/env bash
# The R package's tests compare its results with the program's report and
# JSON for the bundled examples, kept in r/tests/testthat/cli. This keeps
# those files equal to what the program prints today.
#
#   r_package_cases.sh TEVROL
set -u
tevrol=$1
here=$(cd "$(dirname "$0")" && pwd)
repository=$(cd "$here/../.." && pwd)
kept=$repository/r/tests/testthat/cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# name nperm seed: the runs the R tests make.
for run in "demo 100 -1" "regions 1000 -7"; do
  set -- $run
  (cd "$repository/examples" && "$tevrol" --json "$work/$1.json" "$1.txt" "$2" "$3" >"$work/$1.out")
  for suffix in .out .json; do
    if ! cmp -s "$work/$1$suffix" "$kept/$1$suffix"; then
      echo "FAIL: r/tests/testthat/cli/$1$suffix is not what tevrol prints now"
      diff "$work/$1$suffix" "$kept/$1$suffix" | head -n 10
      failures=$((failures + 1))
    fi
  done
done
# The table with interaction and the effect sizes.
(cd "$repository/examples" && "$tevrol" --interaction --effects --pairwise --json "$work/blocks.json" \
  regions.txt 1000 -7 >"$work/blocks.out")
for suffix in .out .json; do
  cmp -s "$work/blocks$suffix" "$kept/regions_blocks$suffix" ||
    { echo "FAIL: r/tests/testthat/cli/regions_blocks$suffix is not what tevrol prints now"
      failures=$((failures + 1)); }
done
# The bundled alignment with its sample sheet.
(cd "$repository/examples" && "$tevrol" --samples samples.tsv --factors region,period \
  alignment.fasta 999 -1 >"$work/alignment.out" 2>/dev/null)
if ! cmp -s "$work/alignment.out" "$kept/alignment.out"; then
  echo "FAIL: r/tests/testthat/cli/alignment.out is not what tevrol prints now"
  failures=$((failures + 1))
fi
# The bundled VCF with its sample sheet.
(cd "$repository/examples" && "$tevrol" --samples variant_samples.tsv variants.vcf 999 -1 \
  >"$work/variants.out" 2>/dev/null)
if ! cmp -s "$work/variants.out" "$kept/variants.out"; then
  echo "FAIL: r/tests/testthat/cli/variants.out is not what tevrol prints now"
  failures=$((failures + 1))
fi
# One version for the program and the package.
package=$(sed -n 's/^Version: //p' "$repository/r/DESCRIPTION")
if [ "tevrol $package" != "$("$tevrol" --version)" ]; then
  echo "FAIL: r/DESCRIPTION has version $package, the program $("$tevrol" --version)"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
