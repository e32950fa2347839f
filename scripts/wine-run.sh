#!/usr/bin/env bash
# Runs a Windows program of ours under Wine in the project's prefix (the CTest
# emulator of the Windows build). Exit status is the program's.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/env.sh"
export DISPLAY="${DISPLAY:-$OSTRANE_DISPLAY}"
exec wine "$@"
