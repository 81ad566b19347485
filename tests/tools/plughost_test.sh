#!/bin/sh
# The command-line host's answers and exit codes:
#   plughost_test.sh PLUGHOST PLUGIN WORKDIR VERSION [BITS WINEPREFIX]
# With BITS and WINEPREFIX, PLUGHOST is a Windows build, run under Wine in that prefix (its test
# fixture runs the wineserver); the cases of Linux names, attributes and modes are Linux's alone.
set -u
plughost=$1 library=$2 work=$3 version=$4 bits=${5:-}
top=$(cd "$(dirname "$0")/../.." && pwd)
case $plughost in /*) ;; *) plughost=$PWD/$plughost;; esac  # the cases run in WORKDIR
case $library in /*) ;; *) library=$PWD/$library;; esac
failures=0
WINE=
if [ -n "$bits" ]; then
  . "$top/cmake/wine-env.sh"
  wine_env "$top" "$bits" "$6"
  [ "$WINE_ROUTE" = none ] && wine_unavailable "the plughost cases"
fi
# Output goes to files: under Wine a pipe may be held open by Wine's own processes.
host() {
  if [ -n "$WINE" ]; then "$WINE" "$plughost" "$@"; else "$plughost" "$@"; fi </dev/null
}
expect() {  # expect NAME WANTED-EXIT WANTED-TEXT COMMAND...
  name=$1 want=$2 text=$3
  shift 3
  "$@" >"$work/out" 2>&1
  code=$?
  if [ "$code" != "$want" ] || ! LC_ALL=C grep -qF -- "$text" "$work/out"; then
    echo "FAILED: $name: exit $code (wanted $want), output:"; cat "$work/out"
    failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}
check() {  # check NAME COMMAND...: the command succeeds
  name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAILED: $name"; failures=$((failures + 1)); fi
}
stream() {  # stream FILE NAME: the bytes of the stream NAME of FILE, where the OS keeps them
  if [ -n "$bits" ]; then
    cat "$1:$2" 2>/dev/null  # Wine: a file beside the file
  else
    /usr/bin/python3 -c 'import os, sys
sys.stdout.buffer.write(os.getxattr(os.fsencode(sys.argv[1]), "user." + sys.argv[2]))' "$1" "$2" 2>/dev/null
  fi
}
stream_is() {  # stream_is FILE NAME TEXT
  [ "$(stream "$1" "$2")" = "$3" ]
}
not() { ! "$@"; }

[ -d "$work" ] && chmod -R u+rwx "$work"  # what a failed run left unreadable
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
# The user's own folder: nothing a user or a run left there.
export XDG_CONFIG_HOME="$work/user"
if [ -n "$bits" ]; then wine_user_folder "$work/user" || { echo "FAILED: APPDATA in $work/user"; exit 1; }; fi
# Plug-ins beside their configurations: the main one; one whose fields are "2" and "Author"; one
# with no field.
plugin() {  # plugin FOLDER CONFIGURATION: prints the plug-in's path
  mkdir -p "$work/$1" && cp "$library" "$work/$1/" && printf "$2" > "$work/$1/Velkaron.ini"
  echo "$work/$1/$(basename "$library")"
}
so=$(plugin main '[Options]\nSubstituteChars=1\nWriteUTF8=1\nReadUTF8=1\n[Streams]\n0=Comment\n2=Zone>>>dot<<<Identifier\n')
numbered=$(plugin numbered '[Streams]\n0=2\n2=Author\n')
empty=$(plugin empty '[Streams]\n')
echo data > "$work/f.txt"
echo data > "$work/-x"
mkdir "$work/sub"

expect "usage" 2 "usage: plughost" host
host >"$work/usage" 2>&1
for help in --help -h "get f.txt --help" "set f.txt Comment -h" "fields --help x y"; do
  set -- $help  # split on purpose
  [ $# = 1 ] || set -- "$so" "$@"
  host "$@" >"$work/help" 2>/dev/null
  check "$help: the usage on standard output, exit 0" cmp -s "$work/help" "$work/usage"
done
expect "--version" 0 "plughost $version" host --version
expect "an unknown option" 2 "unknown option '--bogus' (plughost --help tells more)" host --bogus
expect "an unknown option of get" 2 "unknown option '--bogus'" host "$so" get "$work/f.txt" --bogus
expect "get's option in another command" 2 "--field belongs to get" host "$so" value "$work/f.txt" Comment --field 1
expect "unknown command" 2 "unknown command" host "$so" frobnicate
expect "missing library" 1 "no such file" host "$work/none.so" fields
[ -n "$bits" ] ||
  expect "not a plug-in" 1 "does not export ContentGetSupportedField" host "$(ldd "$plughost" | awk '/libc\.so/ {print $3}')" fields
expect "fields" 0 "1	Zone>>>dot<<<Identifier	editable" host "$so" fields
expect "fields of a plug-in that offers none" 1 "the plug-in offers no field" host "$empty" fields
expect "set" 0 "stored" host "$so" set "$work/f.txt" Comment 'one\ntwo'
expect "set by index" 0 "stored" host "$so" set "$work/f.txt" 1 "zone"
expect "get shows lines" 0 "two" host "$so" get "$work/f.txt"
expect "get one field" 0 "zone" host "$so" get "$work/f.txt" --field 'Zone>>>dot<<<Identifier'
expect "two --field, two columns" 0 "Comment  Zone>>>dot<<<Identifier" host "$so" get "$work/f.txt" --field 0 --field 1
expect "a missing path is named, exit 1" 1 "no such file or folder: $work/none.txt" host "$so" get "$work/none.txt" "$work/f.txt"
expect "and the other paths are still shown" 1 "zone" host "$so" get "$work/none.txt" "$work/f.txt"
expect "value of a missing path" 1 "no such file or folder" host "$so" value "$work/none.txt" Comment
for field in 7 Nope; do  # an unknown field, the same way in every command
  for command in "get --field $field" "value $field" "set $field x" "clear $field"; do
    set -- $command  # split on purpose
    name=$1; shift
    set -- "$work/f.txt" "$@"
    expect "$name: no field $field" 2 "no field '$field': plughost PLUGIN fields lists them" host "$so" "$name" "$@"
  done
done
while IFS='|' read -r command message; do  # an argument missing or too many: exit 2
  set -- $command  # split on purpose
  expect "$command: exit 2" 2 "$message" host "$so" "$@"
done <<EOF
fields extra|too many arguments for fields, from 'extra' on
get|get needs at least one PATH
get f.txt --field|--field needs a name or an index
value f.txt|value needs PATH FIELD
value f.txt Comment extra more|too many arguments for value, from 'extra' on
set f.txt Comment|set needs PATH FIELD VALUE
set f.txt Comment x extra|too many arguments for set, from 'extra' on
clear f.txt Comment extra|too many arguments for clear, from 'extra' on
EOF
expect "value" 0 "zone" host "$so" value "$work/f.txt" 1
host "$so" value "$work/f.txt" Comment >"$work/value"
check "value is exact" [ "$(od -An -c "$work/value" | tr -s ' ')" = " o n e \r \n t w o" ]
expect "clear" 0 "cleared" host "$so" clear "$work/f.txt" Comment
expect "clear again is a file error" 1 "file error" host "$so" clear "$work/f.txt" Comment

# -- ends the options: a file named -x, a value starting with -, a file named --help.
expect "a file named -x after --" 0 "stored" host "$so" set -- -x Comment dash
check "  and its stream holds the value" stream_is "$work/-x" Comment dash
expect "  read back through --" 0 "dash" host "$so" get --field Comment -- -x
expect "a value starting with - is an option before --" 2 "unknown option '-5'" host "$so" set f.txt Comment -5
expect "  and a value after --" 0 "stored" host "$so" set f.txt Comment -- -5
check "  whose stream holds it" stream_is "$work/f.txt" Comment -5
expect "--help after -- is a path" 1 "no such file or folder: --help" host "$so" get -- --help

# Digits are an index only; name:TEXT is always a name. Fields: 0 is "2", 1 is "Author".
expect "digits are an index only: no field 2" 2 "no field '2'" host "$numbered" set f.txt 2 two
expect "name:2 is the field named 2" 0 "stored" host "$numbered" set f.txt name:2 two
check "  whose stream is 2" stream_is "$work/f.txt" 2 two
expect "index 0 is the field named 2" 0 "two" host "$numbered" value f.txt 0
expect "index 1 is Author" 0 "stored" host "$numbered" set f.txt 1 author
check "  whose stream is Author" stream_is "$work/f.txt" Author author
expect "name:Author" 0 "author" host "$numbered" get f.txt --field name:Author
expect "name:1 names no field" 2 "no field 'name:1'" host "$numbered" value f.txt name:1

# A path as the host hands it over, full and normalised: through "..", and on Windows with
# forward slashes or backslashes and a drive, the same stream as the plain path.
if [ -n "$bits" ]; then
  slashed="Z:$work" backslashed="Z:$(printf %s "$work" | tr / '\\')"
else
  slashed=$work backslashed=$work
fi
expect "set through sub/.." 0 "stored" host "$so" set "$slashed/sub/../f.txt" Comment dotted
check "  is the plain path's stream" stream_is "$work/f.txt" Comment dotted
expect "value through sub/.." 0 "dotted" host "$so" value "$slashed/sub/../f.txt" Comment
expect "get through sub/.." 0 "dotted" host "$so" get "$slashed/sub/../f.txt"
expect "a plug-in named through sub/.." 0 "dotted" host "$slashed/sub/../main/$(basename "$so")" value f.txt Comment
if [ -n "$bits" ]; then
  expect "set through backslashes and .." 0 "stored" host "$so" set "$backslashed\\sub\\..\\f.txt" Comment back
  check "  is the plain path's stream" stream_is "$work/f.txt" Comment back
  expect "clear through forward slashes" 0 "cleared" host "$so" clear "$slashed/f.txt" Comment
  check "  clears the plain path's stream" [ ! -e "$work/f.txt:Comment" ]
fi

if [ -z "$bits" ]; then
  # A Linux file name that is not UTF-8 (Latin-1 é) is listed, read, set and cleared through its
  # own bytes, beside an ASCII name that UTF-16 alone would not tell from it.
  latin=$(printf 'caf\351.txt')
  mkdir "$work/latin" && echo data > "$work/latin/$latin" && echo data > "$work/latin/cafe.txt"
  expect "a folder with a name that is not UTF-8 is listed" 0 "$work/latin/$latin" host "$so" get "$work/latin"
  expect "  set by that name" 0 "$work/latin/$latin field Comment: stored" host "$so" set "$work/latin/$latin" Comment "é latin"
  check "  stored on those bytes" stream_is "$work/latin/$latin" Comment "é latin"
  check "  not on the other name" [ -z "$(stream "$work/latin/cafe.txt" Comment)" ]
  expect "  read by that name" 0 "é latin" host "$so" value "$work/latin/$latin" Comment
  expect "  read in its folder" 0 "$work/latin/$latin  é latin" host "$so" get "$work/latin" --field Comment
  expect "  cleared by that name" 0 "cleared" host "$so" clear "$work/latin/$latin" Comment
  check "  and its stream is gone" [ -z "$(stream "$work/latin/$latin" Comment)" ]

  # In a current folder that is gone a relative path has no full path: named, not an abort.
  mkdir "$work/gone" && cd "$work/gone" && rmdir "$work/gone"
  expect "a relative path in a removed folder" 1 "cannot pass f.txt to the plug-in: no full path" host "$so" set f.txt Comment x
  expect "  also as the plug-in's path" 1 "no such file: ./$(basename "$so")" host "./$(basename "$so")" fields
  cd "$work" || exit 1

  # A folder that cannot be listed is named, and every other row is still shown. Root lists any
  # folder: it runs the case without the rights to pass over modes.
  mkdir -p "$work/tree/open" "$work/tree/locked"
  echo data > "$work/tree/open/a.txt" && echo data > "$work/tree/locked/hidden.txt"
  host "$so" set "$work/tree/open/a.txt" Comment seen >/dev/null
  chmod 000 "$work/tree/locked"
  if [ "$(id -u)" = 0 ]; then
    unprivileged() { setpriv --bounding-set=-dac_override,-dac_read_search -- "$@" </dev/null; }
  else
    unprivileged() { "$@" </dev/null; }
  fi
  if ! unprivileged true 2>/dev/null; then
    echo "SKIPPED: an unreadable folder: setpriv cannot drop CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH here"
  elif unprivileged ls "$work/tree/locked" >/dev/null 2>&1; then
    echo "SKIPPED: an unreadable folder: $(id -un) lists a folder of mode 000 even so"
  else
    expect "an unreadable folder is named, exit 1" 1 "cannot list $work/tree/locked: Permission denied" \
      unprivileged "$plughost" "$so" get --recursive "$work/tree"
    check "  the other rows are shown" grep -qx "$work/tree/open/a.txt  *seen" "$work/out"
    check "  the folder itself too" grep -qx "$work/tree/locked" "$work/out"
    check "  and nothing from inside it" not grep -q hidden "$work/out"
  fi
  chmod 755 "$work/tree/locked"
fi
[ $failures = 0 ] && echo "plughost: all passed" || { echo "plughost: $failures failed"; exit 1; }
