#!/bin/sh
# The service's life under Wine's service manager: registered by /install /silent under a path
# with blanks, started, paused, continued, stopped and removed; a second registration and a
# second removal refused with the system's own text. Nothing reaches the event log meanwhile.
#   service_lifecycle.sh <VevoveRazara.exe> <Keeper.exe> <ServiceControl.exe>
set -eu
if [ $# -ne 3 ]; then
    echo "usage: $0 <VevoveRazara.exe> <Keeper.exe> <ServiceControl.exe>" >&2
    exit 2
fi
. "$(dirname "$0")/prefix.sh"
CONTROL=$3
new_prefix "$1"
start_keeper "$2"

NAME=SrvVevoveRazara
DISPLAY_NAME="Brisen Fiscal - Atualizador Fiscal"

# The service's own process, told apart from any other prefix's by its environment.
service_process_runs() {
    for dir in /proc/[0-9]*; do
        case "$(tr '\0' ' ' <"$dir/cmdline" 2>/dev/null)" in
            *VevoveRazara.exe*) ;;
            *) continue ;;
        esac
        if tr '\0' '\n' <"$dir/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            return 0
        fi
    done
    return 1
}

service_process_ended() {
    ! service_process_runs
}

expect_output() {
    [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"
}

# Registration, silent: no output, exit code 0, registered as an automatic service of its own
# process under the system account, its quoted path without arguments.
out=$(run "$SERVICE_EXE" /install /silent) || fail "/install /silent exited with $?"
expect_output "/install /silent" "$out" ""
state_is STOPPED || fail "registered service not reported stopped: $(state)"
registry=$(run reg query 'HKLM\System\CurrentControlSet\Services\SrvVevoveRazara') ||
    fail "no registry key for the service"
registry_value() {
    printf '%s\n' "$registry" | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
for expected in \
    'ImagePath="C:\Program Files\Brisen Fiscal\VevoveRazara.exe"' \
    "DisplayName=$DISPLAY_NAME" \
    'Start=0x2' \
    'Type=0x10' \
    'ErrorControl=0x1' \
    'ObjectName=LocalSystem'; do
    name=${expected%%=*}
    expect_output "registry value $name" "$(registry_value "$name")" "${expected#*=}"
done

# Registered again: the system's refusal, exit code 0.
out=$(run "$SERVICE_EXE" /install) || fail "second /install exited with $?"
case "$out" in
    "Service \"$DISPLAY_NAME\" failed to install with error: \""?*\") ;;
    *) fail "second /install: [$out]" ;;
esac

# Started and running, in a process of its own.
run net start "$NAME" >/dev/null || fail "net start exited with $?"
wait_for 10 state_is RUNNING || fail "not running after net start: $(state)"
service_process_runs || fail "no service process after net start"

# Pause and continue, which Wine's tools cannot send. ControlService answers with the status
# at the time the code was taken; the stop, pause/continue and shutdown controls are accepted.
out=$(run "$CONTROL" "$NAME" 2) || fail "pause: $out"
expect_output "pause" "$out" "state 4 accepted 7 checkpoint 0 wait 5000"
wait_for 10 state_is PAUSED || fail "not paused: $(state)"
out=$(run "$CONTROL" "$NAME" 4) || fail "interrogate: $out"
expect_output "interrogate while paused" "$out" "state 7 accepted 7 checkpoint 0 wait 5000"
out=$(run "$CONTROL" "$NAME" 3) || fail "continue: $out"
wait_for 10 state_is RUNNING || fail "not running after continue: $(state)"

# Stopped: reported, and the process ends.
run net stop "$NAME" >/dev/null || fail "net stop exited with $?"
wait_for 10 state_is STOPPED || fail "not stopped after net stop: $(state)"
wait_for 10 service_process_ended || fail "the service process outlived its stop"

# Removed, with its message; removed again: the system's refusal.
out=$(run "$SERVICE_EXE" /uninstall) || fail "/uninstall exited with $?"
expect_output "/uninstall" "$out" "Service uninstalled successfully"
if run sc query "$NAME" >/dev/null; then fail "still registered after /uninstall"; fi
out=$(run "$SERVICE_EXE" /uninstall /silent) || fail "second /uninstall exited with $?"
case "$out" in
    "Service \"$DISPLAY_NAME\" failed to uninstall with error: \""?*\") ;;
    *) fail "second /uninstall: [$out]" ;;
esac

if grep -q 'err:eventlog' "$WORK_DIR/keeper.err"; then
    fail "event log entries during the service's life: $(cat "$WORK_DIR/keeper.err")"
fi
echo "service lifecycle under Wine: ok"
