#!/bin/sh
# The Linux build with StreamStore=samba against a real Samba server:
#   samba_streams.sh PLUGHOST VELKARON_SO WORKDIR
# A private smbd (loopback only, a free port, guest access to a scratch share with
# vfs_streams_xattr, every state file under WORKDIR) shares the folder the plug-in works on.
# Values put through SMB read back exactly through the plug-in; values the plug-in writes read back
# exactly through SMB, listed with their exact size; a cleared field's stream is gone for SMB
# clients; KeepTime holds on the server. Last, the share's folder on an ntfs-3g volume filled to
# the last byte: a write that finds no room is a file error and SMB clients still read the old
# value, the time unchanged. smbd is stopped by its pid however the test ends.
# Where smbd cannot start, or (for the full volume) /dev/fuse is missing, the test says why and is
# skipped (exit 77); under CI=true it fails.
set -eu
plughost=$1 library=$2 work=$3

fail() { echo "FAILED: $*" >&2; exit 1; }
cannot() {  # cannot REASON
  [ "${CI:-}" = true ] && fail "$1: the Samba tests cannot run"
  echo "SKIPPED: $1: the Samba tests did not run" >&2
  exit 77
}
smbd=$(command -v smbd || echo /usr/sbin/smbd)
[ -x "$smbd" ] || cannot "smbd is not installed (package samba)"
command -v smbclient >/dev/null 2>&1 || cannot "smbclient is not installed (package smbclient)"
[ "$(id -u)" = 0 ] || cannot "smbd serves the share as root here, and this is not root"

state=$work/state share=$work/share plugin=$work/plugin vol=$work/share/ntfs
stop_smbd() {
  [ -f "$state/smbd.pid" ] || return 0
  pid=$(cat "$state/smbd.pid")
  rm -f "$state/smbd.pid"
  pkill -TERM -P "$pid" 2>/dev/null || true
  kill -TERM "$pid" 2>/dev/null || return 0
  i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
  kill -KILL "$pid" 2>/dev/null || true
}
finish() {
  stop_smbd
  ! mountpoint -q "$vol" || umount "$vol" || umount -l "$vol"
}
finish  # a run that was killed before its trap
rm -rf "$work"
export XDG_CONFIG_HOME="$work/user"  # the user's own folder: nothing a user or a run left there
mkdir -p "$state/private" "$state/lock" "$state/state" "$state/cache" "$state/ncalrpc" "$share/dir" "$plugin"
trap finish EXIT
trap 'exit 1' HUP INT TERM

