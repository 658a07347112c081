#!/usr/bin/env bash
# Runs the README's quick start as written: the command lines between the
# quick-start markers, in a new folder, with the built tool as `tarnwick` and
# a folder `myfiles` holding an MZT file and a BSD file. Every line must exit
# with status 0, the listing must show both files, and the folder X writes
# must hold them byte for byte.
#   quick_start_test.sh TARNWICK README.md
set -euo pipefail
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
readme=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$tool" "$work/bin/tarnwick"
export PATH="$work/bin:$PATH" LC_ALL=C.UTF-8
cd "$work"

mapfile -t lines < <(sed -n '/^<!-- quick-start -->$/,/^<!-- \/quick-start -->$/p' "$readme" |
  grep -v -e '^<!--' -e '^```' -e '^$')
[ "${#lines[@]}" -eq 5 ] || fail "the quick start has ${#lines[@]} command lines, not 5"

# The user's files: HELLO.mzt (an OBJ file of 1000 bytes loaded and run at
# 0x1200, its header as X writes it back) and SCORES.bsd (700 bytes).
mkdir myfiles
{
  printf '\001HELLO\r\r\r\r\r\r\r\r\r\r\r\r\350\003\000\022\000\022'
  head -c 104 /dev/zero
  for i in $(seq 1 100); do printf 'HELLO, MZ!'; done
} > myfiles/HELLO.mzt
for i in $(seq 1 70); do printf '%09d\n' "$i"; done > myfiles/SCORES.bsd
[ "$(wc -c < myfiles/HELLO.mzt)" -eq 1128 ] || fail "the test's MZT file is not 1128 bytes"

listing=""
for line in "${lines[@]}"; do
  [[ "$line" == "tarnwick "* ]] || fail "not a tarnwick command: $line"
  echo "\$ $line"
  set +e
  out=$(bash -c "$line" 2>&1)
  status=$?
  set -e
  printf '%s\n' "$out"
  [ "$status" -eq 0 ] || fail "exit status $status: $line"
  [[ "$line" == *" L "* ]] && listing=$out
done

ls *.d88 >/dev/null 2>&1 || fail "no D88 image was made"
image=$(ls *.d88)
[ "$(wc -c < "$image")" -eq 697008 ] || fail "$image is not a 2DD image of 697008 bytes"
grep -q '^ OBJ  "HELLO" .*    1000 1200 1200$' <<<"$listing" || fail "the listing does not show HELLO"
grep -q '^ BSD  "SCORES" .*     700$' <<<"$listing" || fail "the listing does not show SCORES"
grep -q '^空き [0-9]* バイト' <<<"$listing" || fail "the listing does not show the free space"
hello=$(find . -path ./myfiles -prune -o -name HELLO.mzt -print)
scores=$(find . -path ./myfiles -prune -o -name SCORES.bsd -print)
[ -n "$hello" ] && [ -n "$scores" ] || fail "X wrote no HELLO.mzt and SCORES.bsd"
cmp myfiles/HELLO.mzt "$hello" || fail "$hello differs from myfiles/HELLO.mzt"
cmp myfiles/SCORES.bsd "$scores" || fail "$scores differs from myfiles/SCORES.bsd"
echo "the quick start works as written"
