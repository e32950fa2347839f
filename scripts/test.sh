#!/usr/bin/env bash
# Every test: set-up, the layer check of src/, both builds, the native unit tests
# (with ASan and UBSan, and again with ThreadSanitizer), a short run of the fuzz
# targets and the Windows tests under Wine against the local HTTPS server.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
bash scripts/setup.sh || exit 1
source scripts/env.sh

status=0
echo "== layer check"
python3 scripts/check_layers.py || status=1

# The compiler cache serves objects built in any clone of this tree: paths inside it
# are hashed relative to it, and the Windows build's file-prefix maps give fixed names
# whatever the folder.
build() {
  CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache \
    CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1 CCACHE_IGNOREOPTIONS='-ffile-prefix-map=*' \
    bash -c 'cmake --preset "$1" && cmake --build --preset "$1"' _ "$1" >"build/$1.log" 2>&1 ||
    { tail -n 60 "build/$1.log"; echo "build $1 failed"; return 1; }
}
mkdir -p build
for preset in native-asan native-tsan windows; do
  echo "== building $preset"
  build "$preset" || exit 1
done
echo "== packing the Windows test kit"
cmake --build --preset windows --target windows_test_kit >>build/windows.log 2>&1 ||
  { tail -n 40 build/windows.log; echo "packing the Windows test kit failed"; exit 1; }

bash scripts/session.sh start || { echo "could not start the test session"; exit 1; }
trap 'bash scripts/session.sh stop' EXIT
export DISPLAY="$(cat "$OSTRANE_STATE/session/display")"

echo "== native tests (ASan, UBSan)"
ctest --preset native-asan -j "$(nproc)" || status=1
echo "== native tests (ThreadSanitizer)"
ctest --preset native-tsan -L native -j "$(nproc)" || status=1
echo "== fuzz targets (short run)"
# A few seconds per target on its seeds; scripts/fuzz.sh runs them for longer.
if build fuzz; then
  bash scripts/fuzz.sh --no-build 3 || status=1
else
  status=1
fi
echo "== Windows tests under Wine, through the Windows test kit (docs/windows.md)"
bash scripts/run_kit.sh build/windows/windows-tests.zip || status=1
echo "== Windows tests the kit leaves to Wine"
ctest --preset windows -L wine-only || status=1
exit $status
