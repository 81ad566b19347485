#!/bin/sh
# The builds on a real NTFS volume: a fresh image made with mkntfs and mounted through ntfs-3g.
#
#   ntfs3g_streams.sh linux PLUGHOST VELKARON_SO WORKDIR
#     ntfs-3g's default interface shows the named stream S as the attribute user.S: fields written
#     through Velkaron.so are found with ntfsinfo/ntfscat in the image after unmounting, a stream
#     created as "file:stream" reads back through the library, and read-only and attribute-less
#     mounts refuse writes and lose nothing. On a full volume, and for a value over the kernel's
#     limit, a failed write leaves the old value and the file's time; with room it is stored.
#     Installed on the volume, the library copies its sample beside it whole; on the full volume
#     the copy leaves nothing behind and the user's own folder takes it (the Windows builds the
#     same on a tmpfs).
#   ntfs3g_streams.sh windows BITS PLUGHOST_EXE DLL PLUGIN_TESTS_EXE WINEPREFIX WORKDIR
#     mounted with streams_interface=windows, "file:S" is the real named stream S, so the Windows
#     builds under Wine meet NTFS's own rules: writing a stream moves its file's last-write time, a
#     stream written for a missing file creates the file. Fields written through plughost with
#     KeepTime on keep the time of files and folders exactly; then the whole plug-in suite runs
#     with its scratch folders on the volume; after unmounting, the streams hold exactly the bytes
#     written and cleared ones are gone. Last, on that volume filled up and on a full tmpfs under
#     plain Wine: a failed write leaves the old value and the time, and creates no stream.
#
# Without /dev/fuse the test is skipped (exit 77) with the reason; under CI=true it fails instead.
set -eu
mode=$1
shift

fail() { echo "FAILED: $*" >&2; exit 1; }

if [ ! -c /dev/fuse ]; then
  [ "${CI:-}" = true ] && fail "/dev/fuse is missing: the NTFS volume tests cannot run on this machine"
  echo "SKIPPED: /dev/fuse is missing: the NTFS volume tests did not run" >&2
  exit 77
fi
for tool in mkntfs ntfs-3g ntfsinfo ntfscat; do
  command -v $tool >/dev/null 2>&1 || [ -x /usr/sbin/$tool ] || fail "$tool is not installed (package ntfs-3g)"
done
PATH=$PATH:/usr/sbin

# new_volume WORKDIR: a fresh 16 MB image ($image), its mount point ($mnt), a mount point for a
# small tmpfs ($work/tmpfs) and the plug-in folder ($work/plugin). Both are unmounted however the
# test ends (a signal too: it would skip the EXIT trap); lazily if a process still holds one.
new_volume() {
  work=$1
  for m in "$work/mnt" "$work/tmpfs"; do ! mountpoint -q "$m" || umount "$m" || umount -l "$m"; done
  rm -rf "$work"
  mkdir -p "$work/plugin" "$work/mnt" "$work/tmpfs"
  image=$work/volume.img mnt=$work/mnt
  trap 'for m in "$mnt" "$work/tmpfs"; do ! mountpoint -q "$m" || umount "$m" || umount -l "$m"; done' EXIT
  trap 'exit 1' HUP INT TERM
  truncate -s 16M "$image"
  mkntfs -q -F -f -L velkaron "$image" >/dev/null 2>&1 || fail "mkntfs could not make an NTFS image"
}
mount_volume() {  # mount_volume OPTIONS
  ntfs-3g -o "$1" "$image" "$mnt" || fail "ntfs-3g could not mount the image with $1"
}
write_configuration() {  # write_configuration FIELD...: all four options on, ListStreams and Origin
  { printf '[Options]\nKeepTime=1\nWriteUTF8=1\nReadUTF8=1\nSubstituteChars=1\nListStreams=1\nOrigin=1\n[Streams]\n'
    k=0; for f; do echo "$k=$f"; k=$((k + 1)); done; } > "$work/plugin/Velkaron.ini"
}
# check PATH STREAM EXPECTED-PRINTF-FORMAT: in the unmounted image, the stream holds exactly that.
check() {
  got=$(ntfscat -a 0x80 -n "$2" "$image" "$1" 2>/dev/null | od -An -tx1 | tr -d ' \n')
  want=$(printf "$3" | od -An -tx1 | tr -d ' \n')
  [ "$got" = "$want" ] || fail "$1:$2 holds $got, expected $want"
  echo "ok: $1:$2 = $want"
}
check_absent() {  # check_absent PATH STREAM
  if ntfscat -a 0x80 -n "$2" "$image" "$1" >/dev/null 2>&1; then fail "$1:$2 still present"; fi
  echo "ok: $1:$2 is gone"
}

