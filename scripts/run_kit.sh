#!/usr/bin/env bash
# Runs the Windows test kit (docs/windows.md) under Wine against the session's test
# server: unpacks it, runs its run-tests.cmd with --server-running, and fails unless
# every program passed and the closing "N passed, N failed" line agrees with the
# programs' own PASS and FAIL lines.
#   run_kit.sh <windows-tests.zip>
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/env.sh"
zip="$(realpath "$1")"
kit="$(mktemp -d)"
trap 'rm -rf "$kit"' EXIT
python3 -m zipfile -e "$zip" "$kit" || { echo "cannot unpack $zip"; exit 1; }
log="$here/build/windows-kit.log"
# cmd.exe takes the runner by its Windows path; stdin from /dev/null, so no program
# waits for the console.
(cd "$kit" && wine cmd /c run-tests.cmd --server-running </dev/null 2>&1) | tr -d '\r' | tee "$log"
status=${PIPESTATUS[0]}
passed=$(grep -c '^PASS ' "$log")
failed=$(grep -c '^FAIL ' "$log")
summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
if [ "$summary" != "$passed passed, $failed failed" ]; then
  echo "run_kit: the runner's summary \"$summary\" disagrees with its lines ($passed PASS, $failed FAIL)"
  exit 1
fi
if [ "$failed" -ne 0 ] || [ "$status" -ne 0 ] || [ "$passed" -eq 0 ]; then
  # The runner shows the end of a failed program's log; its failures may be earlier.
  for name in $(sed -n 's/^FAIL \([^ ]*\) .*/\1/p' "$log"); do
    echo "run_kit: the failures in logs\\$name.log:"
    tr -d '\r' <"$kit/logs/$name.log" | grep -a -A 12 'Failure$' | sed 's/^/    /'
  done
  echo "run_kit: $failed program(s) failed (runner exit code $status)"
  exit 1
fi
exit 0
