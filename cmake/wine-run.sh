#!/bin/sh
# Runs a Windows test program under Wine: wine-run.sh BITS PREFIX PROGRAM [ARGS...]
# The prefix's wineserver is started by the test fixture; wine-env.sh picks the loader.
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/cmake/wine-env.sh"
wine_env "$top" "$1" "$2"
shift 2
[ "$WINE_ROUTE" = none ] && wine_unavailable "these Windows tests"
exec "$WINE" "$@"
