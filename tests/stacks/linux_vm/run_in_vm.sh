#!/bin/bash
# Inside the Linux VM (tools/linux-vm): every test of the hardware builds
# in BUILD on the VM's real kernel, with the driver the VM runs with
# (ZORVEX_VM_DRIVER). zorvex_gadget plugs each program's chips in, one
# program at a time. Prints each part's time; exits non-zero when any part
# failed.
#   run_in_vm.sh BUILD
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/../../.." && pwd)
export ZORVEX_CHIP_SET_TOOL=$build/tests/stacks/linux_vm/zorvex_gadget
export ZORVEX_CUI=$build/bin/zorvex_cui
export ZORVEX_HARDWARE_CUI=$ZORVEX_CUI
export ZORVEXD_HARDWARE=$build/bin/zorvexd
export ZORVEX_SIMCTL=$build/sim/zorvex_simctl
export PYTHONDONTWRITEBYTECODE=1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=()
started=$SECONDS
part() {
    local name=$1 begun=$SECONDS
    shift
    "$@"
    local code=$?
    echo "=== $name: exit code $code, $((SECONDS - begun)) s"
    [ "$code" -eq 0 ] || failed+=("$name")
}
part "console suite" "$build/tests/process/zorvex_console_test" \
    --gtest_filter='ConsoleTest.*:HardwareConsoleTest.*'
scenario=$scratch/c_caller.json
part "C caller" sh -c "'$build/tests/process/zorvex_c_caller' --scenario '$scenario' &&
    exec '$ZORVEX_CHIP_SET_TOOL' '$scenario' -- '$build/tests/process/zorvex_c_caller' \
    '$build/bin/zorvex.dll' '$scenario'"
part "units" env PYTHONPATH="$tree/tests/mqtt" python3 -m pytest -q -p no:cacheprovider \
    "$here/test_units_on_real_kernel.py"

echo "=== with ZORVEX_VM_DRIVER=$ZORVEX_VM_DRIVER in $((SECONDS - started)) s${failed[*]:+; FAILED: ${failed[*]}}"
[ ${#failed[@]} -eq 0 ]
