#!/bin/sh
# deps.sh STATE_DIR: installs with apt what is missing of the tool chain and of 32-bit Wine.
#   VELKARON_NEEDED, VELKARON_NEEDED32      commands (or absolute paths) that tell what is missing
#   VELKARON_PACKAGES, VELKARON_PACKAGES32  the packages that provide them
#   VELKARON_APT_OPTIONS                    more options for `apt-get install` (--no-install-recommends)
#   VELKARON_APT_PAUSE                      seconds before the last try of `apt-get update` (20)
# A package mirror caught mid-sync serves an index of the wrong size for hours, and apt then
# refuses the whole update. That stops nothing here: the update is tried again, the indexes that
# still fail are named in one line, and the install goes on with the lists that did download.
# 32-bit Wine is a step of its own, so that its failure never stops the 64-bit tool chain, and it
# comes first: a multiarch library's two halves must be the same version, and where a suite's
# i386 index is missing, amd64 libraries the tool chain took from that suite would have no i386
# halves to match. A step that does not resolve for that reason is tried once more with that
# suite held below the others, through a preferences file given to that one apt call. Where it
# still cannot be installed, the reason goes to STATE_DIR/wine32-unavailable, which `make test`'s
# banner shows.
set -u
state=$1
mkdir -p "$state"
log=$state/apt.log
SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo

missing() {
  for n; do
    case $n in /*) [ -e "$n" ] || echo "$n";; *) command -v "$n" >/dev/null 2>&1 || echo "$n";; esac
  done
}
missing64=$(missing $VELKARON_NEEDED)
missing32=$(missing $VELKARON_NEEDED32)
if [ -z "$missing64$missing32" ]; then rm -f "$state/wine32-unavailable"; exit 0; fi
echo "Installing the tool chain (missing: $(echo $missing64 $missing32))"
: > "$log"
$SUDO dpkg --add-architecture i386 || exit 1

update() { $SUDO apt-get -o Acquire::Retries=3 update -qq > "$state/update.log" 2>&1; }
if ! update; then
  echo "apt-get update failed; once more in ${VELKARON_APT_PAUSE:-20} s"
  sleep "${VELKARON_APT_PAUSE:-20}"
  if ! update; then
    failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)/\1 (\2)/p' "$state/update.log")
    [ -n "$failed" ] || cat "$state/update.log"
    echo "!!! apt-get update: these package indexes could not be fetched:" $failed \
         "- going on with the lists that did download"
  fi
fi
cat "$state/update.log" >> "$log"

# held_suites: the codenames of the suites whose i386 index the update could not fetch. apt names
# each index by URL (.../dists/DIST/COMPONENT/binary-i386/...); its index targets map DIST to the
# Release file's codename, which a pin matches.
held_suites() {
  sed -n 's,^[EW]: Failed to fetch \([^ ]*/dists/[^/]*/\)[^ ]*/binary-i386/.*,\1,p' \
    "$state/update.log" | sort -u | while read -r dist; do
    codename=$(apt-get indextargets --format '$(CODENAME) $(URI)' 2>/dev/null |
               awk -v d="$dist" 'index($2, d) == 1 { print $1; exit }')
    basename "${codename:-$dist}"
  done
}
held=$(held_suites)
install() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq ${VELKARON_APT_OPTIONS:-} "$@" >> "$log" 2>&1
}
# apt_install WHAT PACKAGES...: where apt cannot resolve them and the update missed a suite's i386
# index, once more with that suite held below the others (priority 100: what is installed stays).
apt_install() {
  what=$1; shift
  install "$@" && return 0
  [ -n "$held" ] || return 1
  echo "$what did not resolve; trying again with" $held "held below the other suites"
  prefs=$(mktemp)
  cat /etc/apt/preferences > "$prefs" 2>/dev/null
  for suite in $held; do
    printf '\nPackage: *\nPin: release n=%s\nPin-Priority: 100\n' "$suite" >> "$prefs"
  done
  install -o Dir::Etc::Preferences="$prefs" "$@"
  status=$?
  rm -f "$prefs"
  return $status
}
[ -z "$missing32" ] || apt_install "32-bit Wine" $VELKARON_PACKAGES32
if [ -n "$missing64" ] && ! apt_install "The tool chain" $VELKARON_PACKAGES; then
  tail -20 "$log"
  echo "!!! Could not install the tool chain (above; the whole log: $log)"
  exit 1
fi
if [ -n "$(missing $VELKARON_NEEDED32)" ]; then
  reason="apt: $(grep '^E: ' "$log" | tail -1)"
  # Typically libraries installed earlier from that suite, whose i386 halves it cannot offer.
  [ -z "$held" ] || reason="$reason; the i386 index of $(echo $held) could not be fetched"
  echo "32-bit Wine could not be installed ($reason)" > "$state/wine32-unavailable"
  echo "!!! $(cat "$state/wine32-unavailable"). Everything else is set up."
else
  rm -f "$state/wine32-unavailable"
fi
exit 0
