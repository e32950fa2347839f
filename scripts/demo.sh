#!/usr/bin/env bash
# The main job: set up, build the installer, start the local servers, run the
# wizard under Wine and save a screenshot of each page in build/demo/.
# Shows the wizard on $DISPLAY when there is one, else headless under Xvfb.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
bash scripts/setup.sh
source scripts/env.sh
mkdir -p build
cmake --preset windows >build/windows.log 2>&1
cmake --build --preset windows --target QuillaraWebSetup uidriver >>build/windows.log 2>&1 ||
  { tail -n 40 build/windows.log; exit 1; }

bash scripts/session.sh start --display
trap 'bash scripts/session.sh stop' EXIT
export DISPLAY="$(cat "$OSTRANE_STATE/session/display")"
shots="$here/build/demo"
rm -rf "$shots" && mkdir -p "$shots"

uidriver() { wine build/windows/uidriver.exe "$@"; }
shot() { import -display "$DISPLAY" -window root "$shots/$1.png" && echo "saved $shots/$1.png"; }

wine build/windows/QuillaraWebSetup.exe &
installer=$!
uidriver wait "Quillara Web " 30
sleep 1
shot 01-wizard
uidriver close "Quillara Web "
wait "$installer" || true
echo "demo finished: screenshots in $shots"
