#!/bin/sh
# run-on-display.sh LOADER PREFIX PROGRAM: runs a Windows test program under Wine on a virtual X
# display (xvfb-run), in a prefix and wineserver of its own, so that a message box really appears.
loader=$1 prefix=$2 program=$3
if ! "$loader" --version >/dev/null 2>&1; then
  echo "SKIPPED: $loader cannot run on this machine (the kernel refuses its programs); the error box test did not run." >&2
  exit 77
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
mkdir -p "$prefix"
exec xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  /usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
  /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
  "$0" "$1"
  rc=$?
  /usr/lib/wine/wineserver64 -k </dev/null >/dev/null 2>&1
  exit $rc' "$loader" "$program"
