#!/bin/sh
# Started by hand without a switch, the executable finds no service manager to serve: it ends
# with exit code 0 and nothing on standard output, writes one event log entry with the system's
# message for the failed connection, and runs no cycle.
#   started_by_hand.sh <VevoveRazara.exe>
set -eu
if [ $# -ne 1 ]; then
    echo "usage: $0 <VevoveRazara.exe>" >&2
    exit 2
fi
. "$(dirname "$0")/prefix.sh"
new_prefix "$1"

# Under Wine the dispatcher's refusal (error 1063) comes after about ten seconds.
status=0
WINEDEBUG=-all,err+eventlog wine "$SERVICE_EXE" >"$WORK_DIR/out" 2>"$WORK_DIR/run.err" || status=$?
[ "$status" -eq 0 ] || fail "exit code $status"
[ ! -s "$WORK_DIR/out" ] || fail "standard output: $(cat "$WORK_DIR/out")"

entries=$(grep -c 'err:eventlog:ReportEventW' "$WORK_DIR/run.err" || true)
[ "$entries" -eq 1 ] || fail "$entries event log entries, expected one"
# Wine's text for ERROR_FAILED_SERVICE_CONTROLLER_CONNECT (1063).
grep -qF 'err:eventlog:ReportEventW L"Service controller connect failed."' "$WORK_DIR/run.err" ||
    fail "event log entry without the system's message"

# A cycle would have written the activity log next to the executable.
[ ! -e "$SERVICE_DIR/VevoveRazara.log" ] || fail "a cycle ran: $(cat "$SERVICE_DIR/VevoveRazara.log")"
echo "started by hand under Wine: ok"
