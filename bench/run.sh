#!/usr/bin/env bash
# Times every command on large, nearly full images against the floor of the
# same work, measures each command's peak memory, and shows how the
# consistency check's cost grows with the records in use.
#
#   bash bench/run.sh            11 runs of each case (median reported)
#   BENCH_RUNS=15 bash bench/run.sh
#   BENCH_TOOL=/path/to/tarnwick BENCH_OUT=before.md bash bench/run.sh
#                                another build of the tool
#   BENCH_BEFORE=/path/to/old/tarnwick bash bench/run.sh
#                                also times an older build in the same runs,
#                                taking turns with this one, for a table of
#                                both from one run
#
# Prints the tables and writes them to bench/results/latest.md (or BENCH_OUT).
#
# Each timed run is a whole process started from a fresh copy of the image
# (the copy, synced to disk, is not timed). The floor is what no tool doing
# the same work can beat: reading the image once (cat) and, for the commands
# that change the volume, writing the volume's bytes back once at the same
# offset and syncing them (dd conv=notrunc,fsync); for R, which syncs the
# host file it writes, also writing the extracted bytes to a new file once.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# The tool's Shift_JIS bytes, as every older build writes them, whatever the
# terminal's locale: the checks below read them through iconv.
export LC_ALL=C
runs=${BENCH_RUNS:-11}
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

bash tools/install-deps.sh time valgrind >&2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target tarnwick make_bench_images >/dev/null

tool=$(realpath "${BENCH_TOOL:-$root/build/tarnwick}")
before=""
[ -z "${BENCH_BEFORE:-}" ] || before=$(realpath "$BENCH_BEFORE")
results=$root/bench/results
work=$results/work
rm -rf "$work"
mkdir -p "$work/images"
build/make_bench_images "$work/images"
# shellcheck disable=SC1091
source "$work/images/bench.env"
cd "$work"

