#!/usr/bin/env bash
# bin2shp on a BIN file of about 1,000,000 mixed elements (the Digi benchmark's generator),
# against ogr2ogr copying the layers it wrote into a new folder, in the same run.
# Targets: bin2shp/ogr2ogr below 1.0 (aim 0.5); peak memory flat in the element count
# (below 64 MB at 1,000,000 elements; a tenth of the elements is run too, to compare).
#   bench/binshp/run.sh            (BUILD_DIR=build N=1000000 ROUNDS=3)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
N=${N:-1000000}
ROUNDS=${ROUNDS:-3}
case $BUILD_DIR in /*) ;; *) BUILD_DIR="$(pwd)/$BUILD_DIR" ;; esac

cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" --target bench_digi parvenza-cli -j2 >/dev/null
gen="$BUILD_DIR/bench/digi/bench_digi"
cli="$BUILD_DIR/converter/cli/parvenza-cli"

out=bench/out/binshp
mkdir -p "$out"
ms() { echo $(( ($2 - $1) / 1000000 )); }

# One run of bin2shp on a copy of the sheet: prints "<ms> <peak RSS KB> <peak anonymous KB>".
# The Digi reader maps the BIN file, so the RSS peak includes the file's cached pages; the
# anonymous peak (sampled every 20 ms) is the memory the run itself allocates.
convierte() {
  local bin=$1 dir=$2
  rm -rf "$dir"; mkdir -p "$dir"; cp "$bin" "$dir/hoja.bin"
  local t0 t1 tpid pid anon=0 a
  t0=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$dir/rss.txt" "$cli" bin2shp "$dir/hoja.bin" > "$dir/summary.txt" &
  tpid=$!
  while kill -0 "$tpid" 2>/dev/null; do
    pid=$(pgrep -P "$tpid" || true)
    if [ -n "$pid" ]; then
      a=$(awk '/^RssAnon/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$a" ] && (( a > anon )) && anon=$a
    fi
    sleep 0.02
  done
  wait "$tpid"
  t1=$(date +%s%N)
  echo "$(ms "$t0" "$t1") $(cat "$dir/rss.txt") $anon"
}

for n in $((N / 10)) "$N"; do
  bin="$out/mixed-$n.bin"
  [ -s "$bin" ] || "$gen" genera "$bin" "$n" >/dev/null
done
big="$out/mixed-$N.bin"
small="$out/mixed-$((N / 10)).bin"
cat "$big" > /dev/null

best_b=999999999; peak=0; peak_anon=0
for _ in $(seq "$ROUNDS"); do
  read -r t rss anon < <(convierte "$big" "$out/run")
  (( t < best_b )) && best_b=$t
  (( rss > peak )) && peak=$rss
  (( anon > peak_anon )) && peak_anon=$anon
done
read -r _ peak_small anon_small < <(convierte "$small" "$out/run-small")

# The same features written again by the field's reference tool.
best_o=999999999
for _ in $(seq "$ROUNDS"); do
  rm -rf "$out/ogr"; mkdir -p "$out/ogr"
  t0=$(date +%s%N)
  for shp in "$out"/run/hoja_*.shp; do
    ogr2ogr -f "ESRI Shapefile" "$out/ogr/$(basename "$shp")" "$shp"
  done
  t1=$(date +%s%N)
  (( $(ms "$t0" "$t1") < best_o )) && best_o=$(ms "$t0" "$t1")
done

echo "file: $big, $(stat -c %s "$big") bytes"
cat "$out/run/summary.txt"
echo "bin2shp (best of $ROUNDS): ${best_b} ms"
echo "ogr2ogr copy of the same layers (best of $ROUNDS): ${best_o} ms"
awk -v b="$best_b" -v o="$best_o" 'BEGIN { if (o < 1) o = 1; printf "ratio bin2shp/ogr2ogr: %.2f (target below 1.0, aim 0.5)\n", b / o }'
echo "peak anonymous memory: $((peak_anon / 1024)) MB at $N elements, $((anon_small / 1024)) MB at $((N / 10)) (target below 64 MB, flat)"
echo "peak RSS with the mapped BIN file: $((peak / 1024)) MB at $N elements, $((peak_small / 1024)) MB at $((N / 10))"
