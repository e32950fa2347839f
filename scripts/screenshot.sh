#!/usr/bin/env bash
# Saves a screenshot of the running wizard (cropped to its window) as FILE.png.
#   screenshot.sh FILE.png [--screen]   --screen: the whole screen (message boxes sit outside the wizard)
# Needs the session's display (scripts/session.sh start) and build/windows/uidriver.exe.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/env.sh"
out="$1"
display="${DISPLAY:-$(cat "$OSTRANE_STATE/session/display" 2>/dev/null || echo "$OSTRANE_DISPLAY")}"
if [ "${2:-}" = "--screen" ]; then
  import -display "$display" -window root "$out"
else
  rect=$(DISPLAY="$display" wine "$here/build/windows/uidriver.exe" rect | tr -d '\r')
  import -display "$display" -window root -crop "$rect" +repage "$out"
fi
echo "saved $out"
