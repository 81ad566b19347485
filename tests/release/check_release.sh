#!/bin/sh
# check_release.sh RELEASE WORKDIR: what a user downloads. The checksums verify, each archive
# holds what its README.txt describes with its modes, pluginst.inf holds the installer's keys,
# README.txt is plain text with CR LF line ends, the command-line hosts unpacked run, and the
# plug-in suite of each build passes against the libraries unpacked from the archives (not the
# ones in build/).
set -eu
release=$(cd "$1" && pwd) work=$2
top=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$release" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match the archives"
rm -rf "$work"
mkdir -p "$work/windows" "$work/linux"
(cd "$work/windows" && python3 -m zipfile -e "$release"/Velkaron-*-windows.zip .)
tar -xzf "$release"/Velkaron-*-linux-x86_64.tar.gz -C "$work/linux"
[ "$(LC_ALL=C ls "$work/windows" | tr '\n' ' ')" = \
  "LICENSE README.txt Velkaron.sample.ini Velkaron.w64 Velkaron.wdx plughost32.exe plughost64.exe pluginst.inf " ] ||
  fail "the Windows archive holds $(ls "$work/windows")"
[ "$(LC_ALL=C ls "$work/linux/Velkaron" | tr '\n' ' ')" = "LICENSE README.txt Velkaron.sample.ini Velkaron.wdx plughost " ] ||
  fail "the Linux archive holds $(ls "$work/linux/Velkaron")"
# Each entry's mode as the archive records it: the hosts 0755, the rest 0644 (the folder 0755).
modes=$(python3 - "$release"/Velkaron-*-windows.zip "$release"/Velkaron-*-linux-x86_64.tar.gz <<'EOF'
import sys, tarfile, zipfile
for entry in zipfile.ZipFile(sys.argv[1]).infolist():
    print(oct(entry.external_attr >> 16 & 0o7777), entry.filename)
for entry in tarfile.open(sys.argv[2]):
    print(oct(entry.mode), entry.name)
EOF
)
[ "$(echo "$modes" | grep -v '^0o644 ' | tr '\n' ' ')" = \
  "0o755 plughost32.exe 0o755 plughost64.exe 0o755 Velkaron 0o755 Velkaron/plughost " ] ||
  fail "the archives' modes: $modes"

cr=$(printf '\r')
version=$(python3 "$top/tools/release.py" --version)
for line in "[plugininstall]" "description=Velkaron: NTFS alternate data streams as text fields" \
            type=wdx file=Velkaron.wdx defaultdir=Velkaron "version=$version"; do
  grep -qxF "$line$cr" "$work/windows/pluginst.inf" || fail "pluginst.inf lacks the line $line"
done
[ "$(wc -l < "$work/windows/README.txt")" -gt 20 ] || fail "README.txt is nearly empty"
if grep -q "[^$cr]\$" "$work/windows/README.txt"; then fail "README.txt has lines without CR LF"; fi
if grep -q '^#' "$work/windows/README.txt"; then fail "README.txt has Markdown headings: $(grep '^#' "$work/windows/README.txt")"; fi
cmp -s "$work/windows/README.txt" "$work/linux/Velkaron/README.txt" || fail "the archives' README.txt differ"
grep -q "plughost" "$work/windows/README.txt" || fail "README.txt does not describe plughost"
grep -q "^MIT License" "$work/linux/Velkaron/LICENSE" && grep -q "The Velkaron authors" "$work/windows/LICENSE" ||
  fail "the licence is missing from an archive"
echo "ok: checksums, contents, modes, pluginst.inf, README.txt, the licence"

# The hosts shipped run from where they were unpacked: Linux's here, the Windows ones under Wine
# below (and are PE images of their bitness, where Wine cannot run one).
[ "$("$work/linux/Velkaron/plughost" --version)" = "plughost $version" ] || fail "Velkaron/plughost --version"
echo "ok: Velkaron/plughost --version"
case $(file -b "$work/windows/plughost64.exe") in "PE32+ executable (console) x86-64"*) ;; *) fail "plughost64.exe: $(file -b "$work/windows/plughost64.exe")";; esac
case $(file -b "$work/windows/plughost32.exe") in "PE32 executable (console) Intel 80386"*) ;; *) fail "plughost32.exe: $(file -b "$work/windows/plughost32.exe")";; esac

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
  "$WINE" "$work/windows/plughost$bits.exe" --version </dev/null >"$work/plughost$bits.out" 2>&1 || status=$?
  wine_stop
  [ $status = 0 ] || { cat "$work/win$bits.out" "$work/plughost$bits.out"; fail "the plug-in suite against ${build#*:}, or plughost$bits.exe"; }
  grep -qxF "plughost $version$cr" "$work/plughost$bits.out" || fail "plughost$bits.exe --version: $(cat "$work/plughost$bits.out")"
  echo "ok: the plug-in suite passes against ${build#*:}; plughost$bits.exe --version"
done
