#!/usr/bin/env bash
# Puts the demo installers of the windows build (build/windows/demo) where the test
# server serves them: the product's installer, and the offers of the demo campaign
# (tools/demo/campaign.json) under the names its URLs use.
#   serve_demo_installers.sh            copy them into the docroot
#   serve_demo_installers.sh --remove   delete exactly those files again
# OSTRANE_DEMO_BUILD names another folder of built demo installers.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/env.sh"
built="${OSTRANE_DEMO_BUILD:-$here/build/windows/demo}"
docroot="$OSTRANE_STATE/docroot"

# built file -> path under the docroot
served=(
  "QuillaraWebInstaller.exe product/QuillaraWebInstaller.exe"
  "offer_installer.exe f/nimbus-notes-setup.exe"
  "offer_installer.exe f/copperleaf-setup.exe"
  "offer_installer.exe f/brightline-setup.exe"
  "offer_installer.exe f/fogbank-setup.exe"
  "offer_bundle.zip f/tidewater-vpn.zip"
)

case "${1:-}" in
  --remove)
    for entry in "${served[@]}"; do rm -f "$docroot/${entry#* }"; done
    ;;
  "")
    for entry in "${served[@]}"; do
      if [ ! -f "$built/${entry%% *}" ]; then
        echo "missing $built/${entry%% *}: cmake --build --preset windows --target QuillaraWebInstaller offer_bundle" >&2
        exit 1
      fi
    done
    mkdir -p "$docroot/product" "$docroot/f"
    for entry in "${served[@]}"; do
      target="$docroot/${entry#* }"
      # Through a temporary name: a download running meanwhile never reads half a file.
      cp "$built/${entry%% *}" "$target.partial.$$"
      mv -f "$target.partial.$$" "$target"
    done
    ;;
  *) echo "usage: $0 [--remove]" >&2; exit 2 ;;
esac