# The value a full volume refuses: 20,000 bytes (a Windows command line holds at most 32,767
# characters), digits, so that a partial or misplaced copy shows.
big=$(printf '%2000s' '' | sed 's/ /0123456789/g')

# full_volume WHAT VOLUME MIB FILE NEW VALUE...: on the mounted VOLUME of MIB MiB, FILE's Comment
# stream is "the old value" and its last-write time a fixed past one (KeepTime is on); then the
# volume is filled. Each VALUE written to FILE must be a file error that leaves the stream's bytes
# and the time exactly as they were; a NEW file (unless '') with no Comment stream must still
# have none after such a write. With the room freed, the first VALUE is stored whole.
# The caller defines put PATH VALUE (plughost set PATH Comment VALUE, output in $work/out); the
# stream of PATH is the path PATH:Comment (plain Wine, or ntfs-3g with streams_interface=windows).
held() {  # held PATH: the size of PATH's Comment stream and its first bytes
  printf '%s bytes' "$(wc -c <"$1:Comment")"
  [ ! -s "$1:Comment" ] || printf ':%s' "$(head -c 40 "$1:Comment" | od -An -c | tr -s ' \n' ' ')"
}
full_volume() {
  what=$1 vol=$2 mib=$3 file=$4 new=$5
  shift 5
  start=$(date +%s)
  echo data > "$file"
  printf 'the old value' > "$file:Comment"
  cp "$file:Comment" "$work/old"
  touch -d '2001-09-09 01:46:40.1234567' "$file"
  before=$(stat -c %y "$file")
  [ -z "$new" ] || echo data > "$new"

  # Filled to the last byte by a bounded writer, and only once the volume is surely mounted: on
  # the bare folder the writer would fill the machine's disk.
  mountpoint -q "$vol" || fail "$vol is not mounted: not filling it"
  if dd if=/dev/zero of="$vol/filler" bs=64k count=$((mib * 16)) 2>"$work/dd.out"; then
    fail "$what: $mib MiB of filler did not fill the volume"
  fi
  grep -q 'No space left' "$work/dd.out" || fail "$what: filling the volume: $(cat "$work/dd.out")"

  for value; do
    for target in "$file" ${new:+"$new"}; do
      code=0; put "$target" "$value" || code=$?
      problems=
      [ $code = 1 ] && grep -q 'file error' "$work/out" || problems="; plughost exited $code: $(cat "$work/out")"
      if [ "$target" = "$new" ]; then
        [ ! -e "$new:Comment" ] || problems="$problems; it left a Comment stream of $(held "$new")"
      else
        cmp -s "$work/old" "$file:Comment" || problems="$problems; the stream holds $(held "$file")"
        after=$(stat -c %y "$file")
        [ "$before" = "$after" ] || problems="$problems; the last-write time went from $before to $after"
      fi
      [ -z "$problems" ] || fail "$what: writing ${#value} bytes to ${target##*/} on the full volume$problems"
    done
  done
  echo "ok: $what: full, writes of$(for v; do printf ' %s' ${#v}; done) bytes fail, lose nothing${new:+, create nothing}"

  rm "$vol/filler"
  put "$file" "$1" || fail "$what: with room again: $(cat "$work/out")"
  printf '%s' "$1" | cmp -s - "$file:Comment" ||
    fail "$what: with room again the stream holds $(wc -c <"$file:Comment") bytes, not the ${#1} written"
  echo "ok: $what: with room again all ${#1} bytes are stored ($(( $(date +%s) - start )) s)"
}

# A browser's mark, as the named stream Zone.Identifier; marked HOST... checks the fields
# Origin=1 gives for tool.zip on the volume (HOST... value FILE FIELD prints one value).
mark='[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/downloads/\r\nHostUrl=https://example.org/tool.zip\r\n'
marked() {
  for part in Zone:Internet HostUrl:https://example.org/tool.zip ReferrerUrl:https://example.org/downloads/; do
    got=$("$@" value "$mnt/tool.zip" "${part%%:*}" </dev/null)
    [ "$got" = "${part#*:}" ] || fail "the mark's ${part%%:*} reads as: $got"
  done
  echo "ok: a browser's mark written as tool.zip:Zone.Identifier reads as its zone and addresses"
}

