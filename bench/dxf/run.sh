#!/usr/bin/env bash
# DXF load benchmark: CargaFicheroDxf over a CR LF DXF file of N entities written as CAD
# programs write them (handles, subclasses, colours, skipped CIRCLEs), against
# `cat FILE > /dev/null` on the same cached file. Target: 40 MB/s or more on one core.
#   bench/dxf/run.sh            (BUILD_DIR=build N=400000 ROUNDS=3)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
N=${N:-400000}
ROUNDS=${ROUNDS:-3}

cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" --target bench_dxf -j2 >/dev/null
prog="$BUILD_DIR/bench/dxf/bench_dxf"

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
