#!/bin/sh
# Runs a Windows test program under Wine: wine-run.sh LOADER PREFIX PROGRAM [ARGS...]
# The prefix's wineserver is started by the test fixture. When this machine cannot execute the
# loader at all (a 32-bit loader on a kernel without 32-bit support), the test is reported as
# skipped (exit 77) with the reason, instead of failing or passing silently.
loader=$1 prefix=$2
shift 2
if ! "$loader" --version >/dev/null 2>&1; then
  echo "SKIPPED: $loader cannot run on this machine (the kernel refuses $(file -b "$loader" | cut -d, -f1-2) programs); these Windows tests did not run." >&2
  exit 77
fi
exec env -u DISPLAY WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEPREFIX="$prefix" "$loader" "$@"
