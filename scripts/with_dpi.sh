#!/usr/bin/env bash
# Runs a command while the Wine prefix's screen DPI is DPI, then puts the prefix's
# own value back (or removes it when there was none), also when the command fails
# or the script is interrupted. Exit status is the command's.
#   with_dpi.sh DPI COMMAND [ARG...]      96 = 100 %, 120 = 125 %, 144 = 150 %, 192 = 200 %
# Wine 8 reads HKCU\Control Panel\Desktop "LogPixels" when a program starts: programs
# already running keep their DPI, and every program the prefix starts meanwhile gets
# this one. (HKCU\Software\Wine\Fonts "LogPixels" changes nothing.)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/env.sh"

if [ $# -lt 2 ] || ! [[ "$1" =~ ^[0-9]+$ ]] || [ "$1" -lt 48 ] || [ "$1" -gt 480 ]; then
  echo "usage: $0 DPI COMMAND [ARG...]   (DPI from 48 to 480)" >&2
  exit 2
fi
dpi="$1"
shift
key='HKCU\Control Panel\Desktop'

# "    LogPixels    REG_DWORD    0x90" when the value exists.
saved=$(wine reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' | awk '$1 == "LogPixels" { print $2, $3 }') || true
restore() {
  local status=$?
  if [ -n "$saved" ]; then
    local type="${saved% *}" data="${saved#* }"
    [ "$type" = REG_DWORD ] && data=$((data))
    wine reg add "$key" /v LogPixels /t "$type" /d "$data" /f >/dev/null 2>&1
  else
    wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1
  fi || echo "with_dpi.sh: could not restore LogPixels in $WINEPREFIX" >&2
  exit "$status"
}
trap restore EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
"$@"
