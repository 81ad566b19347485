#!/bin/sh
# Loads each of the three builds from a fresh folder, as the host would after a user copied the
# plug-in there, and prints the fields it offers. The sample configuration beside the libraries
# becomes Velkaron.ini on the first load.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
dist=$top/dist
demo=$top/build/demo
rm -rf "$demo"
mkdir -p "$demo/plugins"
cp "$dist/Velkaron.so" "$dist/Velkaron.wdx" "$dist/Velkaron.w64" "$dist/Velkaron.sample.ini" "$demo/plugins/"

export WINEPREFIX="$top/build/wineprefix-demo" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
trap '/usr/lib/wine/wineserver64 -k </dev/null >/dev/null 2>&1 || true' EXIT
echo "(preparing the Wine prefix; the first run takes a few seconds)"
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1

echo "== Linux: plughost Velkaron.so fields"
"$dist/plughost" "$demo/plugins/Velkaron.so" fields
echo
echo "== Windows 64-bit (Wine): plughost64.exe Velkaron.w64 fields"
/usr/lib/wine/wine64 "$dist/plughost64.exe" "$demo/plugins/Velkaron.w64" fields </dev/null
echo
echo "== Windows 32-bit (Wine): plughost32.exe Velkaron.wdx fields"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  /usr/lib/wine/wine "$dist/plughost32.exe" "$demo/plugins/Velkaron.wdx" fields </dev/null
else
  echo "(skipped: this machine's kernel cannot execute 32-bit programs, so 32-bit Wine cannot start)"
fi
echo
echo "The configuration all three read: $demo/plugins/Velkaron.ini"