# first_loads WHAT VOLUME LIBRARY USER_COPY HOST...: the library installed on the mounted VOLUME
# with a sample past what an MFT record holds. Its first load copies the sample beside it whole;
# on VOLUME filled up, a second install's copy fails whole, leaving neither Velkaron.ini nor a
# temporary file, and the load takes the user's own folder, USER_COPY, instead. HOST... LIB fields
# lists the fields of the library LIB.
first_loads() {
  what=$1 vol=$2 lib=$3 userCopy=$4
  shift 4
  { cat "$(cd "$(dirname "$0")/../.." && pwd)/config/Velkaron.sample.ini"
    printf '; %s\n' "$big" "$big" "$big" "$big"; } > "$work/sample.ini"
  for install in "$vol/install" "$vol/full-install"; do
    mkdir "$install"
    cp "$lib" "$install/"
    cp "$work/sample.ini" "$install/Velkaron.sample.ini"
  done
  fields() { "$@" fields </dev/null 2>&1 | cut -f2 | tr -d '\r' | tr '\n' ' '; }
  got=$(fields "$@" "$vol/install/${lib##*/}")
  [ "$got" = "Comment Zone>>>dot<<<Identifier " ] || fail "$what: the sample's fields: $got"
  cmp -s "$work/sample.ini" "$vol/install/Velkaron.ini" || fail "$what: the sample's copy is not whole"
  mountpoint -q "$vol" || fail "$vol is not mounted: not filling it"
  dd if=/dev/zero of="$vol/filler" bs=64k count=256 2>/dev/null || :
  mkdir -p "${userCopy%/*/*}"
  rm -rf "${userCopy%/*}"
  got=$(fields "$@" "$vol/full-install/${lib##*/}")
  [ "$got" = "Comment Zone>>>dot<<<Identifier " ] || fail "$what: the sample's fields on the full volume: $got"
  left=$(ls -A "$vol/full-install" | tr '\n' ' ')
  [ "$left" = "Velkaron.sample.ini ${lib##*/} " ] || fail "$what: a failed copy left: $left"
  cmp -s "$work/sample.ini" "$userCopy" || fail "$what: no copy in the user's folder"
  rm "$vol/filler"
  echo "ok: $what: installed on the volume, the sample is copied whole; on the full volume nothing is left behind"
}

