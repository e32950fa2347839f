#!/usr/bin/env bash
# Builds the release installer (preset windows-release) and, given a code-signing
# certificate and key, signs it. The same commit gives the same unsigned bytes in
# any folder: the build's only time is SOURCE_DATE_EPOCH, by default the commit time.
#
#   release.sh [--cert CERT.pem --key KEY.pem [--timestamp URL]] [--out DIR]
#
#   --cert, --key   PEM certificate (with its chain, if any) and private key; the
#                   installer gets an Authenticode signature with a SHA-256 digest
#   --timestamp     RFC 3161 time-stamp server, so the signature outlives the certificate
#   --out           where QuillaraWebSetup.exe goes (default build/release)
#
# Prints the SHA-256 of the result last, as sha256sum does.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)"

log() { printf '[release] %s\n' "$*"; }
die() { printf 'release.sh: %s\n' "$*" >&2; exit 1; }
usage() { echo "usage: release.sh [--cert CERT.pem --key KEY.pem [--timestamp URL]] [--out DIR]" >&2; exit 2; }

cert='' key='' timestamp='' out="$here/build/release"
while [ $# -gt 0 ]; do
  case "$1" in
    --cert) [ $# -ge 2 ] || usage; cert="$2"; shift 2 ;;
    --key) [ $# -ge 2 ] || usage; key="$2"; shift 2 ;;
    --timestamp) [ $# -ge 2 ] || usage; timestamp="$2"; shift 2 ;;
    --out) [ $# -ge 2 ] || usage; out="$2"; shift 2 ;;
    -h|--help) usage ;;
    *) printf 'release.sh: unknown argument %s\n' "$1" >&2; usage ;;
  esac
done
if [ -n "$cert" ] || [ -n "$key" ]; then
  if [ -z "$cert" ] || [ -z "$key" ]; then die "--cert and --key go together"; fi
  [ -r "$cert" ] || die "cannot read the certificate $cert"
  [ -r "$key" ] || die "cannot read the key $key"
elif [ -n "$timestamp" ]; then
  die "--timestamp needs --cert and --key"
fi
# Paths given are relative to where we were called from.
if [ -n "$cert" ]; then cert="$(realpath "$cert")" key="$(realpath "$key")"; fi
out="$(realpath -m "$out")"
cd "$here"

# The time stamp in the PE header. Only the commit of this very tree will do: a
# copy inside another repository must not take that repository's time.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  top="$(git -C "$here" rev-parse --show-toplevel 2>/dev/null || true)"
  [ "$top" = "$here" ] || die "not a git work tree: set SOURCE_DATE_EPOCH"
  SOURCE_DATE_EPOCH="$(git -C "$here" log -1 --format=%ct)"
  if [ -n "$(git -C "$here" status --porcelain --untracked-files=no)" ]; then
    log "warning: uncommitted changes; this installer is not the commit's"
  fi
fi
[[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH must be seconds since 1970"
export SOURCE_DATE_EPOCH

bash scripts/setup.sh
mkdir -p build
build_log="$here/build/release.log"
log "building windows-release (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH), log in $build_log"
# --fresh: the cache comes from the preset alone, not from an earlier -D.
{ cmake --preset windows-release --fresh &&
  cmake --build --preset windows-release --target QuillaraWebSetup; } >"$build_log" 2>&1 ||
  { tail -n 40 "$build_log"; die "the build failed"; }
built="$here/build/windows-release/QuillaraWebSetup.exe"

mkdir -p "$out"
result="$out/QuillaraWebSetup.exe"
sign_log="$(mktemp)"
trap 'rm -f "$sign_log" "$result.part"' EXIT
if [ -z "$cert" ]; then
  cp "$built" "$result.part"
else
  log "unsigned: $(sha256sum "$built" | cut -d' ' -f1)"
  sign=(osslsigncode sign -h sha256 -certs "$cert" -key "$key" -n "Quillara Web Setup")
  # -ts: an RFC 3161 time stamp; -t would ask for the older Authenticode form.
  if [ -n "$timestamp" ]; then sign+=(-ts "$timestamp"); fi
  log "signing with $(basename "$cert")${timestamp:+, time-stamped by $timestamp}"
  "${sign[@]}" -in "$built" -out "$result.part" >"$sign_log" 2>&1 ||
    { cat "$sign_log" >&2; die "signing failed"; }
fi
# Never leave a half-written installer under the final name.
mv -f "$result.part" "$result"
sha256sum "$result"
