#!/bin/sh
# The command-line host's answers and exit codes: plughost_test.sh PLUGHOST VELKARON_SO WORKDIR
set -u
plughost=$1 library=$2 work=$3
failures=0
expect() {  # expect NAME WANTED-EXIT WANTED-TEXT COMMAND...
  name=$1 want=$2 text=$3
  shift 3
  out=$("$@" 2>&1)
  code=$?
  if [ "$code" != "$want" ] || ! printf '%s' "$out" | grep -qF -- "$text"; then
    echo "FAILED: $name: exit $code (wanted $want), output:"; printf '%s\n' "$out"
    failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}

rm -rf "$work" && mkdir -p "$work"
export XDG_CONFIG_HOME="$work/user"  # the user's own folder: nothing a user or a run left there
cp "$library" "$work/"
so=$work/$(basename "$library")
printf '[Options]\nSubstituteChars=1\nWriteUTF8=1\nReadUTF8=1\n[Streams]\n0=Comment\n2=Zone>>>dot<<<Identifier\n' > "$work/Velkaron.ini"
echo data > "$work/f.txt"

expect "usage" 2 "usage: plughost" "$plughost"
expect "unknown command" 2 "unknown command" "$plughost" "$so" frobnicate
expect "missing library" 1 "no such file" "$plughost" "$work/none.so" fields
expect "not a plug-in" 1 "does not export ContentGetSupportedField" "$plughost" "$(ldd "$plughost" | awk '/libc\.so/ {print $3}')" fields
expect "fields" 0 "1	Zone>>>dot<<<Identifier	editable" "$plughost" "$so" fields
expect "set" 0 "stored" "$plughost" "$so" set "$work/f.txt" Comment 'one\ntwo'
expect "set by index" 0 "stored" "$plughost" "$so" set "$work/f.txt" 1 "zone"
expect "get shows lines" 0 "two" "$plughost" "$so" get "$work/f.txt"
expect "get one field" 0 "zone" "$plughost" "$so" get "$work/f.txt" --field 'Zone>>>dot<<<Identifier'
expect "no such field index" 0 "<no such field>" "$plughost" "$so" get "$work/f.txt" --field 7
expect "unknown field name" 2 "no field named" "$plughost" "$so" get "$work/f.txt" --field Nope
expect "value" 0 "zone" "$plughost" "$so" value "$work/f.txt" 1
[ "$("$plughost" "$so" value "$work/f.txt" Comment | od -An -c | tr -s ' ')" = " o n e \r \n t w o" ] &&
  echo "ok: value is exact" || { echo "FAILED: value is not exact"; failures=$((failures + 1)); }
expect "value of no such field" 1 "no such field" "$plughost" "$so" value "$work/f.txt" 7
expect "clear" 0 "cleared" "$plughost" "$so" clear "$work/f.txt" Comment
expect "clear again is a file error" 1 "file error" "$plughost" "$so" clear "$work/f.txt" Comment
expect "set a bad index" 1 "no such field" "$plughost" "$so" set "$work/f.txt" 5 x
[ $failures = 0 ] && echo "plughost: all passed" || { echo "plughost: $failures failed"; exit 1; }
