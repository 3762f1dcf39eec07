#!/bin/sh
# The cycles' outcomes in the Application log: the probe tells five cycles the way the service
# does (applied, nothing due, a failure, the same failure again, nothing due) and one host error.
# Wine keeps no entries (ReadEventLogW is a stub); its trace shows each ReportEventW call with its
# type and identifier, then the strings on the channel of the type.
#   cycle_events.sh <wine_cycle_events.exe>
set -eu
if [ $# -ne 1 ]; then
    echo "usage: $0 <wine_cycle_events.exe>" >&2
    exit 2
fi
. "$(dirname "$0")/prefix.sh"
new_prefix "$1"

WINEDEBUG=-all,fixme+advapi,err+eventlog,warn+eventlog,trace+eventlog wine "$1" \
    >"$WORK_DIR/out" 2>"$WORK_DIR/run.err" || fail "the probe failed"
grep -q told "$WORK_DIR/out" || fail "the probe did not finish"
# "type id count" of every entry, in order.
sed -n 's/.*fixme:advapi:ReportEventW ([^,]*,0x\([0-9a-f]*\),0x[0-9a-f]*,0x\([0-9a-f]*\),[^,]*,0x\([0-9a-f]*\),.*/\1 \2 \3/p' \
    "$WORK_DIR/run.err" >"$WORK_DIR/entries"
expected='0004 40000001 0008
0002 80000003 0009
0004 40000002 0008
0001 00000000 0001'
[ "$(cat "$WORK_DIR/entries")" = "$expected" ] ||
    fail "entries (type, identifier, strings): $(cat "$WORK_DIR/entries"), expected: $expected"
# The strings: the journal's message first, then the fields; a warning's on Wine's warn channel.
expect() {
    grep -qF -- "$1" "$WORK_DIR/run.err" || fail "no $1"
}
expect 'trace:eventlog:ReportEventW L"update cycle applied, 3 products and 1 segment written, 2 writes refused, 4 consultations skipped; next cycle at 2026-12-10 12:00:00"'
expect 'warn:eventlog:ReportEventW L"update cycle failed: HTTP/1.1 503 Service Unavailable; next cycle at 2026-12-10 13:30:00"'
expect 'warn:eventlog:ReportEventW L"HTTP/1.1 503 Service Unavailable"'
expect 'trace:eventlog:ReportEventW L"update cycle nothing due (last update 2026-12-10); next cycle at 2026-12-10 14:30:00"'
expect 'err:eventlog:ReportEventW L"Service failed on execute: linha"'
echo "cycle outcomes in the event log under Wine: ok"