# start_smbd: on a free loopback port ($port); ready when a client lists the share.
start_smbd() {
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  conf=$state/smb.conf
  cat > "$conf" <<EOF
[global]
server role = standalone server
map to guest = Bad User
guest account = root
smb ports = $port
interfaces = 127.0.0.1
bind interfaces only = yes
private dir = $state/private
lock dir = $state/lock
state directory = $state/state
cache directory = $state/cache
pid directory = $state
ncalrpc dir = $state/ncalrpc
log file = $state/log.smbd
disable spoolss = yes
load printers = no
[share]
path = $share
guest ok = yes
read only = no
vfs objects = streams_xattr
EOF
  "$smbd" -s "$conf" -D > "$state/smbd.out" 2>&1 || return 1
  i=0
  while [ $i -lt 100 ]; do
    smb 'ls' > /dev/null 2>&1 && return 0
    sleep 0.1; i=$((i + 1))
  done
  return 1
}
smb() { smbclient -s "$conf" -p "$port" //127.0.0.1/share -N -c "$1"; }
fetch() {  # fetch REMOTE: the stream's bytes through SMB into $work/got (nothing when it cannot)
  rm -f "$work/got"
  smb "get $1 $work/got" > "$work/get.out" 2>&1 || true
  [ -f "$work/got" ] || : > "$work/got"
}
tries=0
until start_smbd; do
  tries=$((tries + 1))
  if [ $tries = 3 ]; then
    cat "$state/smbd.out" "$state/log.smbd" 2>/dev/null | tail -20 >&2
    cannot "smbd did not start (three ports tried; its log is above)"
  fi
  stop_smbd
done
echo "ok: smbd serves //127.0.0.1:$port/share (pid $(cat "$state/smbd.pid"))"

cp "$library" "$plugin/"
so=$plugin/$(basename "$library")
printf '[Options]\nKeepTime=1\nWriteUTF8=1\nReadUTF8=1\nSubstituteChars=1\nListStreams=1\nOrigin=1\n[Linux]\nStreamStore=samba\n[Streams]\n0=Comment\n1=Zone>>>dot<<<Identifier\n' \
  > "$plugin/Velkaron.ini"
hex() { od -An -tx1 | tr -d ' \n'; }
same() {  # same WHAT GOT-FILE WANT-FILE
  cmp -s "$2" "$3" || fail "$1: $(hex < "$2"), expected $(hex < "$3")"
  echo "ok: $1"
}
read_is() {  # read_is WHAT PATH FIELD WANT-FILE: the value as the plug-in reads it
  "$plughost" "$so" value "$2" "$3" > "$work/got"
  same "$1" "$work/got" "$4"
}
smb_is() {  # smb_is WHAT REMOTE WANT-FILE: the stream as SMB clients read it
  fetch "$2"
  same "$1" "$work/got" "$3"
}

# Values that SMB clients wrote, read through the plug-in.
printf '\346\227\245\346\234\254\350\252\236\343\201\256\343\202\263\343\203\241\343\203\263\343\203\210\r\nzweite Zeile' > "$work/utf8"
printf 'Gr\374\337e aus K\366ln' > "$work/ansi"
printf 'Grüße aus Köln' > "$work/ansi.utf8"
printf "a folder's comment" > "$work/folder"
printf 'upper case' > "$work/upper"
echo data > "$share/f.txt"
echo data > "$share/k.txt"
smb "put $work/utf8 f.txt:Comment; put $work/ansi f.txt:Zone.Identifier; put $work/folder dir:Comment; put $work/upper k.txt:COMMENT" > /dev/null
read_is "UTF-8 with CJK and CR LF from SMB" "$share/f.txt" Comment "$work/utf8"
read_is "an ANSI value from SMB" "$share/f.txt" 1 "$work/ansi.utf8"
read_is "a folder's stream from SMB" "$share/dir" Comment "$work/folder"
read_is "a stream an SMB client named in another case" "$share/k.txt" Comment "$work/upper"
# The field Streams lists the streams SMB clients put, with the sizes allinfo gives them.
smb "allinfo f.txt" > "$work/allinfo"
printf '%s' "$(grep -v '\[::\$DATA\]' "$work/allinfo" |
  sed -n 's/^stream: \[:\(.*\):\$DATA\], \([0-9]*\) bytes$/\1 (\2)/p' | LC_ALL=C sort | sed ':a;N;$!ba;s/\n/, /g')" \
  > "$work/want"
[ -s "$work/want" ] || fail "allinfo lists no stream of f.txt: $(cat "$work/allinfo")"
read_is "the streams SMB clients put, with allinfo's sizes: $(cat "$work/want")" "$share/f.txt" Streams "$work/want"

# Where a file came from, as a browser marked it on a Windows client, read from Samba's store.
printf '[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/downloads/\r\nHostUrl=https://example.org/tool.zip\r\n' \
  > "$work/mark"
echo data > "$share/tool.zip"
smb "put $work/mark tool.zip:Zone.Identifier" > /dev/null
for part in Zone:Internet HostUrl:https://example.org/tool.zip ReferrerUrl:https://example.org/downloads/; do
  printf '%s' "${part#*:}" > "$work/want"
  read_is "the mark's ${part%%:*}" "$share/tool.zip" "${part%%:*}" "$work/want"
done

# Values the plug-in writes, read through SMB.
echo data > "$share/g.txt"
"$plughost" "$so" set "$share/g.txt" Comment "$(cat "$work/utf8")" > /dev/null
"$plughost" "$so" set "$share/dir" 1 "$(cat "$work/folder")" > /dev/null
smb_is "a value the plug-in wrote, through SMB" g.txt:Comment "$work/utf8"
smb_is "a folder's value the plug-in wrote, through SMB" dir:Zone.Identifier "$work/folder"
smb "allinfo g.txt" > "$work/allinfo"
size=$(wc -c < "$work/utf8")
grep -qF "stream: [:Comment:\$DATA], $size bytes" "$work/allinfo" ||
  fail "allinfo does not list the stream with $size bytes: $(cat "$work/allinfo")"
