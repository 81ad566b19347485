#!/bin/sh
# wine-fixture.sh start|stop BITS PREFIX
# start: one persistent wineserver for the test run and a warmed prefix, so each test process
# costs a fraction of a second (wine-env.sh's wine_start).
# stop: ends that wineserver (it acts on this prefix alone).
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/cmake/wine-env.sh"
wine_env "$top" "$2" "$3"
case $1 in
  start) wine_start ;;
  stop) wine_stop ;;
esac
