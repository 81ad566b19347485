#!/bin/sh
# check_release.sh RELEASE WORKDIR: what a user downloads. The checksums verify, pluginst.inf
# holds the installer's keys, README.txt has CR LF line ends, and the plug-in suite of each build
# passes against the libraries unpacked from the archives (not the ones in build/).
set -eu
release=$(cd "$1" && pwd) work=$2
top=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$release" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match the archives"
rm -rf "$work"
mkdir -p "$work/windows" "$work/linux"
(cd "$work/windows" && python3 -m zipfile -e "$release"/Velkaron-*-windows.zip .)
tar -xzf "$release"/Velkaron-*-linux-x86_64.tar.gz -C "$work/linux"
[ "$(ls "$work/windows" | tr '\n' ' ')" = "LICENSE README.txt Velkaron.sample.ini Velkaron.w64 Velkaron.wdx pluginst.inf " ] ||
  fail "the Windows archive holds $(ls "$work/windows")"
[ "$(ls "$work/linux/Velkaron" | tr '\n' ' ')" = "LICENSE README.txt Velkaron.sample.ini Velkaron.wdx " ] ||
  fail "the Linux archive holds $(ls "$work/linux/Velkaron")"

cr=$(printf '\r')
version=$(python3 "$top/tools/release.py" --version)
for line in "[plugininstall]" "description=Velkaron: NTFS alternate data streams as text fields" \
            type=wdx file=Velkaron.wdx defaultdir=Velkaron "version=$version"; do
  grep -qxF "$line$cr" "$work/windows/pluginst.inf" || fail "pluginst.inf lacks the line $line"
done
[ "$(wc -l < "$work/windows/README.txt")" -gt 20 ] || fail "README.txt is nearly empty"
if grep -q "[^$cr]\$" "$work/windows/README.txt"; then fail "README.txt has lines without CR LF"; fi
grep -q "^MIT License" "$work/linux/Velkaron/LICENSE" && grep -q "The Velkaron authors" "$work/windows/LICENSE" ||
  fail "the licence is missing from an archive"
echo "ok: checksums, contents, pluginst.inf, README.txt, the licence"

# The plug-in suites, against the unpacked libraries, with a read-only mount for the cases of a
# library installed where nobody may write.
"$top/tests/support/readonly_mount.sh" start "$work/readonly" >/dev/null || fail "no read-only mount"
trap '"$top/tests/support/readonly_mount.sh" stop "$work/readonly"' EXIT
export VELKARON_TEST_LIBRARY VELKARON_TEST_READONLY="$(cd "$work" && pwd)/readonly"
VELKARON_TEST_LIBRARY=$work/linux/Velkaron/Velkaron.wdx
"$top/build/linux/tests/velkaron_plugin_tests" --gtest_brief=1 >"$work/linux.out" 2>&1 ||
  { cat "$work/linux.out"; fail "the plug-in suite against the Linux Velkaron.wdx"; }
echo "ok: the plug-in suite passes against Velkaron/Velkaron.wdx (Linux)"
. "$top/cmake/wine-env.sh"
for build in 64:Velkaron.w64 32:Velkaron.wdx; do
  bits=${build%%:*}
  VELKARON_TEST_LIBRARY=$work/windows/${build#*:}
  wine_env "$top" "$bits" "$top/build/win$bits/wineprefix"
  # Not run here, as in the win32 suite: `make test` says so in its closing banner.
  if [ "$WINE_ROUTE" = none ]; then echo "SKIPPED: ${build#*:}: $(wine_refused)"; continue; fi
  wine_start
  status=0
  "$WINE" "$top/build/win$bits/tests/velkaron_plugin_tests.exe" --gtest_brief=1 </dev/null \
    >"$work/win$bits.out" 2>&1 || status=$?
  wine_stop
  [ $status = 0 ] || { cat "$work/win$bits.out"; fail "the plug-in suite against ${build#*:}"; }
  echo "ok: the plug-in suite passes against ${build#*:}"
done
