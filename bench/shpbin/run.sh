#!/usr/bin/env bash
# shp2bin of a polyline shapefile of about 1,000,000 vertices, against ogr2ogr copying that
# shapefile to a new one, in the same run. Two shapes of the same vertex count: long lines
# (10,000 x 100 vertices) and short ones (100,000 x 10), where per-element overhead weighs most.
# Targets: shp2bin/ogr2ogr below 1.0; peak memory below 3x the BIN file written; shp2bin
# against cp of the BIN file it wrote, reported. Then a 10,000,000-point shapefile's peak memory.
# Last, the cost of appending to a large BIN file wholly or not at all: 1,000 elements appended
# to the 140 MB file of bench/digi (copied beside itself, written, flushed, renamed over it).
#   bench/shpbin/run.sh            (BUILD_DIR=build ROUNDS=3)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
ROUNDS=${ROUNDS:-3}
case $BUILD_DIR in /*) ;; *) BUILD_DIR="$(pwd)/$BUILD_DIR" ;; esac

cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" --target genera_shp parvenza-cli bench_digi -j2 >/dev/null
gen="$BUILD_DIR/bench/shpbin/genera_shp"
cli="$BUILD_DIR/converter/cli/parvenza-cli"

out=bench/out/shpbin
mkdir -p "$out"
ms() { echo $(( ($2 - $1) / 1000000 )); }

for forma in "10000 100" "100000 10"; do
  read -r lineas vertices <<< "$forma"
  shp="$out/lineas-$lineas.shp"
  [ -s "$shp" ] || "$gen" "$shp" "$lineas" "$vertices"
  cat "$out/lineas-$lineas".{shp,shx,dbf} > /dev/null

  best_s=999999999; peak=0
  for _ in $(seq "$ROUNDS"); do
    rm -f "$out/salida.bin"
    t0=$(date +%s%N)
    /usr/bin/time -f "%M" -o "$out/rss.txt" "$cli" shp2bin --output "$out/salida.bin" --code-field CODIGO "$shp" \
      > "$out/summary.txt"
    t1=$(date +%s%N)
    t=$(ms "$t0" "$t1"); (( t < best_s )) && best_s=$t
    rss=$(cat "$out/rss.txt"); (( rss > peak )) && peak=$rss
  done
  bin_bytes=$(stat -c %s "$out/salida.bin")
  best_c=999999999
  for _ in $(seq "$ROUNDS"); do
    rm -f "$out/copia.bin"
    t0=$(date +%s%N)
    cp "$out/salida.bin" "$out/copia.bin"
    t1=$(date +%s%N)
    t=$(ms "$t0" "$t1"); (( t < best_c )) && best_c=$t
  done
  rm -f "$out/copia.bin"

  best_o=999999999
  for _ in $(seq "$ROUNDS"); do
    rm -rf "$out/ogr"; mkdir -p "$out/ogr"
    t0=$(date +%s%N)
    ogr2ogr -f "ESRI Shapefile" "$out/ogr/copia.shp" "$shp"
    t1=$(date +%s%N)
    t=$(ms "$t0" "$t1"); (( t < best_o )) && best_o=$t
  done

  echo "== $lineas lines x $vertices vertices: $shp, $(stat -c %s "$shp") bytes"
  cat "$out/summary.txt"
  echo "shp2bin (best of $ROUNDS): ${best_s} ms"
  echo "ogr2ogr copy of the shapefile (best of $ROUNDS): ${best_o} ms"
  awk -v s="$best_s" -v o="$best_o" 'BEGIN { if (o < 1) o = 1; printf "ratio shp2bin/ogr2ogr: %.2f (target below 1.0)\n", s / o }'
  awk -v s="$best_s" -v c="$best_c" 'BEGIN { if (c < 1) c = 1; printf "cp of the BIN written (best of %d): %d ms, ratio shp2bin/cp: %.1f\n", '"$ROUNDS"', c, s / c }'
  awk -v p="$peak" -v b="$bin_bytes" 'BEGIN { printf "peak RSS %.1f MB, BIN file %.1f MB: %.2fx (target below 3x)\n", p / 1024, b / 1048576, p * 1024 / b }'
done

# Memory flat in the element count: 10,000,000 points (the shapefile takes minutes to write
# the first time). Target: peak RSS below 100 MB.
puntos="$out/puntos-10000000.shp"
[ -s "$puntos" ] || "$gen" "$puntos" 10000000 1
rm -f "$out/puntos.bin"
t0=$(date +%s%N)
/usr/bin/time -f "%M" -o "$out/rss.txt" "$cli" shp2bin --output "$out/puntos.bin" --code-field CODIGO "$puntos" \
  > "$out/summary.txt"
t1=$(date +%s%N)
echo "== 10,000,000 points: $puntos"
cat "$out/summary.txt"
awk -v p="$(cat "$out/rss.txt")" -v t="$(ms "$t0" "$t1")" 'BEGIN { printf "shp2bin %d ms, peak RSS %.1f MB (target below 100 MB)\n", t, p / 1024 }'
rm -f "$out/puntos.bin"

grande=bench/out/digi/mixed-1000000.bin
[ -s "$grande" ] || { mkdir -p bench/out/digi; "$BUILD_DIR/bench/digi/bench_digi" genera "$grande" 1000000 >/dev/null; }
[ -s "$out/pocas.shp" ] || "$gen" "$out/pocas.shp" 1000 10
best_a=999999999
for _ in $(seq "$ROUNDS"); do
  cp "$grande" "$out/anexo.bin"; sync
  t0=$(date +%s%N)
  "$cli" shp2bin --output "$out/anexo.bin" --code-field CODIGO "$out/pocas.shp" > "$out/summary.txt"
  t1=$(date +%s%N)
  t=$(ms "$t0" "$t1"); (( t < best_a )) && best_a=$t
done
rm -f "$out/anexo.bin"
echo "== append to $grande, $(stat -c %s "$grande") bytes"
cat "$out/summary.txt"
echo "append (best of $ROUNDS): ${best_a} ms"
