#!/bin/sh
# Drives each of the three builds the way the host does, from a fresh plug-in folder (the sample
# configuration beside the libraries becomes Velkaron.ini on the first load): lists the fields,
# sets values on a small demo folder, shows them, and shows that KeepTime left a file's time as
# it was.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
dist=$top/dist
demo=$top/build/demo
rm -rf "$demo"
mkdir -p "$demo/plugins"
cp "$dist/Velkaron.so" "$dist/Velkaron.wdx" "$dist/Velkaron.w64" "$dist/Velkaron.sample.ini" "$demo/plugins/"

export WINEPREFIX="$top/build/wineprefix-demo" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
export LC_ALL=C.UTF-8  # the demo's accented text reaches Wine's command line intact
unset DISPLAY
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
trap '/usr/lib/wine/wineserver64 -k </dev/null >/dev/null 2>&1 || true' EXIT
echo "(preparing the Wine prefix; the first run takes a few seconds)"
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1

# run TITLE RUNNER... PLUGHOST PLUGIN: the whole demo through one build.
run() {
  title=$1 runner=$2 host=$3 plugin=$4
  data=$demo/data-$(basename "$plugin" | tr . -)
  mkdir -p "$data/folder"
  echo "Notes for the demo" > "$data/notes.txt"
  echo "Another file" > "$data/two-lines.txt"
  echo "=================================================================="
  echo "== $title"
  echo "=================================================================="
  echo "\$ plughost $(basename "$plugin") fields"
  $runner "$host" "$plugin" fields </dev/null
  echo
  touch -d '2001-09-09 01:46:41.1234567' "$data/notes.txt"
  before=$(stat -c %y "$data/notes.txt")
  echo "\$ plughost $(basename "$plugin") set ... (four values)"
  $runner "$host" "$plugin" set "$data/notes.txt" Comment "Grüße aus Köln — UTF-8" </dev/null
  $runner "$host" "$plugin" set "$data/notes.txt" 'Zone>>>dot<<<Identifier' '[ZoneTransfer]\nZoneId=3' </dev/null
  $runner "$host" "$plugin" set "$data/two-lines.txt" Comment 'first line\nsecond line' </dev/null
  $runner "$host" "$plugin" set "$data/folder" Comment "a comment on a folder" </dev/null
  after=$(stat -c %y "$data/notes.txt")
  echo
  cd "$demo"
  echo "\$ plughost $(basename "$plugin") get $(basename "$data")"
  $runner "$host" "$plugin" get "$(basename "$data")" </dev/null
  cd "$top"
  echo
  echo "KeepTime: notes.txt was last written $before"
  echo "          after the changes above it is  $after"
  echo
}

run "Linux: Velkaron.so (streams are user.* extended attributes)" "" "$dist/plughost" "$demo/plugins/Velkaron.so"
run "Windows 64-bit under Wine: Velkaron.w64" /usr/lib/wine/wine64 "$dist/plughost64.exe" "$demo/plugins/Velkaron.w64"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  run "Windows 32-bit under Wine: Velkaron.wdx" /usr/lib/wine/wine "$dist/plughost32.exe" "$demo/plugins/Velkaron.wdx"
else
  echo "== Windows 32-bit: skipped, this machine's kernel cannot execute 32-bit programs, so 32-bit Wine cannot start"
fi
echo
echo "The configuration all three read: $demo/plugins/Velkaron.ini"
