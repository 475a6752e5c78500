#!/usr/bin/env bash
# Walk benchmark: DameEntidad over a BIN file of about 1,000,000 mixed elements, against
# `cat FILE > /dev/null` on the same cached file, in the same run. Target: within 3x of cat.
#   bench/digi/run.sh            (BUILD_DIR=build N=1000000 ROUNDS=5)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
N=${N:-1000000}
ROUNDS=${ROUNDS:-5}

cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" --target bench_digi -j2 >/dev/null
prog="$BUILD_DIR/bench/digi/bench_digi"

out=bench/out/digi
mkdir -p "$out"
bin="$out/mixed-$N.bin"
[ -s "$bin" ] || "$prog" genera "$bin" "$N"

ms() { echo $(( ($2 - $1) / 1000000 )); }
cpu() { awk '{ printf "%d", ($1 + $2) * 1000 }' "$1"; }   # user+sys of /usr/bin/time, in ms
cat "$bin" > /dev/null; cat "$bin" > /dev/null   # into the page cache

best_cat=999999; best_walk=999999; cpu_cat=999999; cpu_walk=999999
for _ in $(seq "$ROUNDS"); do
  t0=$(date +%s%N); /usr/bin/time -f "%U %S" -o "$out/cat.time" cat "$bin" > /dev/null; t1=$(date +%s%N)
  (( $(ms "$t0" "$t1") < best_cat )) && best_cat=$(ms "$t0" "$t1")
  (( $(cpu "$out/cat.time") < cpu_cat )) && cpu_cat=$(cpu "$out/cat.time")
  t0=$(date +%s%N); /usr/bin/time -f "%U %S" -o "$out/walk.time" "$prog" recorre "$bin" > "$out/walk.txt"; t1=$(date +%s%N)
  (( $(ms "$t0" "$t1") < best_walk )) && best_walk=$(ms "$t0" "$t1")
  (( $(cpu "$out/walk.time") < cpu_walk )) && cpu_walk=$(cpu "$out/walk.time")
done

echo "file: $bin, $(stat -c %s "$bin") bytes; load average: $(cut -d' ' -f1 /proc/loadavg)"
cat "$out/walk.txt"
echo "cat  (best of $ROUNDS): ${best_cat} ms wall, ${cpu_cat} ms cpu"
echo "walk (best of $ROUNDS): ${best_walk} ms wall, ${cpu_walk} ms cpu (whole process)"
awk -v w="$best_walk" -v c="$best_cat" 'BEGIN { if (c < 1) c = 1; printf "ratio walk/cat (wall): %.2f (target: 3 or less)\n", w / c }'
