#!/bin/sh
# readonly_mount.sh start|stop DIR: DIR/w, a folder the tests write, and DIR/r, the same folder
# through a read-only bind mount, where every write is refused, root's too: a library installed
# where its users cannot write. The plug-in suites find it through VELKARON_TEST_READONLY=DIR.
# Mounting needs root; without it the cases that need the mount are skipped (they say so), and
# under CI=true this fails instead.
set -u
dir=$2
unmount() { ! mountpoint -q "$dir/r" || umount "$dir/r" || umount -l "$dir/r"; }
case $1 in
  start)
    unmount
    rm -rf "$dir" && mkdir -p "$dir/w" "$dir/r" || exit 1
    if mount --bind "$dir/w" "$dir/r" 2>"$dir/mount.err" &&
       mount -o remount,bind,ro "$dir/r" 2>>"$dir/mount.err"; then
      echo "read-only mount of $dir/w at $dir/r"
      exit 0
    fi
    unmount
    echo "a read-only bind mount could not be made: $(cat "$dir/mount.err")" >&2
    [ "${CI:-}" = true ] && exit 1
    echo "SKIPPED: the cases of a library installed on a read-only volume will not run" >&2
    exit 0 ;;
  stop)
    unmount
    rm -rf "$dir" ;;
esac
