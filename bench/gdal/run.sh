#!/usr/bin/env bash
# ogr2ogr -f GPKG of a BIN sheet of about 1,000,000 mixed elements (the Digi benchmark's
# generator) read through the Digi driver, against ogr2ogr -f GPKG of the shapefiles bin2shp
# wrote for the same sheet, in the same run. Target: through the driver / from the shapefiles
# below 1.0.
#   bench/gdal/run.sh            (BUILD_DIR=build N=1000000 ROUNDS=3)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
N=${N:-1000000}
ROUNDS=${ROUNDS:-3}
case $BUILD_DIR in /*) ;; *) BUILD_DIR="$(pwd)/$BUILD_DIR" ;; esac

cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" --target bench_digi parvenza-cli ogr_Digi -j2 >/dev/null
gen="$BUILD_DIR/bench/digi/bench_digi"
cli="$BUILD_DIR/converter/cli/parvenza-cli"
export GDAL_DRIVER_PATH="$BUILD_DIR/gdal"

out=bench/out/gdal
mkdir -p "$out"
bin="$out/mixed-$N.bin"
[ -s "$bin" ] || "$gen" genera "$bin" "$N" >/dev/null
# The shapefiles, alone in their folder: ogr2ogr reads the folder as one source of layers.
# Z layers when the sheet has heights, as the driver gives them.
rm -rf "$out/shp"; mkdir -p "$out/shp"; cp "$bin" "$out/shp/hoja.bin"
if ogrinfo -ro -so -al "$bin" | grep -q "^Geometry: 3D"; then dim=--3d; else dim=; fi
"$cli" bin2shp $dim "$out/shp/hoja.bin" >/dev/null
rm "$out/shp/hoja.bin"
cat "$bin" "$out"/shp/* > /dev/null

ms() { echo $(( ($2 - $1) / 1000000 )); }
cpu() { awk '{ printf "%d", ($1 + $2) * 1000 }' "$1"; }   # user+sys of /usr/bin/time, in ms
# Best wall and CPU times of ROUNDS runs of ogr2ogr -f GPKG from $1: "<wall ms> <cpu ms>".
# On a busy machine the CPU time is the steadier figure.
mejor() {
  local best=999999999 best_cpu=999999999 t0 t1
  for _ in $(seq "$ROUNDS"); do
    rm -f "$out/salida.gpkg"
    t0=$(date +%s%N)
    /usr/bin/time -f "%U %S" -o "$out/ogr2ogr.time" ogr2ogr -f GPKG "$out/salida.gpkg" "$1"
    t1=$(date +%s%N)
    (( $(ms "$t0" "$t1") < best )) && best=$(ms "$t0" "$t1")
    (( $(cpu "$out/ogr2ogr.time") < best_cpu )) && best_cpu=$(cpu "$out/ogr2ogr.time")
  done
  echo "$best $best_cpu"
}
cuenta() { ogrinfo -ro -so -al "$out/salida.gpkg" | awk '/^Feature Count/ {s += $3} END {print s}'; }
read -r best_bin cpu_bin < <(mejor "$bin")
features_bin=$(cuenta)
read -r best_shp cpu_shp < <(mejor "$out/shp")
features_shp=$(cuenta)

echo "file: $bin, $(stat -c %s "$bin") bytes; load average: $(cut -d' ' -f1 /proc/loadavg)"
echo "ogr2ogr -f GPKG from the BIN through the driver (best of $ROUNDS): ${best_bin} ms wall, ${cpu_bin} ms cpu, $features_bin features"
echo "ogr2ogr -f GPKG from bin2shp's shapefiles${dim:+ ($dim)} (best of $ROUNDS): ${best_shp} ms wall, ${cpu_shp} ms cpu, $features_shp features"
awk -v b="$best_bin" -v s="$best_shp" -v cb="$cpu_bin" -v cs="$cpu_shp" 'BEGIN {
  if (s < 1) s = 1; if (cs < 1) cs = 1
  printf "ratio driver/shapefiles: %.2f wall, %.2f cpu (target below 1.0)\n", b / s, cb / cs }'
