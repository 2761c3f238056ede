#!/usr/bin/env bash
# End-to-end cases that a row of cases.txt cannot express: input through a
# pipe, the clock seed, output that cannot be written, the JSON and null
# files, help and version.
#
#   special_cases.sh TEVROL OUTDIR
set -u
tevrol=$1 outdir=$2
here=$(cd "$(dirname "$0")" && pwd)
data=$here/data
mkdir -p "$outdir"
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Output without the "Reading" line, which names the file.
without_reading_line() { sed '3d' "$1"; }

# A pipe can be read once only; the table must still be the whole file.
out=$outdir/pipe.out
"$tevrol" <(cat "$data/demo.txt") 100 -1 >"$out"
status=$?
[ "$status" = 0 ] || fail "pipe: exit status $status"
cmp -s <(without_reading_line "$out") <(without_reading_line "$here/expected/demo_100_m1.out") ||
  fail "pipe: output differs ($out)"
cat "$data/demo_crlf.txt" | "$tevrol" /dev/stdin 100 -1 >"$out"
cmp -s <(without_reading_line "$out") <(without_reading_line "$here/expected/demo_100_m1.out") ||
  fail "stdin: output differs ($out)"

# Without nperm and seed: 1000 permutations and a negative seed from the clock.
out=$outdir/clock.out
"$tevrol" "$data/demo.txt" >"$out"
status=$?
[ "$status" = 0 ] || fail "clock seed: exit status $status"
[ "$(sed -n 1p "$out")" = "Simulating 1000 permutations" ] || fail "clock seed: first line"
sed -n 2p "$out" | grep -qE '^Set seed to -[0-9]+$' || fail "clock seed: seed line"
# The seed printed reproduces the run.
seed=$(sed -n 2p "$out" | sed 's/Set seed to //')
"$tevrol" "$data/demo.txt" 1000 "$seed" | cmp -s - "$out" || fail "clock seed: not reproduced by its seed"

# Expects the exit status and the last line of standard output of a run.
expect_run() { # name status last-line command...
  local name=$1 status=$2 last=$3
  shift 3
  local out=$outdir/$name.out got
  "$@" >"$out" 2>"$outdir/$name.err"
  got=$?
  [ "$got" = "$status" ] || fail "$name: exit status $got, expected $status"
  [ "$(tail -n 1 "$out")" = "$last" ] || fail "$name: last line '$(tail -n 1 "$out")', expected '$last'"
}

# The same seed repeats a run; another seed draws other permutations.
regions=$here/../../examples/regions.txt
"$tevrol" "$regions" 200 -1 >"$outdir/regions_a.out"
"$tevrol" "$regions" 200 -1 | cmp -s - "$outdir/regions_a.out" || fail "seed -1 not reproduced"
"$tevrol" "$regions" 200 -2 >"$outdir/regions_b.out"
cmp -s <(grep "^P value" "$outdir/regions_a.out") <(grep "^P value" "$outdir/regions_b.out") &&
  fail "seeds -1 and -2 gave the same P values"

# Every way of computing the permutations, and any number of threads, prints
# the same bytes.
for engine in reference pairs dense bitset sparse sliced haplotypes automatic; do
  for threads in 1 2; do
    for file in demo balanced; do
      TEVROL_ENGINE=$engine TEVROL_THREADS=$threads "$tevrol" "$data/$file.txt" 100 -1 >"$outdir/engine.out"
      cmp -s <(without_reading_line "$outdir/engine.out") \
        <(without_reading_line "$here/expected/${file}_100_m1.out") ||
        fail "engine $engine with $threads threads differs on $file.txt"
    done
  done
done
for setting in TEVROL_THREADS=0 TEVROL_THREADS=x TEVROL_THREADS=4x TEVROL_ENGINE=fast; do
  out=$(env "$setting" "$tevrol" "$data/demo.txt" 100 -1)
  status=$?
  [ "$status" = 13 ] && [[ "$out" == ERROR:\ TEVROL_* ]] || fail "$setting: status $status, output '$out'"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Output that cannot be written is a failure, said on standard error.
"$tevrol" "$data/demo.txt" 100 -1 >/dev/full 2>"$work/err"
status=$?
[ "$status" = 13 ] || fail "full disk: exit status $status"
grep -q "could not write the output: No space left on device" "$work/err" ||
  fail "full disk: '$(cat "$work/err")'"
