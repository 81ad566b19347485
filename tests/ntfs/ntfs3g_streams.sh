#!/bin/sh
# Proves that on an NTFS volume mounted by ntfs-3g the Linux build reads and writes real named
# data streams: fields written through Velkaron.so are found with ntfsinfo/ntfscat in the image
# after unmounting, and a stream created through ntfs-3g's Windows-style "file:stream" names is
# read back through the library.
# Usage: ntfs3g_streams.sh PLUGHOST VELKARON_SO WORKDIR
set -eu
plughost=$1 library=$2 work=$3

fail() { echo "FAILED: $*" >&2; exit 1; }

# Nothing here may pass silently: without FUSE or the NTFS tools the test fails and says why.
[ -c /dev/fuse ] || fail "/dev/fuse is missing: the ntfs-3g stream test cannot run on this machine"
for tool in mkntfs ntfs-3g ntfsinfo ntfscat; do
  command -v $tool >/dev/null 2>&1 || [ -x /usr/sbin/$tool ] || fail "$tool is not installed (package ntfs-3g)"
done
PATH=$PATH:/usr/sbin

rm -rf "$work"
mkdir -p "$work/plugin" "$work/mnt"
image=$work/volume.img
mnt=$work/mnt
cleanup() { mountpoint -q "$mnt" && umount "$mnt" || true; }
trap cleanup EXIT

truncate -s 16M "$image"
mkntfs -q -F -f -L velkaron "$image" >/dev/null 2>&1 || fail "mkntfs could not make an NTFS image"

cp "$library" "$work/plugin/"
cat > "$work/plugin/Velkaron.ini" <<'INI'
[Options]
KeepTime=1
WriteUTF8=1
ReadUTF8=1
SubstituteChars=1
[Streams]
0=Comment
1=Zone>>>dot<<<Identifier
2=Native
INI
so=$work/plugin/$(basename "$library")

# 1. Fields written through the library on the mounted volume.
ntfs-3g -o streams_interface=xattr "$image" "$mnt" || fail "ntfs-3g could not mount the image"
echo "file data" > "$mnt/file.txt"
mkdir "$mnt/folder"
touch -d '2001-09-09 01:46:41.1234567' "$mnt/file.txt"
before=$(stat -c %y "$mnt/file.txt")
"$plughost" "$so" set "$mnt/file.txt" Comment "$(printf 'h\303\251llo')" >/dev/null || fail "set Comment"
"$plughost" "$so" set "$mnt/file.txt" 1 '[ZoneTransfer]\nZoneId=3' >/dev/null || fail "set Zone.Identifier"
"$plughost" "$so" set "$mnt/folder" Comment "a folder" >/dev/null || fail "set a folder's Comment"
after=$(stat -c %y "$mnt/file.txt")
[ "$before" = "$after" ] || fail "KeepTime: last-write time went from $before to $after"
umount "$mnt"

# 2. In the image: named $DATA attributes holding exactly the bytes written.
ntfsinfo -F /file.txt "$image" 2>/dev/null | grep -q "Comment" || fail "no stream named Comment on /file.txt"
check() {  # check PATH STREAM EXPECTED-PRINTF-FORMAT
  got=$(ntfscat -a 0x80 -n "$2" "$image" "$1" 2>/dev/null | od -An -tx1 | tr -d ' \n')
  want=$(printf "$3" | od -An -tx1 | tr -d ' \n')
  [ "$got" = "$want" ] || fail "$1:$2 holds $got, expected $want"
  echo "ok: $1:$2 = $want"
}
check /file.txt Comment 'h\303\251llo'
check /file.txt Zone.Identifier '[ZoneTransfer]\r\nZoneId=3'
check /folder Comment 'a folder'
check /file.txt '' 'file data\n'

# 3. A stream created the Windows way (file:stream) read back through the library.
ntfs-3g -o streams_interface=windows "$image" "$mnt" || fail "ntfs-3g could not mount the image"
printf 'written natively' > "$mnt/file.txt:Native"
umount "$mnt"
ntfs-3g -o streams_interface=xattr "$image" "$mnt" || fail "ntfs-3g could not mount the image"
table=$("$plughost" "$so" get "$mnt/file.txt" --field Native)
echo "$table" | grep -q "written natively" || fail "the native stream did not read back: $table"
echo "ok: a stream created as file.txt:Native reads back through the library"

# 4. Clearing removes the named stream.
"$plughost" "$so" clear "$mnt/file.txt" Comment >/dev/null || fail "clear Comment"
umount "$mnt"
if ntfscat -a 0x80 -n Comment "$image" /file.txt >/dev/null 2>&1; then fail "Comment still present after clear"; fi
echo "ok: cleared field leaves no stream"

# 5. Volumes that refuse: read-only, and one that offers no user attributes at all. Writes are
#    file errors (plughost exits 1), nothing changes, reads are empty or still work.
ntfs-3g -o ro,streams_interface=xattr "$image" "$mnt" || fail "ntfs-3g could not mount the image read-only"
if "$plughost" "$so" set "$mnt/file.txt" Comment "x" >/dev/null 2>&1; then fail "a write to a read-only volume succeeded"; fi
"$plughost" "$so" get "$mnt/file.txt" --field 1 | grep -q "ZoneId=3" || fail "reading a read-only volume"
umount "$mnt"
ntfs-3g -o streams_interface=none "$image" "$mnt" || fail "ntfs-3g could not mount the image without streams"
if "$plughost" "$so" set "$mnt/file.txt" Comment "x" >/dev/null 2>&1; then fail "a write without user attributes succeeded"; fi
"$plughost" "$so" get "$mnt/file.txt" --field 1 | grep -q "ZoneId" && fail "a stream showed without user attributes"
umount "$mnt"
check /file.txt Zone.Identifier '[ZoneTransfer]\r\nZoneId=3'
echo "ok: read-only and attribute-less volumes refuse writes and lose nothing"
echo "ntfs-3g stream test passed"
