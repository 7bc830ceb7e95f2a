#!/bin/bash
# Inside the Linux VM (tools/linux-vm --wine32): every test of the 32-bit
# Windows build (preset windows) under Debian's 32-bit Wine, for
# hosts whose kernel runs no 32-bit programs. The Wine prefix is made once
# and kept as an archive in ZORVEX_VM_WINE32_STATE; each run unpacks it
# into memory where the preset has it, so nothing of a run is kept for the
# next. Prints what the prefix and the tests cost; exits with ctest's code.
# Arguments go to ctest (-R NAME, say).
#   run_windows32_in_vm.sh [CTEST ARGUMENT...]
set -u
tree=$(cd "$(dirname "$0")/../../.." && pwd)
build=$tree/build/windows
state=${ZORVEX_VM_WINE32_STATE:?run by tools/linux-vm --wine32}
archive=$state/wineprefix.tar
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# No chip of the VM's kernel is in these tests: the Windows build's chips are
# its own, and none is held by Linux's driver.
unset ZORVEX_VM_DRIVER
# Wine names Unix files in the locale's encoding, and the VM starts with
# none: a folder with a Japanese name could not be made.
export LANG=C.UTF-8

started=$SECONDS
mkdir -p "$WINEPREFIX" && mount -t tmpfs -o size=1g,mode=0755 wineprefix "$WINEPREFIX" || exit 125
if [ -f "$archive" ]; then
    tar -xf "$archive" -C "$WINEPREFIX" || exit 125
    made="unpacked"
else
    wineboot -i </dev/null >/dev/null 2>&1 && wineserver -w || exit 125
    tar -cf "$archive.tmp" -C "$WINEPREFIX" . && mv "$archive.tmp" "$archive" || exit 125
    made="made and kept"
fi
# One Wine server and its services for the whole run, as tools/test keeps on
# a host: no test pays for starting Wine, nor holds its services' output.
wineserver -p
wineboot </dev/null >/dev/null 2>&1
echo "=== the 32-bit Wine prefix $made in $((SECONDS - started)) s"

tests_started=$SECONDS
cd "$tree" && ctest --preset windows "$@"
code=$?
wineserver -k
echo "=== the 32-bit Windows tests in $((SECONDS - tests_started)) s"
exit $code
