# Sourced by the Wine scripts: a fresh Wine prefix of the script's own in a temporary directory,
# removed again on every way out, with the executable under test copied to a path with blanks.
#   new_prefix <VevoveRazara.exe>   sets WINEPREFIX, SERVICE_EXE (unix path) and SERVICE_DIR
#   start_keeper <keeper.exe>       keeps the Wine session (and so its services) alive
#   wait_for <seconds> <command...> polls until the command succeeds
#   fail <message>                  ends the script with a failure
#   run <program...>                runs a Windows program, its output without carriage returns
#   state, state_is <STATE>         the state of the service $NAME

WORK_DIR=$(mktemp -d "${TMPDIR:-/tmp}/vr-wine.XXXXXX")
KEEPER_PID=

end_prefix() {
    if [ -n "$KEEPER_PID" ]; then
        kill "$KEEPER_PID" 2>/dev/null || true
        wait "$KEEPER_PID" 2>/dev/null || true
    fi
    # The prefix's own server and whatever still runs in it; nothing outside the prefix.
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
    fi
    rm -rf "$WORK_DIR"
}
trap end_prefix EXIT
trap 'exit 1' HUP INT TERM

fail() {
    echo "FAIL: $*" >&2
    for log in "$WORK_DIR"/*.err; do
        [ -s "$log" ] && { echo "--- $(basename "$log"):"; tail -n 20 "$log"; } >&2
    done
    exit 1
}

new_prefix() {
    export WINEPREFIX="$WORK_DIR/prefix"
    export WINEDEBUG=-all
    # No Mono or Gecko installers: nothing here needs them and the machine has no route to them.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    wine wineboot --init >/dev/null 2>&1 || fail "wineboot --init"
    wineserver -w
    SERVICE_DIR="$WINEPREFIX/drive_c/Program Files/Brisen Fiscal"
    mkdir -p "$SERVICE_DIR"
    cp "$1" "$SERVICE_DIR/VevoveRazara.exe"
    SERVICE_EXE="$SERVICE_DIR/VevoveRazara.exe"
}

# Event log entries show on standard error with err+eventlog; the services that the session
# starts write theirs to the keeper's.
start_keeper() {
    WINEDEBUG=-all,err+eventlog wine "$1" 110 >"$WORK_DIR/keeper.out" 2>"$WORK_DIR/keeper.err" &
    KEEPER_PID=$!
    wait_for 30 grep -q keeping "$WORK_DIR/keeper.out" || fail "the keeper did not start"
}

wait_for() {
    seconds=$1
    shift
    tries=$((seconds * 5))
    while [ "$tries" -gt 0 ]; do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.2
        tries=$((tries - 1))
    done
    return 1
}

# Runs a Windows program: its standard output without carriage returns, its exit code; Wine's
# own chatter goes to a log.
run() {
    status=0
    wine "$@" >"$WORK_DIR/run.out" 2>>"$WORK_DIR/wine.err" || status=$?
    tr -d '\r' <"$WORK_DIR/run.out"
    return "$status"
}

# The state of the service $NAME as sc reports it (RUNNING, STOPPED, ...).
state() {
    run sc query "$NAME" | sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'
}

state_is() {
    [ "$(state)" = "$1" ]
}