# Microseconds between two readings of EPOCHREALTIME (read directly, not in a
# subshell, so that no fork lands inside the timed span).
elapsed_us() { echo $((${2//[.,]/} - ${1//[.,]/})); }

# A fresh copy of an image, on disk and clean in the page cache.
fresh() {
  rm -f "$2"
  cp "$1" "$2"
  sync "$2"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ms() { awk -v us="$1" 'BEGIN { printf "%.1f", us / 1000 }'; }
mb() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The volume's bytes as they stand in each image, for the write floor.
dd if=images/bench.hdd of=hdd.volume bs=1M iflag=skip_bytes,count_bytes skip="$HDD_OFFSET" \
  count="$HDD_VOLUME_BYTES" status=none
dd if=images/bench.d88 of=d88.volume bs=1M iflag=skip_bytes,count_bytes skip="$D88_OFFSET" \
  count="$D88_TRACK_BYTES" status=none

rows=()
misses=()

# One case: name, image, volume size, bytes the volume takes in the image
# file, their offset, a file of those bytes for the write floor ("" for the
# read-only commands), then the tool's arguments with IMG for the image.
bench_case() {
  local name=$1 image=$2 volume_bytes=$3 read_bytes=$4 offset=$5 volume_file=$6
  shift 6
  local copy="run.${image##*.}" args=()
  for a in "$@"; do
    if [ "$a" = IMG ]; then args+=("$copy"); else args+=("$a"); fi
  done

  # One run to see that the command works, its output kept for the log.
  fresh "images/$image" "$copy"
  rm -f out.bin
  "$tool" "${args[@]}" >"$name.stdout" 2>"$name.stderr" || true
  local works=yes
  iconv -f CP932 -t UTF-8 "$name.stdout" >"$name.stdout.txt" 2>/dev/null || true
  iconv -f CP932 -t UTF-8 "$name.stderr" >"$name.stderr.txt" 2>/dev/null || true
  if [ -s "$name.stderr" ] || grep -q 'エラー' "$name.stdout.txt" || ! grep -q '完了しました' "$name.stdout.txt"; then
    works=no
  fi
  # A command that writes a host file (R) syncs it: the floor writes the
  # same bytes to a new file once and syncs them too.
  rm -f expected.out
  [ ! -f out.bin ] || mv out.bin expected.out
  case $name in
    *" L") [ "$(grep -c '^ ' "$name.stdout.txt")" -ge 61 ] || works=no ;;
    *" R") [ -f expected.out ] && [ "$(stat -c %s expected.out)" -eq "$LARGEST_BYTES" ] || works=no ;;
    *" D") grep -q 'を削除しました' "$name.stdout.txt" || works=no ;;
    *" W" | *" I") ! cmp -s "images/$image" "$copy" || works=no ;;
  esac

  local tool_us=() floor_us=() strict_us=() before_us=() t0 t1

  # One timed run of a build of the tool on a fresh copy, into run_us.
  time_run() {
    fresh "images/$image" "$copy"
    rm -f out.bin
    t0=$EPOCHREALTIME
    "$1" "${args[@]}" >/dev/null 2>&1 || true
    t1=$EPOCHREALTIME
    run_us=$(elapsed_us "$t0" "$t1")
  }
  for ((i = 0; i < runs; i++)); do
    fresh "images/$image" "$copy"
    rm -f floor.out
    t0=$EPOCHREALTIME
    cat "$copy" >/dev/null
    [ -z "$volume_file" ] || dd if="$volume_file" of="$copy" bs=1M oflag=seek_bytes seek="$offset" \
      conv=notrunc,fsync status=none
    [ ! -f expected.out ] || dd if=expected.out of=floor.out bs=1M conv=fsync status=none
    t1=$EPOCHREALTIME
    floor_us+=("$(elapsed_us "$t0" "$t1")")

    fresh "images/$image" "$copy"
    rm -f floor.out
    t0=$EPOCHREALTIME
    dd if="$copy" of=/dev/null bs=1M iflag=skip_bytes,count_bytes skip="$offset" count="$read_bytes" status=none
    [ -z "$volume_file" ] || dd if="$volume_file" of="$copy" bs=1M oflag=seek_bytes seek="$offset" \
      conv=notrunc,fsync status=none
    [ ! -f expected.out ] || dd if=expected.out of=floor.out bs=1M conv=fsync status=none
    t1=$EPOCHREALTIME
    strict_us+=("$(elapsed_us "$t0" "$t1")")

    time_run "$tool"
    tool_us+=("$run_us")
    if [ -n "$before" ]; then
      time_run "$before"
      before_us+=("$run_us")
    fi
  done

  fresh "images/$image" "$copy"
  rm -f out.bin
  /usr/bin/time -f %M -o "$name.rss" "$tool" "${args[@]}" >/dev/null 2>&1 || true
  local rss_kb limit_kb
  rss_kb=$(tail -n 1 "$name.rss")
  limit_kb=$(((volume_bytes + 4 * 1024 * 1024) / 1024))

  local t f s r sr
  t=$(printf '%s\n' "${tool_us[@]}" | median)
  f=$(printf '%s\n' "${floor_us[@]}" | median)
  s=$(printf '%s\n' "${strict_us[@]}" | median)
  r=$(ratio "$t" "$f")
  sr=$(ratio "$t" "$s")
  local mem_ok=yes time_ok=yes before_cells=""
  [ "$rss_kb" -le "$limit_kb" ] || mem_ok=no
  awk -v r="$r" 'BEGIN { exit !(r <= 1.0) }' || time_ok=no
  if [ -n "$before" ]; then
    local b brss
    b=$(printf '%s\n' "${before_us[@]}" | median)
    fresh "images/$image" "$copy"
    rm -f out.bin
    /usr/bin/time -f %M -o "$name.before.rss" "$before" "${args[@]}" >/dev/null 2>&1 || true
    brss=$(tail -n 1 "$name.before.rss")
    before_cells=" $(ms "$b") | $(ratio "$b" "$f") | $(mb "$brss") |"
  fi
  local shown_args="${args[*]}"
  rows+=("| $name | \`tarnwick ${shown_args//$copy/$image}\` | $(ms "$t") | $(ms "$f") | **$r** | $(ms "$s") | $sr | $(mb "$rss_kb") | $(mb "$limit_kb") |$before_cells $works |")
  [ "$time_ok" = yes ] || misses+=("$name: $r x the floor")
  [ "$mem_ok" = yes ] || misses+=("$name: peak memory $(mb "$rss_kb") MB over $(mb "$limit_kb") MB")
  [ "$works" = yes ] || misses+=("$name: the command did not do its work (see bench/results/work/$name.std*.txt)")
  echo "$name: tool $(ms "$t") ms, floor $(ms "$f") ms, ratio $r, peak $(mb "$rss_kb") MB, works: $works" >&2
}

for kind in HDD D88; do
  image=bench.${kind,,}
  if [ "$kind" = HDD ]; then
    offset=$HDD_OFFSET volume_bytes=$HDD_VOLUME_BYTES read_bytes=$HDD_VOLUME_BYTES volfile=hdd.volume
  else
    offset=$D88_OFFSET volume_bytes=$D88_VOLUME_BYTES read_bytes=$D88_TRACK_BYTES volfile=d88.volume
  fi
  part=1
  eval "LIST=\$${kind}_LIST LARGEST=\$${kind}_LARGEST LARGEST_BYTES=\$${kind}_LARGEST_BYTES"
  eval "REPLACE=\$${kind}_REPLACE IMPORT_RECORD=\$${kind}_IMPORT_RECORD"
  bench_case "$kind L" "$image" "$volume_bytes" "$read_bytes" "$offset" "" L IMG "$part" "$LIST"
  bench_case "$kind R" "$image" "$volume_bytes" "$read_bytes" "$offset" "" R IMG "$part" "$LARGEST" out.bin
  bench_case "$kind W" "$image" "$volume_bytes" "$read_bytes" "$offset" "$volfile" W IMG "$part" "$REPLACE" images/big.mzt
  bench_case "$kind D" "$image" "$volume_bytes" "$read_bytes" "$offset" "$volfile" D IMG "$part" "$LARGEST"
  bench_case "$kind I" "$image" "$volume_bytes" "$read_bytes" "$offset" "$volfile" I IMG "$part" "$IMPORT_RECORD" images/raw.bin
done

# X: the whole partition out into a new host folder, against copying the
# tree it writes (cp -r) and syncing it once (sync -f, one syncfs), and
# against the same copy with a sync per file. The page cache is written
# back before each timed run (not timed), so no run pays for another's.
x_rows=()
bench_x_case() {
  local name=$1 image=$2
  local copy="run.${image##*.}" works=yes
  fresh "images/$image" "$copy"
  rm -rf x.ref
  "$tool" X "$copy" 1 / x.ref >"$name.stdout" 2>"$name.stderr" || true
  iconv -f CP932 -t UTF-8 "$name.stdout" >"$name.stdout.txt" 2>/dev/null || true
  iconv -f CP932 -t UTF-8 "$name.stderr" >"$name.stderr.txt" 2>/dev/null || true
  # Files of modes X does not write (RB and the like) are reported on
  # standard error, as they are on any volume that holds them.
  grep -q 'ファイルを取り出しました' "$name.stdout.txt" && grep -q '完了しました' "$name.stdout.txt" || works=no
  local files
  files=$(find x.ref -type f | wc -l)
  local tool_us=() once_us=() each_us=() t0 t1
  for ((i = 0; i < runs; i++)); do
    rm -rf x.out && sync
    t0=$EPOCHREALTIME
    cp -r x.ref x.out
    sync -f x.out
    t1=$EPOCHREALTIME
    once_us+=("$(elapsed_us "$t0" "$t1")")

    rm -rf x.out && sync
    t0=$EPOCHREALTIME
    cp -r x.ref x.out
    find x.out -type f -exec sync {} +
    t1=$EPOCHREALTIME
    each_us+=("$(elapsed_us "$t0" "$t1")")

    fresh "images/$image" "$copy"
    rm -rf x.out && sync
    t0=$EPOCHREALTIME
    "$tool" X "$copy" 1 / x.out >/dev/null 2>&1 || true
    t1=$EPOCHREALTIME
    tool_us+=("$(elapsed_us "$t0" "$t1")")
  done
  diff -r x.ref x.out >/dev/null || works=no
  rm -rf x.out
  /usr/bin/time -f %M -o "$name.rss" "$tool" X "$copy" 1 / x.out >/dev/null 2>&1 || true
  rm -rf x.out
  local t o e r
  t=$(printf '%s\n' "${tool_us[@]}" | median)
  o=$(printf '%s\n' "${once_us[@]}" | median)
  e=$(printf '%s\n' "${each_us[@]}" | median)
  r=$(ratio "$t" "$o")
  x_rows+=("| $name | \`tarnwick X $image 1 / out\` ($files files) | $(ms "$t") | $(ms "$o") | **$r** | $(ms "$e") | $(ratio "$t" "$e") | $(mb "$(tail -n 1 "$name.rss")") | $works |")
  awk -v r="$r" 'BEGIN { exit !(r <= 1.5) }' || misses+=("$name: $r x cp -r plus sync -f")
  [ "$works" = yes ] || misses+=("$name: the command did not do its work (see bench/results/work/$name.std*.txt)")
  echo "$name: tool $(ms "$t") ms, cp -r + sync -f $(ms "$o") ms, ratio $r, cp -r + sync per file $(ms "$e") ms, works: $works" >&2
}
bench_x_case "HDD X" bench.hdd
bench_x_case "D88 X" bench.d88

# A: the tree X writes from partition 1 of bench.hdd, stored whole into the
# blank partition of blank.hdd, which has the same geometry. Floor: reading
# the tree's files (cat) and writing the volume's bytes once at their offset
# with a sync.
"$tool" X images/bench.hdd 1 / tree >/dev/null 2>&1 || true
tree_files=$(find tree -type f | wc -l)
tree_bytes=$(find tree -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
a_args=(A run.hdd 1 / tree)
fresh images/blank.hdd run.hdd
"$tool" "${a_args[@]}" >"HDD A.stdout" 2>"HDD A.stderr" || true
iconv -f CP932 -t UTF-8 "HDD A.stdout" >"HDD A.stdout.txt" 2>/dev/null || true
a_works=yes
if [ -s "HDD A.stderr" ] || ! grep -q "^$tree_files 個のファイルを書き込みました" "HDD A.stdout.txt" ||
  ! grep -q '完了しました' "HDD A.stdout.txt"; then
  a_works=no
fi
# What A made, read back with X, is the tree it was given: names, bytes and
# last-write times to the minute.
rm -rf tree.back
"$tool" X run.hdd 1 / tree.back >/dev/null 2>&1 || true
diff -r tree tree.back >/dev/null 2>&1 || a_works=no
stamps() { (cd "$1" && find . -mindepth 1 -printf '%p %TY-%Tm-%Td %TH:%TM\n' | sort); }
[ "$(stamps tree)" = "$(stamps tree.back)" ] || a_works=no
dd if=run.hdd of=a.volume bs=1M iflag=skip_bytes,count_bytes skip="$HDD_OFFSET" count="$HDD_VOLUME_BYTES" status=none
find tree -type f -print0 >tree.list
a_us=() a_floor_us=() a_before_us=()
for ((i = 0; i < runs; i++)); do
  fresh images/blank.hdd run.hdd
  t0=$EPOCHREALTIME
  xargs -0 cat <tree.list >/dev/null
  dd if=a.volume of=run.hdd bs=1M oflag=seek_bytes seek="$HDD_OFFSET" conv=notrunc,fsync status=none
  t1=$EPOCHREALTIME
  a_floor_us+=("$(elapsed_us "$t0" "$t1")")
  for build in "$tool" $before; do
    fresh images/blank.hdd run.hdd
    t0=$EPOCHREALTIME
    "$build" "${a_args[@]}" >/dev/null 2>&1 || true
    t1=$EPOCHREALTIME
    if [ "$build" = "$tool" ]; then a_us+=("$(elapsed_us "$t0" "$t1")"); else a_before_us+=("$(elapsed_us "$t0" "$t1")"); fi
  done
done
fresh images/blank.hdd run.hdd
/usr/bin/time -f %M -o "HDD A.rss" "$tool" "${a_args[@]}" >/dev/null 2>&1 || true
a_rss=$(tail -n 1 "HDD A.rss")
a_limit=$(((HDD_VOLUME_BYTES + 4 * 1024 * 1024) / 1024))
a_t=$(printf '%s\n' "${a_us[@]}" | median)
a_f=$(printf '%s\n' "${a_floor_us[@]}" | median)
a_r=$(ratio "$a_t" "$a_f")
a_before_cells=""
if [ -n "$before" ]; then
  a_b=$(printf '%s\n' "${a_before_us[@]}" | median)
  a_before_cells=" $(ms "$a_b") | $(ratio "$a_b" "$a_f") | - |"
fi
rows+=("| HDD A | \`tarnwick A blank.hdd 1 / tree\` | $(ms "$a_t") | $(ms "$a_f") | **$a_r** | - | - | $(mb "$a_rss") | $(mb "$a_limit") |$a_before_cells $a_works |")
awk -v r="$a_r" 'BEGIN { exit !(r <= 1.0) }' || misses+=("HDD A: $a_r x the floor")
[ "$a_rss" -le "$a_limit" ] || misses+=("HDD A: peak memory $(mb "$a_rss") MB over $(mb "$a_limit") MB")
[ "$a_works" = yes ] || misses+=("HDD A: the command did not do its work (see bench/results/work/HDD A.std*.txt)")
echo "HDD A: tool $(ms "$a_t") ms, floor $(ms "$a_f") ms, ratio $a_r, peak $(mb "$a_rss") MB, works: $a_works" >&2

# Disks of a file. L of disk 3 of a file of three disks (bench.d88 three
# times, joined with cat) against L of the same disk alone in its own file,
# timed in pairs: the run reads the headers of the chain and that disk's
# pages, nothing of the other disks. And L of bench.d88's raw twin (made by
# C) against cat of it, beside L of bench.d88 against cat of it.
cat images/bench.d88 images/bench.d88 images/bench.d88 >images/three.d88
rm -f images/bench.2dd
"$tool" C images/bench.d88 1 images/bench.2dd >/dev/null 2>&1 || true
disks_works=yes
single_out=$("$tool" L images/bench.d88 1 "$D88_LIST" 2>&1 | sed 1,2d)
[ "$("$tool" L images/three.d88 3 "$D88_LIST" 2>&1 | sed 1,3d)" = "$single_out" ] || disks_works=no
[ "$("$tool" L images/bench.2dd 1 "$D88_LIST" 2>&1 | sed 1d)" = "$single_out" ] || disks_works=no
# One timed run of a command on a fresh copy of an image, into run_us.
time_on_copy() {
  local image=$1 copy=$2
  shift 2
  fresh "images/$image" "$copy"
  t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  t1=$EPOCHREALTIME
  run_us=$(elapsed_us "$t0" "$t1")
}
multi_us=() single_us=() d88_cat_us=() raw_us=() raw_cat_us=()
for ((i = 0; i < runs; i++)); do
  time_on_copy three.d88 run3.d88 "$tool" L run3.d88 3 "$D88_LIST" && multi_us+=("$run_us")
  time_on_copy bench.d88 run1.d88 "$tool" L run1.d88 1 "$D88_LIST" && single_us+=("$run_us")
  time_on_copy bench.d88 run1.d88 cat run1.d88 && d88_cat_us+=("$run_us")
  time_on_copy bench.2dd run.2dd "$tool" L run.2dd 1 "$D88_LIST" && raw_us+=("$run_us")
  time_on_copy bench.2dd run.2dd cat run.2dd && raw_cat_us+=("$run_us")
done
m_multi=$(printf '%s\n' "${multi_us[@]}" | median)
m_single=$(printf '%s\n' "${single_us[@]}" | median)
m_d88_cat=$(printf '%s\n' "${d88_cat_us[@]}" | median)
m_raw=$(printf '%s\n' "${raw_us[@]}" | median)
m_raw_cat=$(printf '%s\n' "${raw_cat_us[@]}" | median)
r_multi=$(ratio "$m_multi" "$m_single")
r_d88=$(ratio "$m_single" "$m_d88_cat")
r_raw=$(ratio "$m_raw" "$m_raw_cat")
disk_rows=(
  "| 3-disk L | \`tarnwick L three.d88 3 $D88_LIST\` | $(ms "$m_multi") | \`tarnwick L bench.d88 1 $D88_LIST\` | $(ms "$m_single") | **$r_multi** | $disks_works |"
  "| D88 L | \`tarnwick L bench.d88 1 $D88_LIST\` | $(ms "$m_single") | \`cat bench.d88\` | $(ms "$m_d88_cat") | **$r_d88** | $disks_works |"
  "| Raw L | \`tarnwick L bench.2dd 1 $D88_LIST\` | $(ms "$m_raw") | \`cat bench.2dd\` | $(ms "$m_raw_cat") | **$r_raw** | $disks_works |"
)
awk -v r="$r_multi" 'BEGIN { exit !(r <= 1.0) }' || misses+=("3-disk L: $r_multi x L of the disk alone")
awk -v a="$r_raw" -v b="$r_d88" 'BEGIN { exit !(a <= b) }' || misses+=("Raw L: $r_raw x cat, its D88 twin $r_d88 x cat")
[ "$disks_works" = yes ] || misses+=("3-disk L or raw L: the listing differs from the disk's own")
echo "3-disk L: $(ms "$m_multi") ms against $(ms "$m_single") ms alone ($r_multi); raw L $r_raw x cat, D88 L $r_d88 x cat" >&2

# The consistency check's cost against the records in use: instructions spent
# inside sanity_check (both checks of an L run), counted by callgrind.
growth=()
prev_ir="" prev_rec=""
for percent in 25 50 100; do
  used=FILL${percent}_USED_BLOCKS rpb=FILL${percent}_RECORDS_PER_BLOCK files=FILL${percent}_FILES
  used=${!used} rpb=${!rpb} files=${!files}
  records=$((used * rpb))
  valgrind --tool=callgrind --callgrind-out-file="fill$percent.callgrind" \
    --toggle-collect='tarnwick::sanity_check*' "$tool" L "images/fill$percent.hdd" >/dev/null 2>&1 || true
  ir=$(awk '/^(summary|totals):/ { print $2; exit }' "fill$percent.callgrind")
  per=$(awk -v a="$ir" -v b="$records" 'BEGIN { printf "%.1f", a / b }')
  step="-"
  if [ -n "$prev_ir" ]; then
    step=$(awk -v a="$ir" -v b="$prev_ir" -v c="$records" -v d="$prev_rec" 'BEGIN { printf "%.1f", (a - b) / (c - d) }')
  fi
  growth+=("| $percent % | $used | $files | $records | $ir | $per | $step |")
  prev_ir=$ir prev_rec=$records
done

{
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores of $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo),"
  echo "$(uname -sr), $(df -T "$work" | awk 'NR == 2 { print $2 }') file system, load average $load_start at the start;"
  echo "median of $runs runs of each case."
  echo
  echo "HDD image: partition 1 of \`bench.hdd\`, $HDD_VOLUME_BYTES bytes ($HDD_TOTAL_BLOCKS blocks of $HDD_RECORDS_PER_BLOCK records, $HDD_USED_BLOCKS in use),"
  echo "$HDD_FILES files in $HDD_DIRECTORIES directories; the image file holds both partitions ($(stat -c %s "images/bench.hdd") bytes)."
  echo "D88 image: \`bench.d88\`, 2DD, 160 tracks, $D88_VOLUME_BYTES bytes ($D88_TOTAL_BLOCKS blocks of $D88_RECORDS_PER_BLOCK records, $D88_USED_BLOCKS in use),"
  echo "$D88_FILES files in $D88_DIRECTORIES directories. R extracts and D deletes the largest file (a BRD file of $HDD_LARGEST_BYTES and $D88_LARGEST_BYTES bytes);"
  echo "W replaces a 65,535-byte OBJ file with another; I copies 65,535 bytes over the records of an OBJ file."
  echo "A stores the tree X writes from partition 1 of \`bench.hdd\` ($tree_files files, $tree_bytes bytes) into \`blank.hdd\`, whose"
  echo "partition 1 has the same geometry and holds nothing; its floor is \`cat\` of the tree's files plus the same write."
  echo
  echo "Floor: \`cat\` of the image file, plus for W, D and I \`dd conv=notrunc,fsync\` of the volume's bytes at their offset,"
  echo "plus for R \`dd conv=fsync\` of the extracted bytes into a new file (R syncs the file it writes)."
  echo "Strict floor: \`dd\` reading only the volume's bytes, plus the same write."
  echo "Goals: ratio to the floor at most 1.0; peak memory (maximum resident set) at most the volume size plus 4 MB."
  echo
  if [ -n "$before" ]; then
    echo "Before: \`$before\`, timed in the same runs, taking turns with the tool."
    echo
    echo "| Case | Command | Tool ms | Floor ms | Ratio | Strict floor ms | Strict ratio | Peak MB | Limit MB | Before ms | Before ratio | Before peak MB | Works |"
    echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"
  else
    echo "| Case | Command | Tool ms | Floor ms | Ratio | Strict floor ms | Strict ratio | Peak MB | Limit MB | Works |"
    echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---|"
  fi
  printf '%s\n' "${rows[@]}"
  echo
  echo "X writes the whole partition into a new folder. Floors: \`cp -r\` of the tree it writes plus one \`sync -f\`,"
  echo "and \`cp -r\` plus a sync per file (\`sync FILE...\`). Goal: at most 1.5 times the first."
  echo
  echo "| Case | Command | Tool ms | cp -r + sync -f ms | Ratio | cp -r + sync per file ms | Ratio | Peak MB | Works |"
  echo "|---|---|---:|---:|---:|---:|---:|---:|---|"
  printf '%s\n' "${x_rows[@]}"
  echo
  echo "Disks of a file: L of disk 3 of \`three.d88\` (\`cat bench.d88 bench.d88 bench.d88\`) against L of the disk alone,"
  echo "and L of the raw twin \`bench.2dd\` (\`tarnwick C bench.d88 1 bench.2dd\`) against \`cat\` of it, beside the D88 image's."
  echo "Goals: the first ratio at most 1.0; the raw image's ratio to \`cat\` at most its D88 twin's."
  echo
  echo "| Case | Command | Tool ms | Against | ms | Ratio | Works |"
  echo "|---|---|---:|---|---:|---:|---|"
  printf '%s\n' "${disk_rows[@]}"
  echo
  echo "Consistency check cost (instructions inside \`sanity_check\`, both checks of \`tarnwick L\`, partition 1 of"
  echo "1,250 blocks of 32 records filled to 25, 50 and 100 %):"
  echo
  echo "| Fill | Used blocks | Files | Records in used blocks | Instructions | Per record | Per added record |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  printf '%s\n' "${growth[@]}"
  echo
  if [ ${#misses[@]} -eq 0 ]; then
    echo "Every goal met."
  else
    echo "Missed:"
    printf -- '- %s\n' "${misses[@]}"
  fi
} >"$results/${BENCH_OUT:-latest.md}"

echo >&2
cat "$results/${BENCH_OUT:-latest.md}"
