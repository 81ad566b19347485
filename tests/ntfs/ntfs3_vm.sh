#!/bin/sh
# The Linux build on a volume of the kernel's own NTFS driver, ntfs3, in a virtual machine:
#   ntfs3_vm.sh PLUGHOST VELKARON_SO WORKDIR
# An NTFS image made with mkntfs gets two streams through ntfs-3g. qemu (software emulation, no
# network, no other disk) boots Debian's 6.12 kernel with a busybox initramfs holding the ntfs3
# module, the plug-in, plughost and their libraries, and mounts the image with ntfs3. There, in
# ntfs-3g's store, Windows' streams are not seen, a change fails with a non-zero status and one
# line naming the mount point, the driver and ntfs-3g, and Streams is empty; Samba's store stores,
# reads, lists and clears as it does elsewhere. Back on this side, through ntfs-3g, the image
# holds exactly the streams it had and no extended attribute ($EA) of the plug-in's.
# The kernel package (linux-image-6.12.*+deb12-amd64-unsigned, about 107 MB) is fetched once with
# apt-get download into WORKDIR/kernel and kept there. Where it cannot be had, or the machine lacks
# root or /dev/fuse, the test says why and is skipped (exit 77); under CI=true it fails. The VM is
# stopped by its pid when it outlives VELKARON_VM_SECONDS (240).
set -eu
plughost=$1 library=$2 work=$3
limit=${VELKARON_VM_SECONDS:-240}
PATH=$PATH:/usr/sbin:/sbin

fail() { echo "FAILED: $*" >&2; exit 1; }
cannot() {  # cannot REASON
  [ "${CI:-}" = true ] && fail "$1: the ntfs3 test cannot run"
  echo "SKIPPED: $1: the ntfs3 test did not run" >&2
  exit 77
}
[ "$(id -u)" = 0 ] || cannot "ntfs-3g mounts the image as root here, and this is not root"
[ -c /dev/fuse ] || cannot "/dev/fuse is missing"
for tool in qemu-system-x86_64 mkntfs ntfs-3g cpio modprobe depmod xz dpkg-deb python3; do
  command -v $tool >/dev/null 2>&1 || fail "$tool is not installed (make deps)"
done
busybox=/bin/busybox
ldd $busybox >/dev/null 2>&1 && fail "$busybox is not the static one (package busybox-static)"

kernel=$work/kernel tree=$work/initramfs image=$work/volume.img mnt=$work/mnt
qemu_pid=
finish() {
  [ -z "$qemu_pid" ] || kill -KILL "$qemu_pid" 2>/dev/null || true
  ! mountpoint -q "$mnt" || umount "$mnt" || umount -l "$mnt"
}
trap finish EXIT
trap 'exit 1' HUP INT TERM
! mountpoint -q "$mnt" 2>/dev/null || umount "$mnt"
rm -rf "$tree" "$image" "$mnt" "$work/console.log"
mkdir -p "$kernel" "$tree" "$mnt"

# --- The kernel: the newest 6.12 package apt knows, unless one was fetched before -------------
deb=$(ls "$kernel"/linux-image-6.12.*+deb12-amd64-unsigned_*_amd64.deb 2>/dev/null | sort -V | tail -n 1)
if [ -z "$deb" ]; then
  name=$(apt-cache search --names-only '^linux-image-6\.12\.[0-9]+\+deb12-amd64-unsigned$' 2>/dev/null |
         cut -d' ' -f1 | sort -V | tail -n 1)
  [ -n "$name" ] || cannot "apt offers no linux-image-6.12.*+deb12-amd64-unsigned (bookworm-security or bookworm-backports missing from its sources?)"
  echo "fetching $name (about 107 MB) into $kernel"
  (cd "$kernel" && apt-get download "$name" > download.log 2>&1) ||
    cannot "apt-get download $name failed: $(tail -n 1 "$kernel/download.log")"
  deb=$(ls "$kernel"/linux-image-6.12.*+deb12-amd64-unsigned_*_amd64.deb | sort -V | tail -n 1)
fi
root=$kernel/root
if [ ! -f "$root/unpacked-from" ] || [ "$(cat "$root/unpacked-from")" != "$deb" ]; then
  rm -rf "$root"
  dpkg-deb -x "$deb" "$root" || fail "$deb cannot be unpacked"
  echo "$deb" > "$root/unpacked-from"
