#!/bin/sh
# without-i386.sh COMMAND [ARGS...]: runs COMMAND as on a kernel that refuses i386 programs, to
# try the emulated 32-bit Wine route on a machine whose kernel runs them. In a private mount
# namespace (needs root), every i386 ELF program in the system's program folders is covered by a
# copy whose machine field the kernel rejects, so exec gives "Exec format error" as it does there.
# The i386 libraries and /lib/ld-linux.so.2 stay: qemu-i386 reads them.
set -e
if [ "$1" != --inside ]; then exec unshare -m --propagation private "$0" --inside "$@"; fi
shift
stash=$(mktemp -d)
find /usr/bin /usr/sbin /usr/lib/wine /usr/libexec -type f -perm -u+x 2>/dev/null | while read -r f; do
  [ "$(od -An -tx1 -N4 "$f" | tr -d ' ')" = 7f454c46 ] || continue
  [ "$(od -An -tx1 -j18 -N2 "$f" | tr -d ' ')" = 0300 ] || continue  # e_machine EM_386
  copy=$stash/$(echo "$f" | tr / _)
  cp "$f" "$copy"
  printf '\000\000' | dd of="$copy" bs=1 seek=18 conv=notrunc 2>/dev/null
  mount --bind "$copy" "$f"
done
exec "$@"
