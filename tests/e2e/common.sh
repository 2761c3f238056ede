# What the end-to-end scripts share, sourced after they set tevrol (the
# program) and outdir (where each case's output is kept): a scratch folder
# removed at exit, the count of failures, and the checks.

mkdir -p "$outdir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Expects status 13 and the message as the last line of standard output.
expect_error() { # name message args...
  local name=$1 message=$2
  shift 2
  local out=$outdir/$name.out status
  "$tevrol" "$@" </dev/null >"$out" 2>"$outdir/$name.err"
  status=$?
  [ "$status" = 13 ] || fail "$name: exit status $status, expected 13"
  [ "$(tail -n 1 "$out")" = "ERROR: $message" ] || fail "$name: last line '$(tail -n 1 "$out")'"
}

# The report from the level lines on: what does not name the input.
analysis() {
  sed -n '/^Levels for first factor/,$p' "$1"
}
