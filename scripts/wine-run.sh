#!/usr/bin/env bash
# Runs a Windows program of ours under Wine in the project's prefix (the CTest
# emulator of the Windows build). Exit status is the program's.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/env.sh"
export DISPLAY="${DISPLAY:-$OSTRANE_DISPLAY}"
# What runs from here may outlive the caller (a Wine server, an X server): it must not
# keep the caller's descriptors open, such as a lock file that serialises test runs.
for fd in /proc/$$/fd/*; do
  fd=${fd##*/}
  if [ "$fd" -gt 2 ] && [ "$fd" -lt 255 ]; then eval "exec $fd>&-" 2>/dev/null || true; fi
done
exec wine "$@"
