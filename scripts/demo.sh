#!/usr/bin/env bash
# The main job: set up, build the installer, start the local servers with the demo
# campaign, run the wizard under Wine and save a screenshot of each page in
# build/demo/. Shows the wizard on $DISPLAY when there is one, else headless under Xvfb.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
bash scripts/setup.sh
source scripts/env.sh
mkdir -p build
cmake --preset windows >build/windows.log 2>&1
cmake --build --preset windows --target QuillaraWebSetup QuillaraWebSetup_Plain uidriver \
  QuillaraWebInstaller offer_installer offer_bundle >>build/windows.log 2>&1 ||
  { tail -n 40 build/windows.log; exit 1; }

bash scripts/session.sh start --display
server_state="$OSTRANE_STATE/server"
files="$OSTRANE_STATE/docroot/f"
demo_files=()
demo_log="$OSTRANE_STATE/demo-run.log"
product="$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')\\Quillara Web"
cleanup() {
  rm -f "$server_state/campaign.json" "${demo_files[@]}" "$demo_log"
  bash scripts/serve_demo_installers.sh --remove
  wine cmd /c rmdir /s /q "$product" >/dev/null 2>&1 || true
  bash scripts/session.sh stop
}
trap cleanup EXIT
export DISPLAY="$(cat "$OSTRANE_STATE/session/display")"
shots="$here/build/demo"
rm -rf "$shots" && mkdir -p "$shots"

