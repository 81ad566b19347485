#!/bin/sh
# run-on-display.sh BITS PREFIX PROGRAM: runs a Windows test program under Wine on a virtual X
# display (xvfb-run), in a prefix and wineserver of its own, so that a message box really appears.
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/cmake/wine-env.sh"
wine_env "$top" "$1" "$2"
[ "$WINE_ROUTE" = none ] && wine_unavailable "the error box test"
exec xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  display=$DISPLAY
  . "$0/cmake/wine-env.sh"
  wine_env "$0" "$1" "$2"
  export DISPLAY="$display"
  wine_start
  "$WINE" "$3"
  rc=$?
  wine_stop
  exit $rc' "$top" "$1" "$2" "$3"
