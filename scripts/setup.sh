#!/usr/bin/env bash
# Prepares this machine for building and testing: packages, the Windows
# tinyxml2 sources, the test certificate authority and the Wine prefix.
# Safe to run again: every step checks whether it is already done.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/env.sh"

log() { printf '[setup] %s\n' "$*"; }
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  wine wine64 wine32:i386 fonts-wine
  g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64-i686
  xvfb x11-utils imagemagick
  cmake ninja-build g++ make pkg-config ccache
  clang-14 libclang-rt-14-dev
  nlohmann-json3-dev libtinyxml2-dev libgtest-dev googletest libbenchmark-dev
  zlib1g-dev libz-mingw-w64-dev
  openssl libssl-dev ca-certificates curl python3 dpkg-dev
  osslsigncode
)

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

install_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "enabling i386"
    as_root dpkg --add-architecture i386
  fi
  # apt-get source needs the source index as well.
  local sources=/etc/apt/sources.list.d/debian.sources
  if [ -f "$sources" ] && grep -q '^Types: deb$' "$sources"; then
    as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
  fi
  local need
  need=$(missing_packages)
  [ -z "$need" ] && return 0
  log "installing: $(echo $need)"
  # A failing index (for example one i386 security suite) must not stop us.
  as_root apt-get update -q || true
  export DEBIAN_FRONTEND=noninteractive
  # shellcheck disable=SC2086
  if ! as_root apt-get install -y -q --no-install-recommends $need; then
    log "retrying with -t bookworm (amd64/i386 version skew)"
    as_root apt-get install -y -q --no-install-recommends -t bookworm $need
  fi
}

