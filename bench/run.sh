#!/bin/sh
# make bench: the Linux build under Google Benchmark, the Windows builds under Wine through the
# timing host, then the table in bench/results.md. A Windows build whose Wine cannot run on this
# machine is left out of the table with the reason.
set -e
cd "$(dirname "$0")/.."
for preset in bench bench-win64 bench-win32; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset >/dev/null
done

echo "Linux build (Google Benchmark, about two minutes)..."
build/bench/bench/velkaron_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out=build/bench/results.json --benchmark_out_format=json >/dev/null

# timing_host BITS LOADER: runs the timing host of that build; its JSON goes to
# build/bench-winBITS/results.json.
timing_host() {
  dir=build/bench-win$1
  library=$(ls $dir/Velkaron.w64 $dir/Velkaron.wdx 2>/dev/null | head -n 1)
  echo "Windows $1-bit build under Wine (a folder of 10,000 files: several minutes)..."
  WINEPREFIX=$PWD/$dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
    env -u DISPLAY "$2" $dir/bench/timing_host$1.exe "$library" > $dir/results.json.new
  mv $dir/results.json.new $dir/results.json
  WINEPREFIX=$PWD/$dir/wineprefix wineserver -k 2>/dev/null || true
}

timing_host 64 /usr/lib/wine/wine64
wine32=- skipped=""
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  timing_host 32 /usr/lib/wine/wine
  wine32=build/bench-win32/results.json
else
  skipped="this machine's kernel cannot execute $(file -b /usr/lib/wine/wine | cut -d, -f1-2) programs, so 32-bit Wine does not start."
fi
/usr/bin/python3 bench/report.py bench/results.md build/bench/results.json build/bench-win64/results.json \
  $wine32 ${skipped:+--skipped32 "$skipped"} --readme README.md
