# wine-env.sh, sourced by every script that runs a Windows program under Wine: decides how.
#
# 64-bit programs run under the native wine64. 32-bit programs take one of two routes:
#   native    the kernel executes i386 programs: /usr/lib/wine/wine, in the same kind of prefix
#             as the 64-bit programs;
#   emulated  it does not: the i386 loader under qemu-i386, set up by `make deps` in
#             build/wine32 (cmake/wine32-emulated.sh), with a win32 prefix copied from the
#             template made there (a new prefix under emulation takes many seconds).
# VELKARON_WINE32=emulated (or native) forces a route; =none tries a machine without 32-bit Wine.
# Where neither works the route is "none".

velkaron_wine32_dir() { echo "$1/build/wine32"; }

# wine32_native: whether this kernel executes the i386 Wine loader.
wine32_native() {
  case $(/usr/lib/wine/wine --version 2>/dev/null </dev/null) in wine-*) return 0;; esac
  return 1
}

# wine32_route TOP: prints native, emulated or none.
wine32_route() {
  case ${VELKARON_WINE32:-} in
    native) echo native; return;;
    none) echo none; return;;
    emulated) ;;
    *) if wine32_native; then echo native; return; fi;;
  esac
  if [ -f "$(velkaron_wine32_dir "$1")/ready" ]; then echo emulated; else echo none; fi
}

# wine_env TOP BITS PREFIX: sets WINE (the loader to run a program with) and WINE_ROUTE, and
# exports the environment Wine needs for PREFIX. On the emulated route the prefix is PREFIX-win32,
# so that a build folder can switch routes.
wine_env() {
  WINE_ROUTE=native WINE=/usr/lib/wine/wine64 wine_top=$1
  # Wine reads a program's command line in the caller's locale: without one, a test's "héllo"
  # would lose its high bits on the way in.
  export WINEPREFIX="$3" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
  unset DISPLAY WINEARCH WINESERVER VELKARON_EMULATOR
  wine_template=
  [ "$2" = 64 ] && return 0
  WINE=/usr/lib/wine/wine
  WINE_ROUTE=$(wine32_route "$1")
  if [ "$WINE_ROUTE" = emulated ]; then
    WINE=$(velkaron_wine32_dir "$1")/lib/wine/wine
    wine_template=$(velkaron_wine32_dir "$1")/prefix-template
    export WINEPREFIX="$3-win32" WINEARCH=win32 WINESERVER=/usr/lib/wine/wineserver64
    # Tells the programs that their process's figures (resident memory) are the emulator's.
    export VELKARON_EMULATOR=qemu-i386
  fi
}

# wine_refused [TOP]: why 32-bit Wine cannot run here (for the route "none"). `make deps` leaves
# its reason in build/wine32-unavailable when it could not install or set it up.
wine_refused() {
  why=${1:-${wine_top:-.}}/build/wine32-unavailable
  if [ "${VELKARON_WINE32:-}" = none ]; then echo "VELKARON_WINE32=none"
  elif [ -f "$why" ]; then cat "$why"
  else
    echo "32-bit Wine cannot run on this machine: the kernel refuses i386 programs" \
         "and the emulated route is not set up (make deps sets it up in build/wine32)"
  fi
}

# wine32_banner TOP: where 32-bit Wine cannot run, says so at the end of a test run and fails.
wine32_banner() {
  [ "$(wine32_route "$1")" = none ] || return 0
  echo
  echo "!!! The 32-bit Windows tests did NOT run: $(wine_refused "$1")."
  echo "!!! Velkaron.wdx was built and its image checked, but it was not loaded and run."
  return 1
}

# wine_start: a persistent wineserver for WINEPREFIX and a warmed prefix, so that each later
# program costs a fraction of a second. On the emulated route the prefix is a fresh copy of the
# template. Every stream is on /dev/null: a helper holding a pipe open would hang a caller.
wine_start() {
  warm=/usr/lib/wine/wine64
  if [ -n "$wine_template" ]; then
    [ ! -d "$WINEPREFIX" ] || wine_stop
    rm -rf "$WINEPREFIX"
    cp -a "$wine_template" "$WINEPREFIX" || return 1
    warm=$WINE
  fi
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1 || :
  "$warm" cmd /c exit </dev/null >/dev/null 2>&1
}

# wine_stop: ends the wineserver of WINEPREFIX (and so every Wine process in it).
wine_stop() {
  /usr/lib/wine/wineserver64 -k </dev/null >/dev/null 2>&1 || true
}

# wine_user_folder DIR: until wine_stop, the programs Wine starts in WINEPREFIX take the empty
# folder DIR for APPDATA, the user's own folder, not the prefix's, which keeps what earlier runs
# left there.
wine_user_folder() {
  rm -rf "$1" && mkdir -p "$1" &&
    "$WINE" reg add 'HKCU\Volatile Environment' /v APPDATA /d "Z:$(printf %s "$1" | tr / '\\')" /f \
      </dev/null >/dev/null 2>&1
}

# wine_unavailable WHAT: for the route "none". Says so and ends the script with 77 (CTest's
# "skipped"); `make test` ends with a banner that says what did not run, and fails under CI=true.
wine_unavailable() {
  echo "SKIPPED: $(wine_refused); $1 did not run." >&2
  exit 77
}
