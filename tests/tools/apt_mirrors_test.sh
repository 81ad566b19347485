#!/bin/sh
# Which of a machine's apt sources the emulated 32-bit route fetches from:
# apt_mirrors_test.sh WINE32_EMULATED_SH WORKDIR
set -u
script=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
failures=0
# case NAME FILE-NAME WANTED-MIRRORS (one line each), with the file's text on standard input
case_() {
  cat > "$work/$2"
  got=$("$script" --mirrors "$work/$2")
  if [ "$got" = "$(printf "$3")" ]; then echo "ok: $1"
  else echo "FAILED: $1: got [$got], wanted [$(printf "$3")]"; failures=$((failures + 1)); fi
  rm -f "$work/$2"
}

case_ "deb822: bookworm's stanza, not security's" a.sources 'http://m.example/debian' <<'X'
Types: deb
# http://snapshot.example/archive/debian/20250520T000000Z
URIs: http://m.example/debian
Suites: bookworm bookworm-updates
Components: main

Types: deb
URIs: http://m.example/debian-security
Suites: bookworm-security
Components: main
X
case_ "deb822: two URIs, a disabled stanza, another release" b.sources 'http://a.example/d\nhttp://b.example/d' <<'X'
Types: deb
URIs: http://a.example/d http://b.example/d
Suites: bookworm
Components: main
X-Note: bookworm

Types: deb
URIs: http://off.example/d
Suites: bookworm
Enabled: no

Types: deb
URIs: http://t.example/d
Suites: trixie
X
case_ "one-line: options, deb-src, comments, other suites" sources.list 'http://m.example/debian' <<'X'
# deb http://old.example/debian bookworm main
deb-src http://src.example/debian bookworm main
deb [ arch=amd64 signed-by=/k.gpg ] http://m.example/debian bookworm main contrib
deb [signed-by=/k.gpg] http://m.example/debian bookworm-updates main
deb http://m.example/debian-security bookworm-security main
deb http://t.example/debian trixie main
X
case_ "nothing for bookworm" c.list '' <<'X'
deb http://t.example/debian trixie main
X
[ $failures = 0 ]