"$tevrol" "$data/demo.txt" 100 -1 >&- 2>"$work/err"
status=$?
[ "$status" = 13 ] || fail "closed output: exit status $status"
grep -q "standard output is closed" "$work/err" || fail "closed output: no reason given"

# A file that opens but cannot be read.
expect_run read_error 13 "ERROR: Could not read file" "$tevrol" /proc/self/mem 100 -1

# A file without read permission (as root, run as nobody where that is possible).
printf 'a\tb\tc\n1\t2\t3\n' >"$work/secret.txt"
chmod 000 "$work/secret.txt"
if [ "$(id -u)" != 0 ]; then
  expect_run unreadable 13 "ERROR: Could not open file" "$tevrol" "$work/secret.txt" 100 -1
elif command -v setpriv >/dev/null && chmod 755 "$work" &&
  setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$tevrol"; then
  expect_run unreadable 13 "ERROR: Could not open file" \
    setpriv --reuid=65534 --regid=65534 --clear-groups "$tevrol" "$work/secret.txt" 100 -1
else
  echo "skipped: unreadable file (root, and the binary is out of reach of another user)"
fi

# A data line of 10 MB, read whole: one individual, a complete run.
{ printf 'pop\tperiod\tlocus\np\tx\t'; head -c 10000000 /dev/zero | tr '\0' 'A'; printf '\n'; } >"$work/long_line.txt"
expect_run long_line 0 "" "$tevrol" "$work/long_line.txt" 100 -1
grep -q "^Sample sizes:" "$outdir/long_line.out" || fail "long line: no sample sizes"

# 100,000 columns: 99,998 loci for three individuals.
awk 'BEGIN { for (r = 0; r < 4; r++) { line = (r == 0 ? "a\tb" : "p" r % 2 "\tx");
  for (c = 0; c < 99998; c++) line = line "\t" (r == 0 ? "L" : (c * r) % 3); print line } }' \
  >"$work/wide.txt"
expect_run many_columns 0 "" "$tevrol" "$work/wide.txt" 100 -1
grep -q "^Total    2 " "$outdir/many_columns.out" || fail "many columns: no ANOVA table"

# Too little memory for the N x N tables: a clear message, not an abort. The
# permutation engine itself needs memory linear in N and still runs.
if [ -z "${TEVROL_SANITIZED:-}" ]; then
  awk 'BEGIN { print "a\tb\tc"; for (i = 0; i < 20000; i++) print "p" i % 4 "\tx" i % 3 "\t" i % 7 }' \
    >"$work/large.txt"
  expect_run memory_limit 13 "ERROR: Not enough memory for the distance tables of 20000 individuals" \
    bash -c "ulimit -v 1000000 && TEVROL_ENGINE=reference exec \"\$0\" \"\$1\" 100 -1" "$tevrol" "$work/large.txt"
  expect_run memory_limit_engine 0 "" \
    bash -c "ulimit -v 1000000 && exec \"\$0\" \"\$1\" 100 -1" "$tevrol" "$work/large.txt"
  # A device that never ends is read until memory runs short, then refused.
  expect_run endless_device 13 "ERROR: Not enough memory for this data set" \
    bash -c "ulimit -v 2000000 && exec \"\$0\" /dev/zero 100 -1" "$tevrol"
else
  echo "skipped: memory limits (the sanitizers need their own address space)"
fi

