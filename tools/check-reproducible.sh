#!/bin/sh
# make check-reproducible: builds the release of the current commit twice, from two clones in two
# folders a few seconds apart, and compares the archives byte for byte. (Uncommitted changes are
# not in the clones: commit first.)
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$top" rev-parse HEAD)
elsewhere=$(mktemp -d /tmp/velkaron-reproducible.XXXXXX)
trap 'rm -rf "$elsewhere"' EXIT
one=$top/build/reproducible/one two=$elsewhere/a/longer/path/two
for dir in "$one" "$two"; do
  rm -rf "$dir"
  git clone -q "$top" "$dir"
  git -C "$dir" checkout -q "$commit"
  echo "=== make release in $dir"
  (cd "$dir" && make --no-print-directory release >"$dir.log" 2>&1) || { tail -30 "$dir.log"; exit 1; }
  sleep 2
done
status=0
for file in $(cd "$one/dist/release" && ls); do
  if cmp -s "$one/dist/release/$file" "$two/dist/release/$file"; then
    echo "same: $file"
  else
    echo "DIFFERENT: $file"; status=1
  fi
done
cat "$one/dist/release/SHA256SUMS"
[ $status = 0 ] && echo "reproducible: two builds of $commit give the same bytes" || echo "NOT reproducible"
exit $status
