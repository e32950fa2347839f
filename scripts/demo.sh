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
shot() { bash scripts/screenshot.sh "$shots/$1.png"; }
shot_screen() { bash scripts/screenshot.sh "$shots/$1.png" --screen; }
run_wizard() { wine build/windows/QuillaraWebSetup.exe & installer=$!; uidriver wait 30 >/dev/null; }

# English: the language page, then the loading page, then closing with its question.
run_wizard
uidriver wait-page LanguagePageQL
sleep 0.5; shot 01-language-en
uidriver click 1010
uidriver wait-page LoadingPage
sleep 0.5; shot 02-loading
uidriver close
sleep 0.5; shot_screen 03-exit-question
uidriver answer ok
wait "$installer" || true

# The error page (the wizard's diagnostic command 1038).
run_wizard
uidriver command 1038
uidriver wait-page ErrorPage
sleep 0.5; shot 04-error
uidriver close
wait "$installer" || true

# A Spanish-speaking user.
LC_ALL=es_ES.UTF-8 run_wizard
uidriver wait-page LanguagePageQL
sleep 0.5; shot 05-language-es
uidriver close
uidriver answer ok
wait "$installer" || true
echo "demo finished: screenshots in $shots"