fi
kver=$(ls "$root/lib/modules" | head -n 1)
vmlinuz=$root/boot/vmlinuz-$kver
[ -f "$vmlinuz" ] || fail "$deb holds no boot/vmlinuz-$kver"
# The package ships no modules.dep; busybox's insmod takes no .xz.
[ -f "$root/lib/modules/$kver/modules.dep" ] || depmod -b "$root" "$kver"

# --- The initramfs --------------------------------------------------------------------------
mkdir -p "$tree/bin" "$tree/modules" "$tree/plugin" "$tree/plugin-samba" "$tree/proc" "$tree/sys" \
  "$tree/dev" "$tree/mnt" "$tree/tmp"
cp $busybox "$tree/bin/busybox"
n=10
for module in virtio_blk nls_utf8 ntfs3; do
  # In the order they load: what a module needs before it.
  for ko in $(modprobe -d "$root" -S "$kver" --show-depends $module | sed -n 's/^insmod \([^ ]*\).*/\1/p'); do
    base=$(basename "$ko" .ko.xz)
    ls "$tree/modules" | grep -q -- "-$base.ko\$" && continue
    xz -dc "$ko" > "$tree/modules/$n-$base.ko"
    n=$((n + 1))
  done
done
[ -n "$(ls "$tree/modules" | grep -- '-ntfs3.ko$')" ] || fail "$deb has no ntfs3 module"
cp "$plughost" "$tree/bin/plughost"
cp "$library" "$tree/plugin/Velkaron.so"
cp "$library" "$tree/plugin-samba/Velkaron.so"
printf '[Options]\nKeepTime=1\nSubstituteChars=1\nListStreams=1\n[Streams]\n0=Comment\n1=Zone>>>dot<<<Identifier\n' \
  > "$tree/plugin/Velkaron.ini"
printf '[Options]\nListStreams=1\n[Streams]\n0=Comment\n[Linux]\nStreamStore=samba\n' > "$tree/plugin-samba/Velkaron.ini"
for lib in $(ldd "$plughost" "$library" | sed -n 's/.*=> \(\/[^ ]*\).*/\1/p; s/^[[:space:]]*\(\/[^ ]*\) .*/\1/p' | sort -u); do
  mkdir -p "$tree$(dirname "$lib")"
  cp -L "$lib" "$tree$lib"
done

