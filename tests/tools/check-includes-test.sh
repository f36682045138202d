#!/usr/bin/env bash
# The include check against this tree (it must pass) and against copies of the
# sources with one upward include added (it must fail and name that line).
# Usage: bash check-includes-test.sh ROOT
set -uo pipefail

root=$1
check=$root/tools/check-includes.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

fail() {
  echo "FAIL: $*" >&2
  status=1
}

# A copy of the sources only: the check reads nothing else.
copy_tree() {
  local into=$1
  mkdir -p "$into"
  (cd "$root" && find . -path './build*' -prune -o -path './.*' -prune -o \
    \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cpp' \) -print0 |
    xargs -0 cp --parents -t "$into")
}

# Adds an include at the end of FILE in a fresh copy; the check must fail naming FILE:LINE.
expect_caught() {
  local file=$1 header=$2 copy=$work/copy-$RANDOM
  copy_tree "$copy"
  echo "#include \"$header\"" >>"$copy/$file"
  local line
  line=$(wc -l <"$copy/$file")
  if bash "$check" "$copy" >"$work/out" 2>"$work/err"; then
    fail "an include of $header from $file was not caught"
  elif ! grep -qF "upward include: $file:$line: #include \"$header\"" "$work/err"; then
    fail "the report does not name $file:$line"
    cat "$work/err" >&2
  fi
}

if ! bash "$check" "$root" >"$work/out" 2>"$work/err"; then
  fail "the tree itself has an include cycle"
  cat "$work/err" >&2
fi
grep -q '^game  *-> .*audio' "$work/out" || fail "the printed graph lacks game -> audio"

expect_caught midi/MidiFile.cpp app/App.h                  # a leaf reaching the top
expect_caught audio/AudioSystem.cpp game/GameLogic.h       # the music reaching back into gameplay
expect_caught base/Log.cpp tests/support/TestSupport.h     # production code including a test header
exit $status
