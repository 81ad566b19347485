#!/bin/sh
# The command-line host's answers and exit codes: plughost_test.sh PLUGHOST VELKARON_SO WORKDIR
set -u
plughost=$1 library=$2 work=$3 version=$4
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
for help in --help -h; do
  [ "$("$plughost" $help 2>/dev/null)" = "$("$plughost" 2>&1)" ] && "$plughost" $help >/dev/null 2>&1 &&
    echo "ok: $help: the usage on standard output, exit 0" || { echo "FAILED: $help"; failures=$((failures + 1)); }
done
expect "--version" 0 "plughost $version" "$plughost" --version
expect "an unknown option" 2 "unknown option '--bogus' (plughost --help tells more)" "$plughost" --bogus
expect "an unknown option of get" 2 "unknown option '--bogus'" "$plughost" "$so" get "$work/f.txt" --bogus
expect "unknown command" 2 "unknown command" "$plughost" "$so" frobnicate
expect "missing library" 1 "no such file" "$plughost" "$work/none.so" fields
expect "not a plug-in" 1 "does not export ContentGetSupportedField" "$plughost" "$(ldd "$plughost" | awk '/libc\.so/ {print $3}')" fields
expect "fields" 0 "1	Zone>>>dot<<<Identifier	editable" "$plughost" "$so" fields
expect "set" 0 "stored" "$plughost" "$so" set "$work/f.txt" Comment 'one\ntwo'
expect "set by index" 0 "stored" "$plughost" "$so" set "$work/f.txt" 1 "zone"
expect "get shows lines" 0 "two" "$plughost" "$so" get "$work/f.txt"
expect "get one field" 0 "zone" "$plughost" "$so" get "$work/f.txt" --field 'Zone>>>dot<<<Identifier'
expect "two --field, two columns" 0 "Comment  Zone>>>dot<<<Identifier" "$plughost" "$so" get "$work/f.txt" --field 0 --field 1
expect "a missing path is named, exit 1" 1 "no such file or folder: $work/none.txt" "$plughost" "$so" get "$work/none.txt" "$work/f.txt"
expect "and the other paths are still shown" 1 "zone" "$plughost" "$so" get "$work/none.txt" "$work/f.txt"
expect "value of a missing path" 1 "no such file or folder" "$plughost" "$so" value "$work/none.txt" Comment
for field in 7 Nope; do  # an unknown field, the same way in every command
  for command in "get --field $field" "value $field" "set $field x" "clear $field"; do
    set -- $command  # split on purpose
    name=$1; shift
    set -- "$work/f.txt" "$@"
    expect "$name: no field $field" 2 "no field '$field': plughost PLUGIN fields lists them" "$plughost" "$so" "$name" "$@"
  done
done
expect "value" 0 "zone" "$plughost" "$so" value "$work/f.txt" 1
[ "$("$plughost" "$so" value "$work/f.txt" Comment | od -An -c | tr -s ' ')" = " o n e \r \n t w o" ] &&
  echo "ok: value is exact" || { echo "FAILED: value is not exact"; failures=$((failures + 1)); }
expect "clear" 0 "cleared" "$plughost" "$so" clear "$work/f.txt" Comment
expect "clear again is a file error" 1 "file error" "$plughost" "$so" clear "$work/f.txt" Comment
[ $failures = 0 ] && echo "plughost: all passed" || { echo "plughost: $failures failed"; exit 1; }
