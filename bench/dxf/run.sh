#!/usr/bin/env bash
# DXF benchmarks.
# 1. Load: CargaFicheroDxf over a CR LF DXF file of N entities written as CAD programs write
#    them (handles, subclasses, colours, CIRCLEs), against `cat FILE > /dev/null` on the same
#    cached file. Target: 40 MB/s or more on one core.
# 2. dxf2bin of a DXF file of N2 entities (LINE, 3D POLYLINE, LWPOLYLINE with a bulge, CIRCLE:
#    all lines, so that GDAL writes them to one shapefile) against ogr2ogr converting the same
#    file to a shapefile, in the same run. Target: dxf2bin/ogr2ogr below 0.5.
#   bench/dxf/run.sh            (BUILD_DIR=build N=400000 N2=100000 ROUNDS=3)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
N=${N:-400000}
N2=${N2:-100000}
ROUNDS=${ROUNDS:-3}

cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" --target bench_dxf parvenza-cli -j2 >/dev/null
prog="$BUILD_DIR/bench/dxf/bench_dxf"
cli="$BUILD_DIR/converter/cli/parvenza-cli"

out=bench/out/dxf
mkdir -p "$out"
dxf="$out/mixed-$N.dxf"
[ -s "$dxf" ] || "$prog" genera "$dxf" "$N"
cat "$dxf" > /dev/null

best=999999
for _ in $(seq "$ROUNDS"); do
  "$prog" carga "$dxf" > "$out/load.txt"
  ms=$(awk '/^load:/ { printf "%d", $2 }' "$out/load.txt")
  (( ms < best )) && best=$ms
done
bytes=$(stat -c %s "$dxf")
echo "file: $dxf, $bytes bytes"
head -1 "$out/load.txt"
echo "load (best of $ROUNDS): ${best} ms"
awk -v b="$bytes" -v m="$best" 'BEGIN { if (m < 1) m = 1; printf "throughput: %.1f MB/s (target: 40 or more)\n", b / m / 1000 }'
/usr/bin/time -f "peak memory of one load: %M KiB" "$prog" carga "$dxf" > /dev/null

# dxf2bin against ogr2ogr.
lineas="$out/lines-$N2.dxf"
[ -s "$lineas" ] || "$prog" genera "$lineas" "$N2" lineas
tabla="$out/bindxf.tab"
for i in 0 1 2 3 4 5 6; do echo "10${i}100 CAPA$i L 1 CONT 0 Capa"; done > "$tabla"
cat "$lineas" > /dev/null
ms() { date +%s%3N; }
best_d=999999
best_o=999999
for _ in $(seq "$ROUNDS"); do
  rm -f "$out/lines.bin"
  t0=$(ms)
  "$cli" dxf2bin --layers "$tabla" --output "$out/lines.bin" "$lineas" > "$out/dxf2bin.txt"
  t1=$(ms)
  (( t1 - t0 < best_d )) && best_d=$((t1 - t0))
  rm -rf "$out/ogr" && mkdir -p "$out/ogr"
  t0=$(ms)
  ogr2ogr -f "ESRI Shapefile" -nlt LINESTRING25D "$out/ogr/lines.shp" "$lineas"
  t1=$(ms)
  (( t1 - t0 < best_o )) && best_o=$((t1 - t0))
done
echo "file: $lineas, $(stat -c %s "$lineas") bytes"
head -1 "$out/dxf2bin.txt"
echo "dxf2bin (best of $ROUNDS): ${best_d} ms"
echo "ogr2ogr to a shapefile (best of $ROUNDS): ${best_o} ms"
awk -v d="$best_d" -v o="$best_o" 'BEGIN { if (o < 1) o = 1; printf "ratio dxf2bin/ogr2ogr: %.2f (target below 0.5)\n", d / o }'
