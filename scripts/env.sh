# Shared locations for the project's scripts (sourced, not run).
# Kept outside the work tree so that fresh clones on one machine share them.
export OSTRANE_STATE="${OSTRANE_STATE:-/var/lib/ostrane}"
export OSTRANE_DEPS="${OSTRANE_DEPS:-$OSTRANE_STATE/deps}"
export OSTRANE_PKI="${OSTRANE_PKI:-$OSTRANE_STATE/pki}"
export WINEPREFIX="${WINEPREFIX:-$OSTRANE_STATE/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No debugger on a crash: a crashed test program ends at once instead of waiting in it.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winedbg.exe=}"
# The X display that the test and demo scripts start Xvfb on when none is given.
export OSTRANE_DISPLAY="${OSTRANE_DISPLAY:-:77}"
