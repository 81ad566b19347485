#!/bin/sh
# make deps's apt steps against a stand-in apt that fails the way a half-synced mirror does:
# deps_test.sh DEPS_SH WINE_ENV_SH WORKDIR
set -u
deps=$1 wine_env=$2 work=$3
rm -rf "$work" && mkdir -p "$work/bin"
export WORK="$work" PATH="$work/bin:$PATH" VELKARON_APT_PAUSE=0
# The stand-in. MIRROR=broken: the update fails on the security suite's i386 index, and an
# install resolves only with that suite held (the preferences file given); MIRROR=refuses: never
# for an i386 package; MIRROR=good: everything works. An installed package NAME makes have/NAME.
cat > "$work/bin/apt-get" <<'X'
#!/bin/sh
echo "apt-get $*" >> "$WORK/calls"
case "$MIRROR $*" in
  good*update*) exit 0 ;;
  *update*) echo "E: Failed to fetch http://m.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
            echo "E: Some index files failed to download."; exit 100 ;;
  *indextargets*) echo "bookworm-security http://m.example/debian-security/dists/bookworm-security/main/binary-amd64/Packages"; exit 0 ;;
  refuses*:i386*|broken*) prefs=$(printf '%s\n' "$@" | sed -n 's/^Dir::Etc::Preferences=//p')
    case "$MIRROR $*" in refuses*:i386*) prefs= ;; esac
    grep -q "Pin: release n=bookworm-security" "$prefs" 2>/dev/null ||
      { echo "E: Unable to correct problems, you have held broken packages."; exit 100; } ;;
esac
for p; do case $p in -*|install|*=*) ;; *) mkdir -p "$WORK/have"; touch "$WORK/have/${p%:*}" ;; esac; done
X
printf '#!/bin/sh\nexit 0\n' > "$work/bin/dpkg"
printf '#!/bin/sh\nexec "$@"\n' > "$work/bin/sudo"
chmod +x "$work/bin/"*
failures=0
check() { if eval "$2"; then echo "ok: $MIRROR: $1"; else echo "FAILED: $MIRROR: $1"; failures=$((failures + 1)); fi; }
seen() { grep -q -- "$1" "$work/out"; }

for MIRROR in broken refuses good; do
  export MIRROR
  rm -rf "$work/have" "$work/calls" "$work/top"
  VELKARON_NEEDED="$work/have/tc" VELKARON_PACKAGES=tc VELKARON_NEEDED32="$work/have/wine32" \
    VELKARON_PACKAGES32=wine32:i386 VELKARON_APT_OPTIONS=--no-install-recommends \
    "$deps" "$work/top/build" > "$work/out" 2>&1
  status=$?
  cat "$work/out"
  check "exits 0, the tool chain installed" '[ $status = 0 ] && [ -e "$work/have/tc" ]'
  check "every install takes the step's options" '[ -z "$(grep " install " "$work/calls" | grep -v -- " --no-install-recommends ")" ]'
  case $MIRROR in
    good)
      check "one update, nothing held" '[ $(grep -c update "$work/calls") = 1 ] && ! grep -q Preferences "$work/calls"'
      check "32-bit Wine installed" '[ -e "$work/have/wine32" ] && [ ! -e "$work/top/build/wine32-unavailable" ]' ;;
    *)
      check "the update tried twice, the failed index named" '[ $(grep -c update "$work/calls") = 2 ] &&
        seen "could not be fetched: http://m.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz (File has unexpected size"'
      check "held: bookworm-security, the preferences file gone" 'seen "trying again with bookworm-security held" &&
        ! ls $(sed -n "s/.*Dir::Etc::Preferences=\([^ ]*\).*/\1/p" "$work/calls") 2>/dev/null' ;;
  esac
  case $MIRROR in
    broken) check "32-bit Wine installed" '[ -e "$work/have/wine32" ] && [ ! -e "$work/top/build/wine32-unavailable" ]' ;;
    refuses)
      check "32-bit Wine missing, the reason kept" 'grep -q "could not be installed (apt: E: Unable to correct problems" "$work/top/build/wine32-unavailable"'
      ( . "$wine_env"; VELKARON_WINE32=emulated wine32_banner "$work/top" ) > "$work/out" 2>&1
      check "the banner says what did not run and why" 'seen "32-bit Windows tests did NOT run: 32-bit Wine could not be installed (apt: E: Unable"' ;;
  esac
done
[ $failures = 0 ]
