#!/bin/sh
# make bench: the Linux build under Google Benchmark, the Windows builds under Wine through the
# timing host, then the table in bench/results.md. The 32-bit build runs under qemu-i386 where the
# kernel cannot execute i386 programs (cmake/wine-env.sh), and is left out of the table with the
# reason where neither route works.
set -e
cd "$(dirname "$0")/.."
. cmake/wine-env.sh
for preset in bench bench-win64 bench-win32; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset >/dev/null
done

echo "Linux build (Google Benchmark, about two minutes)..."
build/bench/bench/velkaron_bench --benchmark_repetitions=5 --benchmark_display_aggregates_only=true \
  --benchmark_out=build/bench/results.json --benchmark_out_format=json >/dev/null

echo "Instructions per call (callgrind)..."
counts=build/bench/callgrind
bench/call_cost.sh build/bench/bench/velkaron_call_cost build/bench/Velkaron.so $counts

# timing_host BITS: runs the timing host of that build in its own prefix (the Wine route set by
# wine_env); its JSON goes to build/bench-winBITS/results.json.
timing_host() {
  dir=build/bench-win$1
  library=$(ls $dir/Velkaron.w64 $dir/Velkaron.wdx 2>/dev/null | head -n 1)
  echo "Windows $1-bit build under Wine${2:+, $2} (a folder of 10,000 files: several minutes)..."
  wine_start
  "$WINE" $dir/bench/timing_host$1.exe "$library" > $dir/results.json.new </dev/null
  mv $dir/results.json.new $dir/results.json
  wine_stop
}

wine_env "$PWD" 64 "$PWD/build/bench-win64/wineprefix"
timing_host 64
wine32=- skipped=""
wine_env "$PWD" 32 "$PWD/build/bench-win32/wineprefix"
case $WINE_ROUTE in
  native) timing_host 32; wine32=build/bench-win32/results.json ;;
  emulated) timing_host 32 "emulated i386 (qemu-i386)"; wine32=build/bench-win32/results.json ;;
  none) skipped="$(wine_refused)." ;;
esac
/usr/bin/python3 bench/report.py bench/results.md build/bench/results.json build/bench-win64/results.json \
  $wine32 ${skipped:+--skipped32 "$skipped"} --wine32-route "$WINE_ROUTE" --callgrind $counts
