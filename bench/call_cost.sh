#!/bin/sh
# call_cost.sh PROGRAM LIBRARY DIR: runs the call-cost program under callgrind on a copy of the
# library with the one-field configuration it expects; the dumps and the number of calls go to
# DIR, which bench/report.py reads (figure 7).
set -e
program=$1 library=$2 dir=$3
rm -rf "$dir"
mkdir -p "$dir/library"
cp "$library" "$dir/library/"
printf '[Options]\nKeepTime=0\nWriteUTF8=1\nReadUTF8=1\n[Streams]\n0=Comment\n' > "$dir/library/Velkaron.ini"
valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$dir/callgrind.out.%p" \
  "$program" "$dir/library" > "$dir/calls" 2> "$dir/log" || { cat "$dir/log" >&2; exit 1; }