linux() {
  plughost=$1 library=$2
  new_volume "$3"
  export XDG_CONFIG_HOME="$work/user"  # the user's own folder: nothing a user or a run left there
  cp "$library" "$work/plugin/"
  write_configuration Comment 'Zone>>>dot<<<Identifier' Native 'Kind:$DATA'
  so=$work/plugin/$(basename "$library")

  # 1. Fields written through the library on the mounted volume.
  mount_volume streams_interface=xattr
  echo "file data" > "$mnt/file.txt"
  mkdir "$mnt/folder"
  touch -d '2001-09-09 01:46:41.1234567' "$mnt/file.txt"
  before=$(stat -c %y "$mnt/file.txt")
  "$plughost" "$so" set "$mnt/file.txt" Comment "$(printf 'h\303\251llo')" >/dev/null || fail "set Comment"
  "$plughost" "$so" set "$mnt/file.txt" 1 '[ZoneTransfer]\nZoneId=3' >/dev/null || fail "set Zone.Identifier"
  "$plughost" "$so" set "$mnt/folder" Comment "a folder" >/dev/null || fail "set a folder's Comment"
  "$plughost" "$so" set "$mnt/file.txt" 'Kind:$DATA' "typed" >/dev/null || fail "set Kind:\$DATA"
  after=$(stat -c %y "$mnt/file.txt")
  [ "$before" = "$after" ] || fail "KeepTime: last-write time went from $before to $after"
  umount "$mnt"

  # 2. In the image: named $DATA attributes holding exactly the bytes written.
  ntfsinfo -F /file.txt "$image" 2>/dev/null | grep -q "Comment" || fail "no stream named Comment on /file.txt"
  check /file.txt Comment 'h\303\251llo'
  check /file.txt Zone.Identifier '[ZoneTransfer]\r\nZoneId=3'
  check /folder Comment 'a folder'
  check /file.txt Kind 'typed'  # the field Kind:$DATA is the stream Kind
  check /file.txt '' 'file data\n'

  # 3. A stream created the Windows way (file:stream) read back through the library. The field
  #    Streams lists them all: one over 64 KiB, which FUSE measures as 64 KiB, as a lower bound;
  #    one of exactly 64 KiB exactly; a name with the list's own marks in quotes.
  mount_volume streams_interface=windows
  printf 'written natively' > "$mnt/file.txt:Native"
  head -c 100000 /dev/zero > "$mnt/file.txt:big"
  head -c 65536 /dev/zero > "$mnt/file.txt:exact"
  printf 'xy' > "$mnt/file.txt:a (1), b"
  echo data > "$mnt/tool.zip"
  printf "$mark" > "$mnt/tool.zip:Zone.Identifier"
  umount "$mnt"
  mount_volume streams_interface=xattr
  marked "$plughost" "$so"
  table=$("$plughost" "$so" get "$mnt/file.txt" --field Native)
  echo "$table" | grep -q "written natively" || fail "the native stream did not read back: $table"
  echo "ok: a stream created as file.txt:Native reads back through the library"
  list=$("$plughost" "$so" value "$mnt/file.txt" Streams)
  want='Comment (6), Kind (5), Native (16), Zone.Identifier (24), "a (1), b" (2), big (65536+), exact (65536)'
  [ "$list" = "$want" ] || fail "file.txt's streams listed as: $list"
  echo "ok: the field Streams lists them all: $list"

  # 4. Clearing removes the named stream.
  "$plughost" "$so" clear "$mnt/file.txt" Comment >/dev/null || fail "clear Comment"
  umount "$mnt"
  check_absent /file.txt Comment

  # 5. Volumes that refuse: read-only, and one that offers no user attributes at all. Writes are
  #    file errors (plughost exits 1), nothing changes, reads are empty or still work.
  mount_volume ro,streams_interface=xattr
  if "$plughost" "$so" set "$mnt/file.txt" Comment "x" >/dev/null 2>&1; then fail "a write to a read-only volume succeeded"; fi
  "$plughost" "$so" get "$mnt/file.txt" --field 1 | grep -q "ZoneId=3" || fail "reading a read-only volume"
  umount "$mnt"
  mount_volume streams_interface=none
  if "$plughost" "$so" set "$mnt/file.txt" Comment "x" >/dev/null 2>&1; then fail "a write without user attributes succeeded"; fi
  "$plughost" "$so" get "$mnt/file.txt" --field 1 | grep -q "ZoneId" && fail "a stream showed without user attributes"
  umount "$mnt"
  check /file.txt Zone.Identifier '[ZoneTransfer]\r\nZoneId=3'
  echo "ok: read-only and attribute-less volumes refuse writes and lose nothing"

  # 6. A full volume: ntfs-3g empties an attribute whose new value finds no room (and leaves an
  #    empty one where there was none), and a value over
  #    the kernel's 64 KiB fails with E2BIG. The volume stays mounted the Windows way, so that the
  #    stream is a path to compare; only the writes go through the attribute interface.
  put() {
    umount "$mnt"
    mount_volume streams_interface=xattr
    status=0; "$plughost" "$so" set "$1" Comment "$2" >"$work/out" 2>&1 || status=$?
    umount "$mnt"
    mount_volume streams_interface=windows
    return $status
  }
  mount_volume streams_interface=windows
  full_volume "ntfs-3g attribute" "$mnt" 16 "$mnt/full.txt" "$mnt/new.txt" "$big" "$big$big$big$big"
  umount "$mnt"

  # 7. The plug-in installed on the volume: a FUSE volume publishes the sample's copy by link,
  #    having no rename that refuses to replace.
  mount_volume streams_interface=xattr
  first_loads "ntfs-3g" "$mnt" "$library" "$XDG_CONFIG_HOME/velkaron/Velkaron.ini" "$plughost"
  umount "$mnt"
}

