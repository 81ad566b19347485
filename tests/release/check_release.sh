#!/bin/sh
# check_release.sh RELEASE WORKDIR [ROOTS]: what a user downloads. The checksums verify, each
# archive holds what its README.txt describes with its modes, pluginst.inf holds the installer's
# keys, README.txt is plain text with CR LF line ends, each library exports exactly what its
# host calls, the command-line hosts unpacked run, and the plug-in suite of each build passes
# against the libraries unpacked from the archives (not the ones in build/). The Debian package
# passes lintian without an error and installs with apt into a fresh Debian root (made once with
# debootstrap in ROOTS, build/ by default), where an unprivileged user gets the sample's fields
# through the installed plughost, and its removal leaves nothing but the user's configuration.
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
  "LICENSE README.txt Velkaron.sample.ini Velkaron.w64 Velkaron.wdx Velkaron.wdx64 plughost32.exe plughost64.exe pluginst.inf " ] ||
  fail "the Windows archive holds $(ls "$work/windows")"
cmp -s "$work/windows/Velkaron.wdx64" "$work/windows/Velkaron.w64" || fail "Velkaron.wdx64 is not Velkaron.w64"
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
# The guides that README.md points to in docs/ are in README.txt whole.
for line in "plughost PLUGIN clear PATH FIELD" "| 2 | bad usage: an unknown command" \
            "| samba | the attribute user.DosStream.S:\$DATA"; do
  grep -qF "$line" "$work/windows/README.txt" || fail "README.txt lacks the line: $line"
done
grep -q "^MIT License" "$work/linux/Velkaron/LICENSE" && grep -q "The Velkaron authors" "$work/windows/LICENSE" ||
  fail "the licence is missing from an archive"
echo "ok: checksums, contents, modes, pluginst.inf, README.txt, the licence"

# What each host finds in each library: the Windows DLLs their six exports, the Linux library
# those and the detect string.
for dll in Velkaron.wdx:4 Velkaron.w64:8; do
  /usr/bin/python3 "$top/tests/win/check_dll_image.py" "$work/windows/${dll%:*}" "${dll#*:}" >"$work/image.out" ||
    { cat "$work/image.out"; fail "the exports, imports or version of ${dll%:*}"; }
done
exports=$(nm -D --defined-only "$work/linux/Velkaron/Velkaron.wdx" | awk '{ print $3 }' | LC_ALL=C sort | tr '\n' ' ')
[ "$exports" = "ContentGetDetectString ContentGetSupportedField ContentGetSupportedFieldFlags ContentGetValue ContentGetValueW ContentSetValue ContentSetValueW " ] ||
  fail "the Linux library exports $exports"
echo "ok: the Windows libraries' six exports, the Linux library's seven"

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

# The Debian package: no lintian error, its files as `make install` lays them out below /usr
# (the licence as Debian's copyright file), owned by root.
deb=$(ls "$release"/velkaron_*_amd64.deb)
lintian --no-cfg --fail-on error "$deb" >"$work/lintian.out" 2>&1 ||
  { cat "$work/lintian.out"; fail "lintian finds an error in $(basename "$deb")"; }
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | tr '\n' ' ')
[ "$files" = "-rwxr-xr-x root/root ./usr/bin/plughost -rw-r--r-- root/root ./usr/lib/velkaron/Velkaron.sample.ini \
-rw-r--r-- root/root ./usr/lib/velkaron/Velkaron.wdx -rw-r--r-- root/root ./usr/share/doc/velkaron/README \
-rw-r--r-- root/root ./usr/share/doc/velkaron/changelog.Debian.gz -rw-r--r-- root/root ./usr/share/doc/velkaron/copyright \
-rw-r--r-- root/root ./usr/share/man/man1/plughost.1.gz " ] || fail "$(basename "$deb") holds $files"
dpkg-deb -f "$deb" Depends | grep -q "^libc6 (>= " || fail "$(basename "$deb") depends on $(dpkg-deb -f "$deb" Depends)"
echo "ok: $(basename "$deb"): no lintian error, $(grep -c "^W:" "$work/lintian.out") warning(s), its files"

# Installed into a fresh root: a copy of a minimal Debian made once with debootstrap, where apt
# installs the package itself; without debootstrap, an empty root where dpkg --root installs it.
if [ "$(id -u)" != 0 ]; then
  [ "${CI:-}" != true ] || fail "installing the package needs root"
  echo "SKIPPED: installing $(basename "$deb"): needs root"; exit 0
