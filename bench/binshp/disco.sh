#!/usr/bin/env bash
# bin2shp against the disk and against itself, side by side in one run:
#  1. bin2shp on a 1,000,000-element sheet, replacing its earlier layers, against `cp` of the
#     files it writes over an earlier copy of them (target: ratio 3 or less);
#  2. a folder of 16 sheets of 100,000 elements: --jobs 2 against --jobs 1 (target: 0.6 or less);
#  3. peak RSS of one bin2shp job at 1,000,000 elements (target: below 64 MB).
# Medians of ROUNDS alternating runs, wall time.
#   bench/binshp/disco.sh            (BUILD_DIR=build N=1000000 ROUNDS=5)
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD_DIR=${BUILD_DIR:-build}
N=${N:-1000000}
ROUNDS=${ROUNDS:-5}
case $BUILD_DIR in /*) ;; *) BUILD_DIR="$(pwd)/$BUILD_DIR" ;; esac
cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null
cmake --build "$BUILD_DIR" --target bench_digi parvenza-cli -j2 >/dev/null
gen="$BUILD_DIR/bench/digi/bench_digi"
cli="$BUILD_DIR/converter/cli/parvenza-cli"
out=bench/out/disco
rm -rf "$out"; mkdir -p "$out/hoja" "$out/copia" "$out/carpeta"
# Each timed command starts after a sync: bin2shp flushes its layers before putting them in
# place, and that flush would otherwise also wait for the bytes the cp before it left behind.
ms() { local t0 t1; sync; t0=$(date +%s%N); "$@" >/dev/null; t1=$(date +%s%N); echo $(( (t1 - t0) / 1000000 )); }
mediana() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

"$gen" genera "$out/hoja/hoja.bin" "$N" >/dev/null
"$cli" bin2shp "$out/hoja/hoja.bin" >/dev/null
capas=("$out"/hoja/hoja_*)
cp "${capas[@]}" "$out/copia/"
bytes=$(cat "${capas[@]}" | wc -c)
b=(); c=()
for ((i = 0; i < ROUNDS; i++)); do
  b+=("$(ms "$cli" bin2shp "$out/hoja/hoja.bin")")
  c+=("$(ms cp "${capas[@]}" "$out/copia/")")
done
mb=$(mediana "${b[@]}"); mc=$(mediana "${c[@]}")
echo "bin2shp $N elements: ${mb} ms; cp of its ${#capas[@]} files ($((bytes / 1000000)) MB) over a copy: ${mc} ms; ratio $(awk -v a="$mb" -v b="$mc" 'BEGIN {printf "%.2f", a / b}')"

for ((k = 1; k <= 16; k++)); do "$gen" genera "$out/carpeta/h$k.bin" 100000 >/dev/null; done
uno=(); dos=()
primera="$out/carpeta/h1.bin"
for ((i = 0; i < ROUNDS; i++)); do
  uno+=("$(ms "$cli" bin2shp --all-in-folder --jobs 1 "$primera")")
  dos+=("$(ms "$cli" bin2shp --all-in-folder --jobs 2 "$primera")")
done
m1=$(mediana "${uno[@]}"); m2=$(mediana "${dos[@]}")
echo "16 sheets of 100,000: --jobs 1 ${m1} ms, --jobs 2 ${m2} ms; ratio $(awk -v a="$m2" -v b="$m1" 'BEGIN {printf "%.2f", a / b}')"
# The wall ratio counts other work on the machine; the CPU time of the parallel run, against the
# serial one's, is what the program adds by splitting the work.
cpu() { /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.2f", $1 + $2}'; }
echo "  CPU (user+sys): --jobs 1 $(cpu "$cli" bin2shp --all-in-folder --jobs 1 "$primera") s," \
  "--jobs 2 $(cpu "$cli" bin2shp --all-in-folder --jobs 2 "$primera") s; load:$(uptime | sed 's/.*average://')"

rss=$(/usr/bin/time -f "%M" "$cli" bin2shp "$out/hoja/hoja.bin" 2>&1 >/dev/null | tail -1)
echo "peak RSS of one job at $N elements: $((rss / 1024)) MB"
rm -rf "$out"