cat > "$tree/init" <<'EOF'
#!/bin/busybox sh
echo  # the firmware's last line may lack its end
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in /modules/*.ko; do insmod "$m" || echo "FAILED: insmod $m"; done
i=0
while [ ! -b /dev/vda ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
if mount -t ntfs3 /dev/vda /mnt; then
  sh /rules.sh
  umount /mnt || echo "FAILED: umount /mnt"
else
  echo "FAILED: mount -t ntfs3 /dev/vda /mnt"
fi
echo "vm-done"
poweroff -f
EOF
chmod +x "$tree/init"

# The rules, run in the VM. Each line the host reads is "ok: ..." or "FAILED: ...".
cat > "$tree/rules.sh" <<'EOF'
ph=/bin/plughost own=/plugin/Velkaron.so samba=/plugin-samba/Velkaron.so
expect() {  # expect WHAT WANTED GOT
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAILED: $1: '$3', expected '$2'"; fi
}
note="Velkaron: /mnt is mounted with the kernel's ntfs3 driver, through which the streams Windows sees cannot be reached"
# change LIBRARY FIELD VALUE...: a refused change: status 1, and the one line on standard error.
refused() {
  what="$*"
  $ph "$@" > /tmp/out 2> /tmp/err
  expect "$what: status" 1 $?
  expect "$what: one line from the plug-in" 1 "$(grep -c '^Velkaron: ' /tmp/err)"
  line=$(grep '^Velkaron: ' /tmp/err)
  case "$line" in
    "$note"*"mount it with ntfs-3g"*) echo "ok: $what: $line" ;;
    *) echo "FAILED: $what: the line is '$line'" ;;
  esac
}
expect "statfs f_type" 7366746e "$(stat -f -c %t /mnt/a.txt)"
# ntfs-3g's store: Windows' streams are out of reach, and nothing is written.
expect "Comment of a.txt" "" "$($ph $own value /mnt/a.txt Comment)"
expect "Streams of a.txt" "" "$($ph $own value /mnt/a.txt Streams)"
refused $own set /mnt/a.txt Comment via-plugin
refused $own set /mnt/a.txt 1 via-plugin
refused $own clear /mnt/a.txt Comment
refused $own set /mnt/new.txt Comment via-plugin
expect "Comment of a.txt afterwards" "" "$($ph $own value /mnt/a.txt Comment)"
expect "Streams of a.txt afterwards" "" "$($ph $own value /mnt/a.txt Streams)"
# Samba's store keeps its streams in these very attributes: unchanged here.
$ph $samba set /mnt/b.txt Comment via-samba > /tmp/out 2> /tmp/err
expect "Samba's store: set" "0:" "$?:$(cat /tmp/err)"
expect "Samba's store: value" via-samba "$($ph $samba value /mnt/b.txt Comment)"
expect "Samba's store: Streams" "Comment (9)" "$($ph $samba value /mnt/b.txt Streams)"
$ph $samba clear /mnt/b.txt Comment > /tmp/out 2> /tmp/err
expect "Samba's store: clear" "0:" "$?:$(cat /tmp/err)"
expect "Samba's store: cleared" "" "$($ph $samba value /mnt/b.txt Comment)"
EOF

(cd "$tree" && find . | cpio -o -H newc --quiet) > "$work/initramfs.cpio"

# --- The image, its streams written through ntfs-3g -------------------------------------------
zone=$(printf '[ZoneTransfer]\r\nZoneId=3\r\n')
truncate -s 16M "$image"
mkntfs -q -F -f -L velkaron "$image" >/dev/null 2>&1 || fail "mkntfs could not make an NTFS image"
ntfs-3g "$image" "$mnt" || fail "ntfs-3g could not mount the image"
echo a > "$mnt/a.txt"
echo b > "$mnt/b.txt"
: > "$mnt/new.txt"
python3 - "$mnt/a.txt" "$zone" <<'EOF'
import os, sys
os.setxattr(sys.argv[1], "user.Comment", b"hello")
os.setxattr(sys.argv[1], "user.Zone.Identifier", sys.argv[2].encode())
EOF
umount "$mnt"

# --- The VM -----------------------------------------------------------------------------------
started=$(date +%s)
qemu-system-x86_64 -accel tcg -smp 1 -m 512 -nodefaults -nographic -no-reboot -nic none \
  -serial "file:$work/console.log" -monitor none \
  -kernel "$vmlinuz" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0 panic=-1 quiet loglevel=3" \
  -drive "file=$image,format=raw,if=virtio" > "$work/qemu.log" 2>&1 &
qemu_pid=$!
while kill -0 "$qemu_pid" 2>/dev/null; do
  [ $(($(date +%s) - started)) -lt "$limit" ] || {
    kill -KILL "$qemu_pid"
    fail "the VM was still running after $limit s (console: $work/console.log)"
  }
  sleep 0.5
done
wait "$qemu_pid" || fail "qemu failed: $(tail -n 3 "$work/qemu.log")"
qemu_pid=
echo "the VM ran $(($(date +%s) - started)) s (boot to power-off, $kver)"
# The console begins with the firmware's terminal resets, and its last line may lack its end.
tr -d '\r' < "$work/console.log" | sed 's/\x1b[^a-zA-Z]*[a-zA-Z]//g; s/\x1bc//g' > "$work/console.txt"
grep -E '^(ok|FAILED): ' "$work/console.txt" || true
grep -q '^vm-done' "$work/console.txt" || fail "the VM did not finish its rules (console: $work/console.txt)"

# --- Back through ntfs-3g: exactly the old streams, no $EA ------------------------------------
ntfs-3g -o ro "$image" "$mnt" || fail "ntfs-3g could not mount the image after the VM"
if python3 - "$mnt" "$zone" <<'EOF'
import os, sys
mnt, zone = sys.argv[1], sys.argv[2].encode()
wanted = {"a.txt": {"user.Comment": b"hello", "user.Zone.Identifier": zone}, "b.txt": {}, "new.txt": {}}
bad = 0
for name, streams in wanted.items():
    path = os.path.join(mnt, name)
    got = {a: os.getxattr(path, a) for a in os.listxattr(path) if a.startswith("user.")}
    try:
        ea = os.getxattr(path, "system.ntfs_ea")
    except OSError:
        ea = None
    ok = got == streams and not ea
    bad += not ok
    print(("ok: " if ok else "FAILED: ") + f"{name} holds the streams {sorted(got)}" +
          ("" if ok else f", expected {sorted(streams)}") + (f", an $EA of {len(ea)} bytes" if ea else ", no $EA"))
sys.exit(1 if bad else 0)
EOF
then image=whole; else image=changed; fi
! grep -q '^FAILED: ' "$work/console.txt" || fail "a rule failed in the VM"
[ $image = whole ] || fail "the image, read through ntfs-3g, is not as it was"
