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

. "$top/cmake/wine-env.sh"
prefix=$top/build/wineprefix-demo
trap 'for bits in 64 32; do wine_env "$top" $bits "$prefix"; wine_stop; done' EXIT

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
wine_env "$top" 64 "$prefix"
echo "(preparing the Wine prefix; the first run takes a few seconds)"
wine_start
run "Windows 64-bit under Wine: Velkaron.w64" "$WINE" "$dist/plughost64.exe" "$demo/plugins/Velkaron.w64"
wine_env "$top" 32 "$prefix"
case $WINE_ROUTE in
  native)
    run "Windows 32-bit under Wine: Velkaron.wdx" "$WINE" "$dist/plughost32.exe" "$demo/plugins/Velkaron.wdx" ;;
  emulated)
    echo "(32-bit Wine runs under qemu-i386 on this machine: each program takes a few seconds)"
    wine_start
    run "Windows 32-bit under Wine, emulated i386: Velkaron.wdx" "$WINE" "$dist/plughost32.exe" \
      "$demo/plugins/Velkaron.wdx" ;;
  none)
    echo "== Windows 32-bit: skipped, $(wine_refused)" ;;
esac
echo
echo "The configuration all three read: $demo/plugins/Velkaron.ini"