# A Debian source package into $OSTRANE_DEPS/NAME: all of it, or only FILES.
#   fetch_source_package NAME MARKER [FILE...]    (MARKER: the file that says it is there)
fetch_source_package() {
  local name="$1" marker="$2"; shift 2
  [ -f "$OSTRANE_DEPS/$name/$marker" ] && return 0
  log "fetching the $name source package"
  local tmp; tmp=$(mktemp -d)
  if ! (cd "$tmp" && apt-get source -q "$name" >/dev/null 2>&1); then
    as_root apt-get update -q || true
    (cd "$tmp" && apt-get source -q "$name" >/dev/null)
  fi
  local dir; dir=$(find "$tmp" -maxdepth 1 -type d -name "$name-*" | head -n1)
  mkdir -p "$OSTRANE_DEPS"
  rm -rf "${OSTRANE_DEPS:?}/$name"
  if [ $# -gt 0 ]; then
    mkdir -p "$OSTRANE_DEPS/$name"
    (cd "$dir" && cp "$@" "$OSTRANE_DEPS/$name/")
  else
    cp -r "$dir" "$OSTRANE_DEPS/$name"
  fi
  rm -rf "$tmp"
}

make_test_pki() {
  local pki="$OSTRANE_PKI"
  mkdir -p "$pki"
  if [ ! -f "$pki/ca.key" ]; then
    log "generating the test CA"
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -sha256 \
      -subj "/CN=Ostrane Test CA" -keyout "$pki/ca.key" -out "$pki/ca.crt" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    rm -f "$pki/server.crt"
  fi
  if [ ! -f "$pki/server.crt" ]; then
    log "issuing the localhost server certificate"
    openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
      -keyout "$pki/server.key" -out "$pki/server.csr" 2>/dev/null
    printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' > "$pki/server.ext"
    openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.crt" -CAkey "$pki/ca.key" \
      -CAcreateserial -days 825 -sha256 -extfile "$pki/server.ext" -out "$pki/server.crt" 2>/dev/null
  fi
  # Code signing for the demo and test installers: a signer under the test CA, and
  # one under a CA that nothing trusts, for the tests of refused packages.
  if [ ! -f "$pki/codesign.crt" ] || [ "$pki/codesign.crt" -ot "$pki/ca.crt" ]; then
    log "issuing the code-signing certificates"
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$pki/codesign.ext"
    openssl req -newkey rsa:2048 -nodes -subj "/CN=Ostrane Test Signer" \
      -keyout "$pki/codesign.key" -out "$pki/codesign.csr" 2>/dev/null
    openssl x509 -req -in "$pki/codesign.csr" -CA "$pki/ca.crt" -CAkey "$pki/ca.key" \
      -set_serial "0x$(openssl rand -hex 12)" -days 3650 -sha256 -extfile "$pki/codesign.ext" \
      -out "$pki/codesign.crt" 2>/dev/null
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -sha256 \
      -subj "/CN=Ostrane Untrusted CA" -keyout "$pki/untrusted-ca.key" -out "$pki/untrusted-ca.crt" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj "/CN=Ostrane Untrusted Signer" \
      -keyout "$pki/untrusted-codesign.key" -out "$pki/untrusted-codesign.csr" 2>/dev/null
    openssl x509 -req -in "$pki/untrusted-codesign.csr" -CA "$pki/untrusted-ca.crt" -CAkey "$pki/untrusted-ca.key" \
      -set_serial "0x$(openssl rand -hex 12)" -days 3650 -sha256 -extfile "$pki/codesign.ext" \
      -out "$pki/untrusted-codesign.crt" 2>/dev/null
  fi
  # Another publisher under the trusted test CA: a product signed by anybody but the
  # installer's own signer is refused.
  if [ ! -f "$pki/other-codesign.crt" ] || [ "$pki/other-codesign.crt" -ot "$pki/ca.crt" ]; then
    log "issuing the other publisher's code-signing certificate"
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$pki/codesign.ext"
    openssl req -newkey rsa:2048 -nodes -subj "/CN=Ostrane Other Publisher" \
      -keyout "$pki/other-codesign.key" -out "$pki/other-codesign.csr" 2>/dev/null
    openssl x509 -req -in "$pki/other-codesign.csr" -CA "$pki/ca.crt" -CAkey "$pki/ca.key" \
      -set_serial "0x$(openssl rand -hex 12)" -days 3650 -sha256 -extfile "$pki/codesign.ext" \
      -out "$pki/other-codesign.crt" 2>/dev/null
  fi
  local trusted=/usr/local/share/ca-certificates/ostrane-test-ca.crt
  if ! cmp -s "$pki/ca.crt" "$trusted"; then
    log "adding the test CA to the system trust store"
    as_root cp "$pki/ca.crt" "$trusted"
    as_root update-ca-certificates >/dev/null
  fi
}

# Wine starts a 32-bit Windows program through its i386 loader, a 32-bit Linux
# program. Some kernels run with 32-bit emulation switched off (the kernel log says
# "32-bit emulation disabled"); there every such start fails with "Exec format error".
# On those machines qemu's user-mode emulator runs the loader, registered with
# binfmt_misc. It must be qemu 8 or later: 7.2 (bookworm) ignores the no-replace flag
# of the mappings with which Wine reserves its address space, and every start then
# takes about 50 s instead of a fraction of a second; bookworm-backports has 10.x.
enable_32bit_programs() {
  local entry=/proc/sys/fs/binfmt_misc/qemu-i386 marker="$OSTRANE_STATE/qemu-i386-registered"
  if [ ! -e "$entry" ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    return 0  # the kernel runs 32-bit programs itself
  fi
  local major=0
  if command -v qemu-i386-static >/dev/null; then
    major=$(qemu-i386-static --version | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
  fi
  if [ "${major:-0}" -lt 8 ]; then
    log "this kernel runs no 32-bit programs: installing qemu's user-mode emulator from bookworm-backports"
    local backports=/etc/apt/sources.list.d/ostrane-backports.sources
    if [ ! -f "$backports" ]; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
        as_root tee "$backports" >/dev/null
      as_root apt-get update -q || true
    fi
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user-static
    rm -f "$marker"
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] || as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  # "F" opens the emulator once, at registration: after an upgrade the entry still
  # runs the old file, so register again whenever the emulator is new to us.
  local version; version=$(qemu-i386-static --version | head -n1)
  if [ -e "$entry" ] && [ "$(cat "$marker" 2>/dev/null)" = "$version" ]; then return 0; fi
  log "registering qemu-i386 for 32-bit programs ($version)"
  [ -e "$entry" ] && echo -1 | as_root tee "$entry" >/dev/null
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
    as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
  mkdir -p "$OSTRANE_STATE"
  echo "$version" > "$marker"
  /lib/ld-linux.so.2 --version >/dev/null || { log "32-bit programs still do not run"; return 1; }
}

make_wine_prefix() {
  [ -f "$WINEPREFIX/.ostrane-ready" ] && return 0
  log "creating the Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  wineserver -w
  # No window manager under Xvfb: unmanaged windows avoid a 2 s stall on hide/close.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Microsoft Sans Serif' /t REG_SZ /d Tahoma /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Shell Dlg' /t REG_SZ /d Tahoma /f >/dev/null 2>&1
  wineserver -w
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  touch "$WINEPREFIX/.ostrane-ready"
}

# Windows' link colour: Wine's default draws links in pale grey.
set_prefix_colours() {
  [ -f "$WINEPREFIX/.ostrane-colours" ] && return 0
  wine reg add 'HKCU\Control Panel\Colors' /v HotTrackingColor /t REG_SZ /d '0 102 204' /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.ostrane-colours"
}

install_packages
# tinyxml2 for the Windows build; Google Benchmark (the sources of the package that
# gives the native build libbenchmark-dev) for the Windows benchmarks in bench/.
fetch_source_package tinyxml2 tinyxml2.cpp tinyxml2.cpp tinyxml2.h
fetch_source_package benchmark CMakeLists.txt
make_test_pki
enable_32bit_programs
make_wine_prefix
set_prefix_colours
log "ready"