# --help and --version answer with status 0; the version is the project's.
root=$here/../..
"$tevrol" --help >"$work/help" || fail "--help: exit status $?"
grep -q '^Usage: tevrol \[options\] filename' "$work/help" || fail "--help: no usage line"
version=$(sed -n 's/^project(tevrol VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ "$("$tevrol" -V)" = "tevrol $version" ] || fail "--version: '$("$tevrol" -V)', expected $version"

# The man page and --help document the same options.
help_options=$(sed -n '/^Options/,/^$/p' "$work/help" | grep -oE -- '--?[a-z][a-z-]*' | sort -u)
man_options=$(awk '/^\.SH OPTIONS/ { on = 1; next } /^\.SH/ { on = 0 } on && prev == ".TP" { print }
  { prev = $0 }' "$root/doc/tevrol.1" | sed 's/\\-/-/g; s/\\f[BIRP]//g' |
  grep -oE -- '--?[a-z][a-z-]*' | sort -u)
[ -n "$help_options" ] && [ "$help_options" = "$man_options" ] ||
  fail "options of --help and the man page differ: $(echo $help_options) / $(echo $man_options)"

# The JSON and null files agree with the report and with each other: the
# extreme counts recomputed from the null file give the report's P value
# lines and the JSON's counts. A pass counts as extreme unless the observed F
# is strictly greater (so does a NaN).
check_outputs() { # name data nperm
  local name=$1 file=$2 nperm=$3
  "$tevrol" --json "$work/$name.json" --null "$work/$name.null" "$file" "$nperm" -1 >"$work/$name.out" ||
    fail "$name: exit status $?"
  # Observed F of XA and XB: the first two "F" keys, in the "anova" object.
  read -r fa fb < <(awk -F': ' '/"F":/ { sub(/,$/, "", $2); f[n++] = $2 } END { print f[0], f[1] }' \
    "$work/$name.json")
  awk -F'\t' -v fa="$fa" -v fb="$fb" -v m="$nperm" '
    NR == 1 { next }
    { lines[$1]++; if (!(fa > $3 + 0)) ex[$1, 0]++; if (!(fb > $4 + 0)) ex[$1, 1]++ }
    function pline(factor, extreme,   p, rel) {
      p = 1.0 - (m - extreme) / m; rel = "="
      if (!(p > 0)) { p = 1 / m; rel = "<" }
      printf "P value for %s    %s %9.3g\t(se    = %9.3g)\n", factor, rel, p, sqrt((1 - p) * p / (m + 1))
    }
    END {
      for (t = 0; t < 3; t++) {
        if (lines[t] != m) print "type " t ": " lines[t] " lines"
        pline("XA", ex[t, 0] + 0); pline("XB", ex[t, 1] + 0)
      }
      for (t = 0; t < 3; t++) print "extreme " ex[t, 0] + 0 " " ex[t, 1] + 0 >"/dev/stderr"
    }' "$work/$name.null" >"$work/$name.p" 2>"$work/$name.extreme"
  cmp -s "$work/$name.p" <(grep '^P value' "$work/$name.out") ||
    fail "$name: P values from the null file differ from the report"
  cmp -s "$work/$name.extreme" <(grep -oE '"extreme": [0-9]+' "$work/$name.json" |
    awk '{ v[n++] = $2 } END { for (t = 0; t < 3; t++) print "extreme " v[2 * t] " " v[2 * t + 1] }') ||
    fail "$name: extreme counts of the JSON file differ from the null file"
  # Same seed without options: the same report.
  "$tevrol" "$file" "$nperm" -1 | cmp -s - "$work/$name.out" || fail "$name: options changed the report"
}
check_outputs demo "$data/demo.txt" 100
check_outputs regions "$regions" 300
[ "$(head -n 1 "$work/demo.null")" = "$(printf 'type\tpermutation\tF_XA\tF_XB')" ] ||
  fail "null file: header"
[ "$(sed -n '2p;3p;4p;5p' "$work/demo.null" | cut -f 1,2 | tr '\t\n' ':,')" = "0:1,1:1,2:1,0:2," ] ||
  fail "null file: not in run order"

# Output files appear only when complete: a failed run leaves an existing
# file as it was, and no temporary file beside it.
printf 'old\n' >"$work/keep.json"
"$tevrol" --json "$work/keep.json" --null "$work/keep.null" "$data/missing.txt" 100 -1 >/dev/null
[ "$(cat "$work/keep.json")" = old ] || fail "failed run: existing JSON file changed"
[ ! -e "$work/keep.null" ] || fail "failed run: null file created"
"$tevrol" --json "$work/keep.json" "$data/demo.txt" 100 -1 >/dev/full 2>"$work/full.err"
[ "$?" = 13 ] && [ "$(cat "$work/keep.json")" = old ] || fail "unwritable report: JSON file replaced"
ls -A "$work" | grep -q '^\.' && fail "temporary files left: $(ls -A "$work" | grep '^\.')"
# A run ended by a signal leaves no temporary file either.
for signal in TERM USR1; do
  "$tevrol" --json "$work/keep.json" "$regions" 5000000 -1 >/dev/null &
  pid=$!
  sleep 0.5
  kill -"$signal" "$pid"
  wait "$pid" 2>/dev/null
  [ "$(cat "$work/keep.json")" = old ] || fail "killed run ($signal): JSON file changed"
  ls -A "$work" | grep -q '^\.' && fail "killed run ($signal): temporary file left"
done
"$tevrol" --json "$work/keep.json" "$data/demo.txt" 100 -1 >/dev/null
grep -q '"program": "tevrol"' "$work/keep.json" || fail "complete run: JSON file not replaced"

# An output never replaces the input or the other output; a link to nowhere
# is not followed into a file left behind by a failed run.
cp "$data/demo.txt" "$work/input.txt"
for args in "--null $work/input.txt" "--json $work/./input.txt" "--json $work/same --null $work/same"; do
  # shellcheck disable=SC2086
  "$tevrol" $args "$work/input.txt" 100 -1 >"$work/clash.out"
  status=$?
  [ "$status" = 13 ] && [ "$(wc -l <"$work/clash.out")" = 1 ] && grep -q '^ERROR: Option' "$work/clash.out" ||
    fail "clash ($args): status $status, '$(cat "$work/clash.out")'"
done
# Standard input redirected from a file is that file.
"$tevrol" --json "$work/input.txt" - 100 -1 <"$work/input.txt" >"$work/clash.out"
status=$?
[ "$status" = 13 ] && grep -q '^ERROR: Option --json would overwrite the input file$' "$work/clash.out" ||
  fail "clash through standard input: status $status, '$(cat "$work/clash.out")'"
cmp -s "$data/demo.txt" "$work/input.txt" || fail "clash: input file changed"
# Devices are no files to lose: both outputs may go to one.
"$tevrol" --json /dev/null --null /dev/null "$work/input.txt" 100 -1 >/dev/null ||
  fail "clash: two outputs to /dev/null refused"
ln -s "$work/nowhere/r.json" "$work/dangling"
mkdir "$work/nowhere"
"$tevrol" --json "$work/dangling" "$data/missing.txt" 100 -1 >/dev/null
[ ! -e "$work/nowhere/r.json" ] || fail "link to nowhere: file created by a failed run"

# A null file on standard output follows the whole report.
"$tevrol" --null /dev/stdout "$data/demo.txt" 100 -1 >"$work/null_stdout.out"
lines=$(wc -l <"$here/expected/demo_100_m1.out")
cmp -s <(head -n "$lines" "$work/null_stdout.out" | sed 3d) <(sed 3d "$here/expected/demo_100_m1.out") &&
  [ "$(sed -n "$((lines + 1))p" "$work/null_stdout.out")" = "$(printf 'type\tpermutation\tF_XA\tF_XB')" ] ||
  fail "null file on standard output: not after the report"

# A null file that cannot grow is named with the reason, and the JSON file of
# the run is not put in place.
(
  ulimit -f 64
  trap '' XFSZ
  "$tevrol" --json "$work/fsize.json" --null "$work/fsize.null" "$regions" 30000 -1 \
    >/dev/null 2>"$work/fsize.err"
  [ "$?" = 13 ]
) || fail "null file over the file size limit: not status 13"
[ ! -e "$work/fsize.json" ] && grep -q "could not write $work/fsize.null: File too large" "$work/fsize.err" ||
  fail "null file over the file size limit: '$(cat "$work/fsize.err")'"

# When standard output fails while the spooled null file is copied, the JSON
# file is not put in place (SIGPIPE ignored, so that the write fails).
(
  trap '' PIPE
  "$tevrol" --null /dev/stdout --json "$work/spooled.json" "$data/demo.txt" 100000 -1 \
    2>"$work/spooled.err" | head -c 3000 >/dev/null
  [ "${PIPESTATUS[0]}" = 13 ]
) || fail "spooled null file on a closed pipe: not status 13"
[ ! -e "$work/spooled.json" ] && grep -q 'could not write the output: Broken pipe' "$work/spooled.err" ||
  fail "spooled null file on a closed pipe: JSON file kept or '$(cat "$work/spooled.err")'"

# A reader that goes away ends the run by SIGPIPE, without a message.
"$tevrol" --null /dev/stdout "$regions" 20000 -1 2>"$work/err" | head -n 1 >/dev/null
status=${PIPESTATUS[0]}
[ "$status" = 141 ] && [ ! -s "$work/err" ] || fail "closed pipe: status $status, '$(cat "$work/err")'"

# Progress goes to standard error only: a file gets whole lines of rising
# counts, the report stays the same, and a short run shows nothing.
"$tevrol" --progress "$data/demo.txt" 6000000 -1 >"$work/progress.out" 2>"$work/progress.err"
"$tevrol" "$data/demo.txt" 6000000 -1 | cmp -s - "$work/progress.out" || fail "progress: report changed"
pattern='^tevrol: [0-9]+ of 18000000 permutations, [0-9]+:[0-9]{2} elapsed, about [0-9]+:[0-9]{2} left$'
lines=$(wc -l <"$work/progress.err")
[ "$lines" -ge 1 ] && [ "$(grep -cE "$pattern" "$work/progress.err")" = "$lines" ] &&
  cut -d ' ' -f 2 "$work/progress.err" | sort -c -n -u ||
  fail "progress: lines '$(head -c 300 "$work/progress.err")'"
"$tevrol" --progress "$data/demo.txt" 100 -1 2>&1 >/dev/null | grep -q . && fail "progress: short run showed some"

# The blocks after the P values leave everything before them as it was, and
# every engine mode and thread count gives the same blocks.
"$tevrol" "$regions" 200 -1 >"$work/plain.out"
lines=$(wc -l <"$work/plain.out")
for options in --interaction --effects --pairwise "--interaction --effects --pairwise"; do
  # shellcheck disable=SC2086
  "$tevrol" $options "$regions" 200 -1 | head -n "$lines" | cmp -s - "$work/plain.out" ||
    fail "$options: the main report changed"
done
blocks="--interaction --effects --pairwise"
# shellcheck disable=SC2086
"$tevrol" $blocks "$regions" 200 -1 >"$work/blocks.out"
grep -q "^P value for XA:XB = " "$work/blocks.out" && grep -q "^Effect sizes" "$work/blocks.out" &&
  grep -q "^north - coast " "$work/blocks.out" || fail "blocks: missing from the report"
# A pair's F is the F of the file of its individuals (on 10 loci: its own
# numbers, not those of the whole file's other levels).
cut -f 1-12 "$regions" | awk -F '\t' 'NR == 1 || $1 == "south" || $1 == "coast"' >"$work/pair.txt"
cut -f 1-12 "$regions" >"$work/ten.txt"
pairF=$("$tevrol" --pairwise "$work/ten.txt" 100 -1 | awk '$1 == "coast" && $3 == "south" { print $5 }')
fileF=$("$tevrol" "$work/pair.txt" 100 -1 | awk '$1 == "XA" { print $6 }')
[ -n "$pairF" ] && [ "$pairF" = "$fileF" ] || fail "pair coast - south: F '$pairF', its file's '$fileF'"
# Identifiers taken for a factor: an error before any permutation, not days
# of pairs or a matrix of a million rows.
awk 'BEGIN { print "id\tB\tL"; for (i = 0; i < 1001; ++i) print "i" i "\tx\t" i % 3 }' >"$work/ids.txt"
expect_run pairwise_levels 13 "ERROR: Too many levels for --pairwise: 1001 and 1, at most 100 per factor" \
  "$tevrol" --pairwise "$work/ids.txt" 100 -1
expect_run interaction_levels 13 "ERROR: Too many levels for --interaction: 1001 + 1, at most 1000 in all" \
  "$tevrol" --interaction "$work/ids.txt" 100 -1
for engine in pairs dense bitset sparse sliced haplotypes reference; do
  for threads in 1 2; do
    # shellcheck disable=SC2086
    TEVROL_ENGINE=$engine "$tevrol" -t "$threads" $blocks "$regions" 200 -1 |
      cmp -s - "$work/blocks.out" || fail "blocks: $engine with $threads threads differs"
  done
done

[ "$failures" = 0 ] && echo "all special cases passed"
[ "$failures" = 0 ]
