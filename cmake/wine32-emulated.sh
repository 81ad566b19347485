#!/bin/sh
# wine32-emulated.sh DIR: sets up 32-bit Wine under qemu-i386 (user mode) in DIR, for machines
# whose kernel cannot execute i386 programs. Nothing is installed system-wide: the packages are
# fetched with a private apt configuration (the machine's own Debian mirrors, plus
# bookworm-backports for a qemu recent enough for Wine's side processes) and unpacked in DIR.
#
# DIR/bin/qemu-i386                   from bookworm-backports' qemu-user (bookworm's 7.2 crashes)
# DIR/lib/wine/wine, wine-preloader   wrappers: exec qemu-i386 <the .real i386 file> "$@"
# DIR/lib/i386-linux-gnu, share/wine  links to the system's, which Wine finds beside its loader
# DIR/prefix-template                 a win32 prefix; each run takes a copy (wine-env.sh)
# DIR/ready                           written last: a later run returns at once
#
# wine32-emulated.sh --mirrors FILE... prints the mirrors found in those apt source files.
set -e

# debian_mirrors FILE...: the URIs of each enabled source, in deb822 (*.sources) or one-line
# form, that serves bookworm itself.
debian_mirrors() {
  for f; do
    [ -f "$f" ] || continue
    case $f in
      *.sources) awk 'function flush() {
                        if (suites ~ /(^| )bookworm( |$)/ && enabled != "no") print uris
                        uris = suites = enabled = "" }
                      /^[ \t]*$/ { flush(); next }
                      /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0 }
                      /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
                      /^Enabled:/ { enabled = $2 }
                      END { flush() }' "$f" ;;
      *) awk '$1 == "deb" { i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                            if ($(i + 1) == "bookworm") print $i }' "$f" ;;
    esac
  done | tr ' ' '\n' | sed '/^$/d' | sort -u
}
if [ "$1" = --mirrors ]; then shift; debian_mirrors "$@"; exit 0; fi

dir=$1
[ -n "$dir" ] || { echo "usage: $0 DIR" >&2; exit 2; }
[ -f "$dir/ready" ] && exit 0
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
apt=$dir/apt
pkgs=$dir/pkgs
rm -rf "$apt" "$pkgs" "$dir/bin" "$dir/lib" "$dir/share" "$dir/prefix-template"
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d" \
  "$apt/preferences.d" "$pkgs"
touch "$apt/status"

mirrors=$(debian_mirrors /etc/apt/sources.list.d/*.sources /etc/apt/sources.list /etc/apt/sources.list.d/*.list)
[ -n "$mirrors" ] || { echo "no Debian bookworm mirror in this machine's apt sources" >&2; exit 1; }
for m in $mirrors; do
  for suite in bookworm bookworm-backports; do
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $m $suite main"
  done
done > "$apt/sources.list"

cat > "$apt/apt.conf" <<EOF
APT::Architecture "amd64";
APT::Architectures { "amd64"; "i386"; };
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/sources.list.d";
Dir::Etc::PreferencesParts "$apt/preferences.d";
Dir::State "$apt";
Dir::State::Lists "$apt/lists";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
Acquire::Languages "none";
APT::Sandbox::User "root";
EOF
export APT_CONFIG="$apt/apt.conf"

echo "Setting up 32-bit Wine under qemu-i386 in $dir (once)"
apt-get update -qq
# The loader files must match the installed 32-bit Wine libraries.
wine_version=$(dpkg-query -W -f '${Version}' wine32:i386)
qemu_version=$(apt-cache madison qemu-user | awk '$6 == "bookworm-backports/main" { print $3; exit }')
[ -n "$qemu_version" ] || { echo "qemu-user is not in bookworm-backports on this machine's mirror" >&2; exit 1; }
(cd "$pkgs" && apt-get download -qq "qemu-user=$qemu_version" \
   "wine32:i386=$wine_version" "wine32-preloader:i386=$wine_version")
for deb in "$pkgs"/*.deb; do dpkg -x "$deb" "$pkgs/root"; done
mkdir -p "$dir/bin" "$dir/lib/wine" "$dir/share"
qemu=$dir/bin/qemu-i386
cp "$pkgs/root/usr/bin/qemu-i386" "$qemu"
"$qemu" --version >/dev/null
ln -s /usr/lib/i386-linux-gnu "$dir/lib/i386-linux-gnu"
ln -s /usr/share/wine "$dir/share/wine"
for f in wine wine-preloader; do
  cp "$pkgs/root/usr/lib/wine/$f" "$dir/lib/wine/$f.real"
  printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$qemu" "$dir/lib/wine/$f.real" > "$dir/lib/wine/$f"
  chmod +x "$dir/lib/wine/$f"
done
rm -rf "$pkgs" "$apt/cache/archives"/*.deb

# The template prefix. Its output goes to a file: Wine's side processes keep a pipe open.
prefix=$dir/prefix-template
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
  WINESERVER=/usr/lib/wine/wineserver64
unset DISPLAY
if ! "$dir/lib/wine/wine" wineboot -i </dev/null >"$dir/wineboot.log" 2>&1 ||
   ! "$WINESERVER" -w </dev/null >>"$dir/wineboot.log" 2>&1 ||
   [ ! -f "$prefix/system.reg" ]; then
  cat "$dir/wineboot.log" >&2
  echo "could not create a 32-bit Wine prefix under qemu-i386" >&2
  exit 1
fi
echo "$qemu_version" > "$dir/ready"
echo "32-bit Wine under qemu-i386 $qemu_version is ready"