windows() {
  bits=$1 plughost=$2 library=$3 suite=$4 prefix=$5
  new_volume "$6"
  top=$(cd "$(dirname "$0")/../.." && pwd)
  . "$top/cmake/wine-env.sh"
  wine_env "$top" "$bits" "$prefix"
  [ "$WINE_ROUTE" = none ] && wine_unavailable "the NTFS run of the Windows build"
  wine_user_folder "$work/user" || fail "could not point APPDATA at $work/user"
  cp "$library" "$work/plugin/"
  write_configuration Comment 'Zone>>>dot<<<Identifier'
  dll=$work/plugin/$(basename "$library")
  # Wine programs write to files: a pipe may be held open by Wine's own processes.
  run() {
    "$WINE" "$plughost" "$dll" "$@" </dev/null >"$work/out" 2>&1 || fail "plughost $*: $(cat "$work/out")"
  }

  mount_volume streams_interface=windows
  echo "file data" > "$mnt/file.txt"
  mkdir "$mnt/folder"

  # 1. KeepTime on a file and a folder: NTFS moves the last-write time with every stream write;
  #    the plug-in puts it back to the 100 ns, past and future dates alike.
  for target in file.txt folder; do
    for time in '2001-09-09 01:46:40.1234567' '1975-03-24 08:15:01.0000001' '2150-12-31 23:59:59.9999999'; do
      touch -d "$time" "$mnt/$target"
      before=$(stat -c %y "$mnt/$target")
      run set "$mnt/$target" 1 "changed at $time"
      run clear "$mnt/$target" 1
      after=$(stat -c %y "$mnt/$target")
      [ "$before" = "$after" ] || fail "KeepTime: $target's last-write time went from $before to $after"
    done
    echo "ok: KeepTime keeps $target's last-write time exactly"
  done

  # 2. Values that stay, for the check in the image; a stream written for a missing file creates
  #    the file, empty, with its stream.
  run set "$mnt/file.txt" Comment "$(printf 'h\303\251llo')"
  run set "$mnt/file.txt" 1 '[ZoneTransfer]\nZoneId=3'
  run set "$mnt/folder" Comment "a folder"
  run set "$mnt/missing.txt" Comment "made with its file"
  [ -f "$mnt/missing.txt" ] && [ ! -s "$mnt/missing.txt" ] || fail "missing.txt was not created empty"
  run get "$mnt/file.txt"
  grep -q "ZoneId=3" "$work/out" || fail "the fields did not read back: $(cat "$work/out")"
  echo data > "$mnt/tool.zip"
  printf "$mark" > "$mnt/tool.zip:Zone.Identifier"
  marked "$WINE" "$plughost" "$dll"

  # 3. The plug-in suite with its scratch folders on the volume. (Wine checks share modes per
  #    inode and ntfs-3g gives every stream its file's inode, so two streams of one file, each
  #    open without sharing, would collide here, not on Windows; no test holds two at once.)
  mkdir "$mnt/scratch"
  if ! VELKARON_TEST_TMPDIR="$mnt/scratch" "$WINE" "$suite" --gtest_brief=1 </dev/null >"$work/suite.out" 2>&1; then
    cat "$work/suite.out"
    fail "the plug-in suite on the NTFS volume"
  fi
  grep -E '^\[  (PASSED|SKIPPED) ' "$work/suite.out" || true
  umount "$mnt"

  # 4. In the image.
  check /file.txt Comment 'h\303\251llo'
  check /file.txt Zone.Identifier '[ZoneTransfer]\r\nZoneId=3'
  check /file.txt '' 'file data\n'
  check /folder Comment 'a folder'
  check /missing.txt Comment 'made with its file'
  check /missing.txt '' ''
  check_absent /folder Zone.Identifier

  # The streams the Windows build wrote, listed by the Linux build after a remount in ntfs-3g's
  # default mode (when the Linux build is there: make test builds it first).
  linux_build=$top/build/linux
  if [ -x "$linux_build/plughost" ] && [ -f "$linux_build/Velkaron.so" ]; then
    mkdir "$work/linux" && cp "$linux_build/Velkaron.so" "$work/linux/"
    printf '[Options]\nListStreams=1\n[Streams]\n0=Comment\n' > "$work/linux/Velkaron.ini"
    mount_volume streams_interface=xattr
    for listed in "file.txt:Comment (6), Zone.Identifier (24)" "folder:Comment (8)"; do
      got=$(XDG_CONFIG_HOME="$work/user" "$linux_build/plughost" "$work/linux/Velkaron.so" value "$mnt/${listed%%:*}" Streams)
      [ "$got" = "${listed#*:}" ] || fail "the Linux build lists ${listed%%:*}'s streams as: $got"
    done
    umount "$mnt"
    echo "ok: the Linux build lists the streams the Windows build wrote"
  elif [ "${CI:-}" = true ]; then
    fail "no Linux build in $linux_build to list the streams the Windows build wrote"
  else
    echo "SKIPPED: no Linux build in $linux_build: the streams the Windows build wrote were not listed by it"
  fi

  # 5. Full volumes: NTFS itself, and plain Wine on a small tmpfs, where the stream is a Unix file
  #    of its own and a write that runs out of room reports success with fewer bytes.
  put() { "$WINE" "$plughost" "$dll" set "$1" Comment "$2" </dev/null >"$work/out" 2>&1; }
  mount_volume streams_interface=windows
  full_volume "ntfs-3g stream" "$mnt" 16 "$mnt/full.txt" "$mnt/new.txt" "$big"
  umount "$mnt"
  mount -t tmpfs -o size=1m velkaron "$work/tmpfs" || fail "could not mount a tmpfs"
  full_volume "Wine on tmpfs" "$work/tmpfs" 1 "$work/tmpfs/full.txt" "$work/tmpfs/new.txt" "$big"

  # 6. A stream of 4 GiB and 5 bytes (sparse: plain Wine keeps it as a file of its own), 6,000
  #    bytes of x and then zeros: read as far as the host's buffer goes, replaced exactly, and on
  #    the full volume kept whole, length and bytes.
  huge=$work/tmpfs/huge.txt size=4294967301
  make_huge() {
    echo data > "$huge"
    head -c 6000 /dev/zero | tr '\0' x > "$huge:Comment" && truncate -s $size "$huge:Comment"
  }
  whole() {  # whole WHAT: the stream is still the one make_huge made
    [ "$(stat -c %s "$huge:Comment")" = $size ] || fail "$1: the stream holds $(stat -c %s "$huge:Comment") bytes"
    head -c 6000 "$huge:Comment" | tr -d x | cmp -s - /dev/null &&
      cmp -s -n $((size - 6000)) -i 6000:0 "$huge:Comment" /dev/zero || fail "$1: the stream's bytes changed"
  }
  make_huge
  "$WINE" "$plughost" "$dll" value "$huge" Comment </dev/null >"$work/out" 2>&1
  [ "$(tr -d x <"$work/out" | wc -c)/$(wc -c <"$work/out")" = 0/6000 ] ||
    fail "a 4 GiB stream read as $(wc -c <"$work/out") bytes, not its 6,000 x before the zeros"
  mountpoint -q "$work/tmpfs" || fail "$work/tmpfs is not mounted: not filling it"
  dd if=/dev/zero of="$work/tmpfs/filler" bs=64k count=16 2>/dev/null || :
  code=0; put "$huge" "$big" || code=$?
  [ $code = 1 ] || fail "a write to the 4 GiB stream on the full volume: plughost exited $code: $(cat "$work/out")"
  whole "a failed write to a 4 GiB stream"
  rm "$work/tmpfs/filler"
  put "$huge" "hello" || fail "replacing a 4 GiB stream: $(cat "$work/out")"
  [ "$(cat "$huge:Comment")" = hello ] || fail "a 4 GiB stream replaced by hello holds $(stat -c %s "$huge:Comment") bytes"
  echo "ok: a 4 GiB stream is read to the host's buffer, kept whole by a failed write, replaced exactly"
  umount "$work/tmpfs"

  # 7. The plug-in installed on a tmpfs of room for two: the copy is renamed into place.
  mount -t tmpfs -o size=8m velkaron "$work/tmpfs" || fail "could not mount a tmpfs"
  first_loads "Wine on tmpfs" "$work/tmpfs" "$library" "$work/user/Velkaron/Velkaron.ini" "$WINE" "$plughost"
  umount "$work/tmpfs"
}

case $mode in
  linux | windows) "$mode" "$@" ;;
  *) fail "usage: $0 linux|windows ..." ;;
esac
echo "ntfs-3g $mode test passed"