echo "ok: allinfo lists :Comment:\$DATA with its $size bytes"
"$plughost" "$so" set "$share/k.txt" Comment "changed" > /dev/null
printf 'changed' > "$work/want"
smb_is "a stream named in another case, changed in place" k.txt:Comment "$work/want"
smb "allinfo k.txt" > "$work/allinfo"
[ "$(grep -c 'stream: \[:[Cc][Oo][Mm][Mm][Ee][Nn][Tt]:' "$work/allinfo")" = 1 ] ||
  fail "k.txt has more than one Comment stream: $(cat "$work/allinfo")"
echo "ok: and no second one made"

# A cleared field's stream is gone for SMB clients.
"$plughost" "$so" clear "$share/f.txt" Comment > /dev/null
smb "allinfo f.txt" > "$work/allinfo"
! grep -q ':Comment:' "$work/allinfo" || fail "f.txt:Comment is still listed: $(cat "$work/allinfo")"
grep -q ':Zone.Identifier:' "$work/allinfo" || fail "f.txt:Zone.Identifier went too"
fetch f.txt:Comment
[ ! -s "$work/got" ] && grep -q NT_STATUS_ "$work/get.out" || fail "f.txt:Comment can still be read"
echo "ok: a cleared stream is gone for SMB clients ($(grep -o 'NT_STATUS_[A-Z_]*' "$work/get.out" | head -1))"

# KeepTime: the server's file keeps its last-write time, to the nanosecond and as SMB shows it.
echo data > "$share/h.txt"
touch -m -d '2001-02-03 04:05:06.123456789' "$share/h.txt"
before=$(stat -c %y "$share/h.txt")
smb "allinfo h.txt" | grep write_time > "$work/time-before"
"$plughost" "$so" set "$share/h.txt" Comment "kept" > /dev/null
"$plughost" "$so" set "$share/h.txt" Comment "kept again" > /dev/null
"$plughost" "$so" clear "$share/h.txt" Comment > /dev/null
"$plughost" "$so" set "$share/h.txt" 1 "zone" > /dev/null
[ "$(stat -c %y "$share/h.txt")" = "$before" ] || fail "h.txt's time moved: $(stat -c %y "$share/h.txt")"
smb "allinfo h.txt" | grep write_time > "$work/time-after"
same "KeepTime on the server ($before)" "$work/time-after" "$work/time-before"

# A full volume: ntfs-3g empties an attribute whose new value finds no room, so the plug-in puts
# the old one back.
[ -c /dev/fuse ] || cannot "/dev/fuse is missing: the full-volume case"
PATH=$PATH:/usr/sbin
truncate -s 16M "$work/volume.img"
mkntfs -q -F -f "$work/volume.img" > /dev/null 2>&1 || fail "mkntfs could not make an NTFS image"
mkdir -p "$vol"
ntfs-3g -o streams_interface=xattr "$work/volume.img" "$vol" || fail "ntfs-3g could not mount the image"
echo data > "$vol/full.txt"
smb "put $work/utf8 ntfs/full.txt:Comment" > /dev/null
touch -m -d '2001-02-03 04:05:06.123456789' "$vol/full.txt"
before=$(stat -c %y "$vol/full.txt")
mountpoint -q "$vol" || fail "$vol is not mounted: not filling it"
if dd if=/dev/zero of="$vol/filler" bs=64k count=256 2> "$work/dd.out"; then fail "16 MiB of filler did not fill the volume"; fi
big=$(printf '%2000s' '' | sed 's/ /0123456789/g')
code=0; "$plughost" "$so" set "$vol/full.txt" Comment "$big" > "$work/out" 2>&1 || code=$?
[ $code = 1 ] && grep -q 'file error' "$work/out" || fail "a write on the full volume: exit $code: $(cat "$work/out")"
smb_is "on the full volume a failed write leaves SMB clients the old value" ntfs/full.txt:Comment "$work/utf8"
[ "$(stat -c %y "$vol/full.txt")" = "$before" ] || fail "full.txt's time moved: $(stat -c %y "$vol/full.txt")"
rm "$vol/filler"
"$plughost" "$so" set "$vol/full.txt" Comment "$big" > /dev/null || fail "with room again, the write failed"
printf '%s' "$big" > "$work/want"
smb_is "with room again all ${#big} bytes are stored" ntfs/full.txt:Comment "$work/want"

echo "samba: all passed"
