#!/usr/bin/env bash
# The release installer: built by scripts/release.sh in two copies of this tree
# (uncommitted changes included) at different paths, it comes out byte for byte
# the same and within its size budget (1 MiB, no stream, locale or filesystem code);
# signed with a code-signing certificate of the test CA and time-stamped by a local
# time-stamp server, it verifies, it is the unsigned build once the signature is
# removed, and one changed byte breaks it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$here/scripts/env.sh"

work="$(mktemp -d /tmp/ostrane-release-test.XXXXXX)"
tsa_pid=
cleanup() {
  if [ -n "$tsa_pid" ]; then
    kill "$tsa_pid" 2>/dev/null || true
    wait "$tsa_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# The tree as it stands, without build output; files deleted from the work tree stay out.
copy_tree() {
  mkdir -p "$1"
  (cd "$here" && git ls-files -z -co --exclude-standard |
    while IFS= read -r -d '' f; do if [ -e "$f" ]; then printf '%s\0' "$f"; fi; done |
    tar --null -T - -cf -) | tar -xf - -C "$1"
}
tree_a="$work/a"
tree_b="$work/second/tree-b"
copy_tree "$tree_a"
copy_tree "$tree_b"

# The copies are no git work trees: the commit time comes from here.
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH="$(git -C "$here" log -1 --format=%ct)"

# A code-signing certificate and a time-stamping one, both issued by the test CA.
pki="$work/pki"
mkdir -p "$pki"
issue() { # NAME SUBJECT EXTENDED-KEY-USAGE
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$pki/$1.key" -out "$pki/$1.csr" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" >"$pki/$1.ext"
  # A random serial: the shared CA folder's serial file stays untouched.
  openssl x509 -req -in "$pki/$1.csr" -CA "$OSTRANE_PKI/ca.crt" -CAkey "$OSTRANE_PKI/ca.key" \
    -set_serial "0x$(openssl rand -hex 12)" -days 7 -sha256 -extfile "$pki/$1.ext" -out "$pki/$1.crt" 2>/dev/null
}
bash "$here/scripts/setup.sh" >/dev/null
issue signing "Ostrane Release Test Signer" codeSigning
issue tsa "Ostrane Release Test TSA" critical,timeStamping

python3 "$here/tests/release/tsa_server.py" --cert "$pki/tsa.crt" --key "$pki/tsa.key" \
  --chain "$OSTRANE_PKI/ca.crt" --port-file "$work/tsa.port" &
tsa_pid=$!
for _ in $(seq 100); do [ -s "$work/tsa.port" ] && break; sleep 0.1; done
[ -s "$work/tsa.port" ] || { echo "FAIL: the time-stamp server did not start"; exit 1; }
tsa_url="http://127.0.0.1:$(cat "$work/tsa.port")/"

# Arguments are checked before anything is built.
if bash "$tree_a/scripts/release.sh" --cert "$pki/signing.crt" >"$work/args.log" 2>&1; then
  fail "release.sh signed without a key"
elif grep -q -- "--cert and --key go together" "$work/args.log"; then
  pass "a certificate without a key is refused"
else
  fail "unexpected refusal: $(cat "$work/args.log")"
fi
# Without SOURCE_DATE_EPOCH, a tree outside git has no time to build with.
if env -u SOURCE_DATE_EPOCH bash "$tree_a/scripts/release.sh" >"$work/epoch.log" 2>&1; then
  fail "release.sh built a tree outside git without SOURCE_DATE_EPOCH"
elif grep -q "set SOURCE_DATE_EPOCH" "$work/epoch.log"; then
  pass "no commit time, no build"
else
  fail "unexpected refusal: $(cat "$work/epoch.log")"
fi

start=$SECONDS
bash "$tree_a/scripts/release.sh" --out "$work/out-a" >"$work/release-a.log" 2>&1 ||
  { cat "$work/release-a.log"; echo "FAIL: unsigned release build"; exit 1; }
bash "$tree_b/scripts/release.sh" --cert "$pki/signing.crt" --key "$pki/signing.key" \
  --timestamp "$tsa_url" --out "$work/out-b" >"$work/release-b.log" 2>&1 ||
  { cat "$work/release-b.log"; echo "FAIL: signed release build"; exit 1; }
echo "two release builds: $((SECONDS - start)) s"

unsigned_a="$work/out-a/QuillaraWebSetup.exe"
unsigned_b="$tree_b/build/windows-release/QuillaraWebSetup.exe"
signed="$work/out-b/QuillaraWebSetup.exe"

if cmp "$unsigned_a" "$unsigned_b"; then
  pass "two builds in different folders are byte-identical"
else
  fail "the installers differ:"
  cmp -l "$unsigned_a" "$unsigned_b" | head -n 20
fi
if grep -q -a -F "$work" "$unsigned_a" "$unsigned_b"; then
  fail "a build path is in an installer"
else
  pass "no build path in the installers"
fi

# Within its budget: at most 1 MiB, and none of the standard library's stream, locale
# or std::filesystem code, which a single file stream or path brings in whole (about
# 600 KB, with static start-up work before the first page); the link map tells.
size="$(stat -c %s "$unsigned_a")"
if [ "$size" -le 1048576 ]; then
  pass "the installer is $size B, within 1,048,576 B"
else
  fail "the installer is $size B, over its budget of 1,048,576 B"
fi
map="$tree_a/build/windows-release/QuillaraWebSetup.map"
if python3 "$here/bench/size_report.py" --members 'libstdc++' "$map" >"$work/libstdc++.txt"; then
  heavy="$(grep -E '^[^ ]*(ios|locale|stream|codecvt|ctype|collate|messages|monetary|numeric_members|time_members|basic_file|globals_io|string-io|facets|fs_|filesystem)[^ ]* ' \
    "$work/libstdc++.txt" || true)"
  if [ -z "$heavy" ]; then
    pass "no stream, locale or filesystem code of the standard library in the installer"
  else
    fail "stream, locale or filesystem code of the standard library in the installer (member, bytes):"
    echo "$heavy"
  fi
else
  fail "no link map of the installer at $map"
fi

# The PE header's time stamp is the commit time, not the time of the build.
pe="$(od -An -tu4 -j 60 -N 4 "$unsigned_a" | tr -d ' ')"
stamp="$(od -An -tu4 -j $((pe + 8)) -N 4 "$unsigned_a" | tr -d ' ')"
if [ "$stamp" = "$SOURCE_DATE_EPOCH" ]; then
  pass "PE time stamp is SOURCE_DATE_EPOCH"
else
  fail "PE time stamp $stamp, SOURCE_DATE_EPOCH $SOURCE_DATE_EPOCH"
fi

# release.sh prints the result's SHA-256 last.
for pair in "$work/release-a.log:$unsigned_a" "$work/release-b.log:$signed"; do
  log="${pair%%:*}" file="${pair#*:}"
  if [ "$(tail -n 1 "$log")" = "$(sha256sum "$file")" ]; then
    pass "printed SHA-256 of $(basename "$(dirname "$file")")"
  else
    fail "last line of $log is not the SHA-256 of $file: $(tail -n 1 "$log")"
  fi
done

verify() { osslsigncode verify -CAfile "$OSTRANE_PKI/ca.crt" -TSA-CAfile "$OSTRANE_PKI/ca.crt" -in "$1"; }
if verify "$signed" >"$work/verify.log" 2>&1 &&
   grep -q "^Signature verification: ok" "$work/verify.log" &&
   grep -q "^Message digest algorithm *: SHA256" "$work/verify.log" &&
   grep -q "Ostrane Release Test Signer" "$work/verify.log" &&
   grep -q "^Timestamp Server Signature verification: ok" "$work/verify.log"; then
  pass "signature (SHA-256, time-stamped) verifies against the test CA"
else
  fail "signature did not verify:"
  cat "$work/verify.log"
fi

# Whoever rebuilds the commit can check a signed release against their own build.
osslsigncode remove-signature -in "$signed" -out "$work/stripped.exe" >"$work/remove.log" 2>&1 ||
  { cat "$work/remove.log"; fail "could not remove the signature"; }
if cmp -s "$work/stripped.exe" "$unsigned_a"; then
  pass "the signed installer without its signature is the unsigned build"
else
  fail "the signed installer differs from the build beyond its signature"
fi

# One byte in the middle of the program's sections, well before the signature.
tampered="$work/tampered.exe"
cp "$signed" "$tampered"
offset=$(($(stat -c %s "$unsigned_a") / 2))
byte="$(od -An -tu1 -j "$offset" -N 1 "$tampered" | tr -d ' ')"
printf '%b' "\\0$(printf %o $((byte ^ 0xff)))" | dd of="$tampered" bs=1 seek="$offset" conv=notrunc status=none
if cmp -s "$signed" "$tampered"; then
  fail "the copy was not changed"
elif verify "$tampered" >"$work/tampered.log" 2>&1; then
  fail "a changed installer still verifies"
elif grep -q "^Signature verification: failed" "$work/tampered.log"; then
  pass "a changed byte breaks the signature"
else
  fail "tampered copy failed for another reason:"
  cat "$work/tampered.log"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