fi
roots=${3:-$top/build} root=$(cd "$work" && pwd)/root user=1000:1000
template=$roots/bookworm-minbase
if [ ! -f "$template/ready" ] && command -v debootstrap >/dev/null; then
  mirror=$("$top/cmake/wine32-emulated.sh" --mirrors /etc/apt/sources.list.d/*.sources \
           /etc/apt/sources.list /etc/apt/sources.list.d/*.list | head -1)
  echo "(making a minimal Debian root with debootstrap in $template, once)"
  rm -rf "$template.new"
  if debootstrap --variant=minbase bookworm "$template.new" "${mirror:-http://deb.debian.org/debian}" \
       >"$work/debootstrap.log" 2>&1; then
    mv "$template.new" "$template" && touch "$template/ready"
  else
    tail -5 "$work/debootstrap.log"
  fi
fi
if [ -f "$template/ready" ]; then
  how="apt install in a debootstrap root" inside=
  cp -a "$template" "$root"
  in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive "$@"; }
  as_user() { chroot --userspec=$user "$root" env -i HOME=/home/tester PATH=/usr/bin:/bin LC_ALL=C.UTF-8 "$@"; }
else
  [ "${CI:-}" != true ] || fail "debootstrap could not make a Debian root"
  how="dpkg --root into an empty root (no debootstrap root)" inside=$root
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" && : > "$root/var/lib/dpkg/status"
  as_user() { setpriv --reuid=${user%:*} --regid=${user#*:} --clear-groups \
                env -i HOME="$root/home/tester" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 "$@"; }
fi
mkdir -p "$root/home/tester" "$root/tmp"
echo "notes" > "$root/home/tester/notes.txt"
chown -R $user "$root/home/tester"
# Everything but apt's and dpkg's own records, the logs and the scratch folders.
listing() {
  (cd "$root" && find . \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./tmp -o -path ./var/lib/dpkg \
     -o -path ./var/lib/apt -o -path ./var/cache -o -path ./var/log \) -prune -o -print | LC_ALL=C sort)
}
listing > "$work/before"
cp "$deb" "$root/tmp/"
if [ -z "$inside" ]; then
  in_root apt install -y "/tmp/$(basename "$deb")" >"$work/install.out" 2>&1
else
  dpkg --root="$root" --force-depends -i "$deb" >"$work/install.out" 2>&1
fi || { cat "$work/install.out"; fail "$how: $(basename "$deb") does not install"; }

lib=$inside/usr/lib/velkaron/Velkaron.wdx notes=$inside/home/tester/notes.txt
as_user "$inside/usr/bin/plughost" "$lib" fields >"$work/fields.out" 2>&1 ||
  { cat "$work/fields.out"; fail "the installed plughost cannot list the installed library's fields"; }
[ "$(cat "$work/fields.out")" = "$(printf '0\tComment\teditable\n1\tZone>>>dot<<<Identifier\teditable')" ] ||
  fail "the installed library offers $(cat "$work/fields.out")"
cmp -s "$root/home/tester/.config/velkaron/Velkaron.ini" "$top/config/Velkaron.sample.ini" ||
  fail "the user's own Velkaron.ini is not a copy of the sample"
as_user "$inside/usr/bin/plughost" "$lib" set "$notes" Comment "from the package" >/dev/null &&
  [ "$(as_user "$inside/usr/bin/plughost" "$lib" value "$notes" Comment)" = "from the package" ] ||
  fail "a value set through the installed plughost does not read back"
zcat "$root/usr/share/man/man1/plughost.1.gz" | grep -q "^\.TH PLUGHOST 1 " || fail "no manual page for plughost"

if [ -z "$inside" ]; then
  in_root apt remove -y velkaron >"$work/remove.out" 2>&1
else
  dpkg --root="$root" -r velkaron >"$work/remove.out" 2>&1
fi || { cat "$work/remove.out"; fail "$how: $(basename "$deb") does not remove"; }
listing > "$work/after"
left=$(LC_ALL=C comm -13 "$work/before" "$work/after" | tr '\n' ' ')
gone=$(LC_ALL=C comm -23 "$work/before" "$work/after" | tr '\n' ' ')
[ "$left" = "./home/tester/.config ./home/tester/.config/velkaron ./home/tester/.config/velkaron/Velkaron.ini " ] &&
  [ -z "$gone" ] || fail "after removing the package, left: $left; gone: $gone"
echo "ok: $how: the user's fields through the installed plughost, their own Velkaron.ini; removed, nothing left but that"