# The demo campaign, its offer pictures and the demo installers, served by the local
# test server. The installers write what ran into the demo log.
cp tools/demo/campaign.json "$server_state/campaign.json"
bash scripts/serve_demo_installers.sh
rm -f "$demo_log"
export OSTRANE_DEMO_LOG="Z:${demo_log//\//\\}"
for picture in tools/demo/f/*; do
  cp "$picture" "$files/" && demo_files+=("$files/$(basename "$picture")")
done
server_rules() { curl -sk -X PUT "https://localhost/_ctl/rules" --data "$1" >/dev/null; }
# Where this run's requests start in the server's record. The server may still be
# starting: ask until it answers, or the lists at the end would be read from nowhere.
records_start=""
for _ in $(seq 50); do
  records_start=$(curl -sfk https://localhost/_ctl/requests 2>/dev/null |
    python3 -c 'import json,sys; print(len(json.load(sys.stdin)))' 2>/dev/null) && [ -n "$records_start" ] && break
  sleep 0.2
done
[ -n "$records_start" ] || { echo "demo: the test server does not answer on https://localhost" >&2; exit 1; }

uidriver() { wine build/windows/uidriver.exe "$@"; }
shot() { sleep 0.7; bash scripts/screenshot.sh "$shots/$1.png"; }
shot_screen() { sleep 0.7; bash scripts/screenshot.sh "$shots/$1.png" --screen; }
run_wizard() {
  local program="${1:-QuillaraWebSetup}"
  shift || true
  wine "build/windows/$program.exe" "$@" & installer=$!
  uidriver wait 30 >/dev/null
}

# English: the language page; the campaign takes a moment, so the loading page shows,
# and the product's download too, so the download page does.
server_rules '{"/o": {"delay_ms": 2500}, "/endpoint/qlweb/os/riserollout/track/beta": {"rate": 150000}}'
# Its setup log goes beside the screenshots.
setup_log="$shots/setup.log"
run_wizard QuillaraWebSetup "/log=Z:${setup_log//\//\\}"
uidriver wait-page LanguagePageQL
shot 01-language-en
uidriver click 1010
uidriver wait-page LoadingPage
shot 02-loading
uidriver wait-page LicensePage
shot 03-license
uidriver click 1050
# Four offers passed the rules (one more was turned down for its vertical).
uidriver wait-page ProductPage
shot 04-offer-nimbus-notes
uidriver click 1021
shot 05-offer-tidewater-vpn
uidriver click 1021
shot 06-offer-copperleaf-photo
uidriver click 1022
shot 07-offer-brightline-weather
uidriver click 1021
uidriver wait-page DownloadPageISV
shot 08-download
uidriver wait-page FinishPageISV 120
shot 09-finish
uidriver click 1028  # Finish: the installed product starts
wait "$installer" || true
server_rules '{}'

# The error page (the wizard's diagnostic command 1038).
run_wizard
uidriver command 1038
uidriver wait-page ErrorPage
shot 10-error
uidriver close
wait "$installer" || true

# A Spanish-speaking user, who closes the wizard at once.
LC_ALL=es_ES.UTF-8 run_wizard
uidriver wait-page LanguagePageQL
shot 11-language-es
uidriver close
shot_screen 12-exit-question
uidriver answer ok
wait "$installer" || true

# The installer without the QL page set: the welcome page instead of the license.
run_wizard QuillaraWebSetup_Plain
uidriver wait-page LanguagePage
uidriver click 1010
uidriver wait-page WelcomePage
shot 13-welcome
uidriver close
uidriver answer ok
wait "$installer" || true

# High DPI: the language, license, offer and download pages at 150 % and 200 %
# (LogPixels 144 and 192, set by scripts/with_dpi.sh for the wizard's run). In a copy
# of the prefix with a Wine server and a screen of its own: the wizard at 200 % is
# taller than the session's screen, and nothing else started meanwhile gets the DPI.
dpi_root="$(mktemp -d)"
dpi_xvfb=""
dpi_stop() {
  WINEPREFIX="$dpi_root/prefix" wineserver -k 2>/dev/null || true
  if [ -n "$dpi_xvfb" ]; then kill "$dpi_xvfb" 2>/dev/null || true; fi
  rm -rf "$dpi_root"
}
trap 'dpi_stop; cleanup' EXIT
cp -a "$WINEPREFIX" "$dpi_root/prefix"
Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$dpi_root/display" >/dev/null 2>&1 &
dpi_xvfb=$!
for _ in $(seq 50); do [ -s "$dpi_root/display" ] && break; sleep 0.1; done
[ -s "$dpi_root/display" ] || { echo "no X server for the DPI pages" >&2; exit 1; }
(
  export WINEPREFIX="$dpi_root/prefix" DISPLAY=":$(cat "$dpi_root/display")"
  wineserver -p
  # A step that fails ends the wizard too, and with_dpi.sh puts the value back.
  trap 'wineserver -k 2>/dev/null || true; wait' EXIT
  wine cmd /c exit 0 >/dev/null 2>&1 || true
  # The product comes slowly enough to show the download page, where the run ends.
  server_rules '{"/endpoint/qlweb/os/riserollout/track/beta": {"rate": 20000}}'
  for dpi in 144 192; do
    mkdir -p "$shots/dpi-$dpi"
    bash scripts/with_dpi.sh "$dpi" wine build/windows/QuillaraWebSetup.exe & installer=$!
    uidriver wait 30 >/dev/null
    uidriver wait-page LanguagePageQL
    shot "dpi-$dpi/01-language"
    uidriver click 1010
    uidriver wait-page LicensePage
    shot "dpi-$dpi/02-license"
    uidriver click 1050
    uidriver wait-page ProductPage
    shot "dpi-$dpi/03-offer"
    uidriver click 1048  # Skip All: on to the download
    uidriver wait-page DownloadPageISV
    shot "dpi-$dpi/04-download"
    uidriver close
    uidriver answer ok
    wait "$installer" || true
  done
  server_rules '{}'
)
dpi_stop
trap cleanup EXIT

echo "analytics events the server received:"
events=$(curl -sfk https://localhost/_ctl/requests | python3 -c '
import json, sys
start = int(sys.argv[1])
for request in json.load(sys.stdin)[start:]:
    if request["path"] != "/zbd":
        continue
    record = json.loads(json.loads(request["body"])["data"])
    text = record["13"] or record["12"]
    print("  event %2s  %-20s position %-2s %s" % (record["6"], record["5"], record["17"] or "-", text))
' "$records_start")
echo "$events"
echo "programs the wizard ran:"
sleep 1
sed 's/^/  /' "$demo_log" 2>/dev/null
# A run that recorded nothing did not do what the screenshots may suggest.
[ -n "$events" ] || { echo "demo failed: the server recorded no analytics events" >&2; exit 1; }
[ -s "$demo_log" ] || { echo "demo failed: the wizard ran no programs ($demo_log is empty)" >&2; exit 1; }
[ -s "$setup_log" ] || { echo "demo failed: the main run wrote no setup log ($setup_log)" >&2; exit 1; }
echo "setup log of the main run: $setup_log"
echo "demo finished: screenshots in $shots"
