#!/bin/sh
# wine-fixture.sh start|stop PREFIX
# start: one persistent wineserver for the test run and a warmed prefix, so each test process
# costs a fraction of a second; every stream on /dev/null, so no helper keeps CTest's pipes open.
# stop: ends that wineserver (it acts on this prefix alone).
set -e
action=$1 prefix=$2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY
case $action in
  start)
    mkdir -p "$prefix"
    /usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
    /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    /usr/lib/wine/wineserver64 -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
