#!/bin/sh
# The installer under Wine's msiexec, as a technician would use it: installed silently, the
# registration and the event sources read back, the service started and stopped, a build one
# version up installed over it, an older one refused over that, and removed; the store's files
# in the install folder untouched throughout. Then /INSTALL and /UNINSTALL, which must leave the
# same registration and event sources behind.
#   msi.sh <build dir> <wixl> <Keeper.exe> <RegistrationProbe.exe>
set -eu
if [ $# -ne 4 ]; then
    echo "usage: $0 <build dir> <wixl> <Keeper.exe> <RegistrationProbe.exe>" >&2
    exit 2
fi
BUILD=$1
WIXL=$2
PROBE=$4
. "$(dirname "$0")/prefix.sh"
new_prefix "$BUILD/VevoveRazara.exe"
start_keeper "$3"

NAME=SrvVevoveRazara
INSTALLED="$WINEPREFIX/drive_c/Program Files/VevoveRazara"
INSTALLED_WIN='C:\Program Files\VevoveRazara\VevoveRazara.exe'

expect() {
    [ "$2" = "$3" ] || fail "$1: expected [$3], got [$2]"
}
value() {
    printf '%s\n' "$1" | sed -n "s/^$2=//p"
}

# The installers: this build's, and one a version up from the same sources with an executable
# that differs (a byte appended, which Windows ignores), so that its replacement shows.
version=$(sed -n 's/.* Version="\([0-9.]*\)".*/\1/p' "$BUILD/VevoveRazara.wxs" | head -n 1)
next=${version%.*}.$((${version##*.} + 1))
BASE_MSI="$BUILD/VevoveRazara-$version-x64.msi"
[ -f "$BASE_MSI" ] || fail "no installer $BASE_MSI"
mkdir "$WORK_DIR/next"
cp "$BUILD/VevoveRazara.exe" "$WORK_DIR/next/"
printf 'next' >>"$WORK_DIR/next/VevoveRazara.exe"
sed "s/\"$version\"/\"$next\"/; s/VevoveRazara $version/VevoveRazara $next/" "$BUILD/VevoveRazara.wxs" \
    >"$WORK_DIR/next/VevoveRazara.wxs"
(cd "$WORK_DIR/next" && "$WIXL" -a x64 -o next.msi VevoveRazara.wxs) >/dev/null 2>&1 ||
    fail "wixl could not build the installer one version up"
NEXT_MSI="$WORK_DIR/next/next.msi"

msiexec_run() {
    log=$1
    shift
    status=0
    wine msiexec "$@" /qn /l*v "$(winepath -w "$WORK_DIR/$log")" >/dev/null 2>>"$WORK_DIR/wine.err" ||
        status=$?
    return "$status"
}

# The registration that Part of the host defines, the description, and the event sources.
check_registration() {
    how=$1
    exe_win=$2
    out=$(run "$PROBE" service "$NAME") || fail "$how: service not registered: $out"
    expect "$how: type" "$(value "$out" type)" 16
    expect "$how: start" "$(value "$out" start)" 2
    expect "$how: error control" "$(value "$out" errorcontrol)" 1
    expect "$how: path" "$(value "$out" path)" "\"$exe_win\""
    expect "$how: account" "$(value "$out" account)" LocalSystem
    expect "$how: group" "$(value "$out" group)" ""
    expect "$how: dependencies" "$(value "$out" dependencies)" ""
    expect "$how: display name" "$(value "$out" displayname)" "Brisen Fiscal - Atualizador Fiscal"
    description=$(value "$out" description)
    case "$description" in
        "" | error*) fail "$how: no description: [$description]" ;;
    esac
    # Wine accepts the recovery actions and stores none, and refuses the delayed start, both
    # with ERROR_INVALID_LEVEL (124); Windows returns them as given.
    case "$(value "$out" failureactions)" in
        "reset 86400 1:30000 1:30000 1:300000" | "error 124") ;;
        *) fail "$how: failure actions [$(value "$out" failureactions)]" ;;
    esac
    case "$(value "$out" delayedstart)" in
        1 | "error 124") ;;
        *) fail "$how: delayed start [$(value "$out" delayedstart)]" ;;
    esac
    for source in "$NAME" VevoveRazara.exe; do
        out=$(run "$PROBE" source "$source" "Falha de teste") || fail "$how: no event source $source: $out"
        expect "$how: $source message file" "$(value "$out" messagefile)" "$exe_win"
        expect "$how: $source value type" "$(value "$out" messagefiletype)" REG_EXPAND_SZ
        expect "$how: $source types" "$(value "$out" typessupported)" 7
        # Event 0, the host's entries: the one string as it is, as Event Viewer shows it.
        expect "$how: $source event 0" "$(value "$out" event0)" "[Falha de teste]"
    done
}

check_no_sources() {
    for source in "$NAME" VevoveRazara.exe; do
        if out=$(run "$PROBE" source "$source" x); then fail "$1: event source $source left: $out"; fi
    done
}

# Installed, and started by the installer.
msiexec_run install.log /i "$(winepath -w "$BASE_MSI")" || fail "msiexec /i exited with $status"
[ -f "$INSTALLED/VevoveRazara.exe" ] || fail "no executable in $INSTALLED"
cmp -s "$INSTALLED/VevoveRazara.exe" "$BUILD/VevoveRazara.exe" || fail "the installed executable differs"
check_registration "msi" "$INSTALLED_WIN"

# The version data: the resource, /VERSION and the installer all tell the project's version.
out=$(run "$PROBE" version "$INSTALLED_WIN") || fail "no version resource: $out"
for field in fixedfile fixedproduct; do
    expect "version resource $field" "$(value "$out" $field)" "$version.0"
done
for field in FileVersion ProductVersion; do
    expect "version resource $field" "$(value "$out" $field)" "$version"
done
for field in ProductName FileDescription CompanyName; do
    [ -n "$(value "$out" $field)" ] || fail "version resource without $field"
done
out=$(run "$INSTALLED/VevoveRazara.exe" /VERSION) || fail "/VERSION exited with $?"
case "$out" in
    "VevoveRazara $version (commit "*")") ;;
    *) fail "/VERSION: [$out], the installer's version $version" ;;
esac
msi_description=$description
wait_for 20 state_is RUNNING || fail "not running after the installation: $(state)"
run net stop "$NAME" >/dev/null || fail "net stop exited with $?"
wait_for 10 state_is STOPPED || fail "not stopped: $(state)"
run net start "$NAME" >/dev/null || fail "net start exited with $?"
wait_for 10 state_is RUNNING || fail "not running after net start: $(state)"

# The store's files, which no installer may write.
printf '[Rivelto]\r\nServidor=10.0.0.5\r\nCaminho=C:\\Loja\\LOJA.FDB\r\n' >"$INSTALLED/Rivelto.ini"
printf '01/02/2026 10:00:00 - entrada da loja\r\n' >>"$INSTALLED/VevoveRazara.log"
printf '{"loja":"resposta"}' >"$INSTALLED/BRISEN_RESPOSTA.LOG"
mkdir "$WORK_DIR/store"
cp -p "$INSTALLED/Rivelto.ini" "$INSTALLED/VevoveRazara.log" "$INSTALLED/BRISEN_RESPOSTA.LOG" "$WORK_DIR/store/"
store_kept() {
    for file in Rivelto.ini VevoveRazara.log BRISEN_RESPOSTA.LOG; do
        cmp -s "$INSTALLED/$file" "$WORK_DIR/store/$file" || fail "$1: $file changed or gone"
    done
}

# One version up over it: the executable replaced, the registration and the store's files
# kept, the service running again.
msiexec_run upgrade.log /i "$(winepath -w "$NEXT_MSI")" || fail "the upgrade exited with $status"
cmp -s "$INSTALLED/VevoveRazara.exe" "$WORK_DIR/next/VevoveRazara.exe" || fail "the upgrade kept the old executable"
store_kept "upgrade"
check_registration "upgrade" "$INSTALLED_WIN"
wait_for 20 state_is RUNNING || fail "not running after the upgrade: $(state)"

# The older one over the newer: refused by its launch condition (Wine's log does not carry the
# condition's message), nothing changed.
if msiexec_run downgrade.log /i "$(winepath -w "$BASE_MSI")"; then fail "an older installer was accepted"; fi
# ERROR_INSTALL_FAILURE (1603), of which a Unix exit status keeps the low byte.
expect "exit code of an older installer" "$status" $((1603 % 256))
grep -aq "LaunchConditions. Return value 0" "$WORK_DIR/downgrade.log" ||
    fail "an older installer was not refused by its launch condition"
cmp -s "$INSTALLED/VevoveRazara.exe" "$WORK_DIR/next/VevoveRazara.exe" || fail "the refused installer changed the executable"
store_kept "downgrade"

# Removed: the service stopped and gone, the executable and the sources gone, the store's files kept.
msiexec_run uninstall.log /x "$(winepath -w "$NEXT_MSI")" || fail "msiexec /x exited with $status"
if run sc query "$NAME" >/dev/null; then fail "still registered after msiexec /x"; fi
[ ! -e "$INSTALLED/VevoveRazara.exe" ] || fail "the executable outlived msiexec /x"
check_no_sources "msiexec /x"
store_kept "msiexec /x"

# /INSTALL registers the same, with the same additions; /UNINSTALL removes the sources too.
SERVICE_WIN=$(winepath -w "$SERVICE_EXE")
run "$SERVICE_EXE" /install /silent >/dev/null || fail "/install exited with $?"
check_registration "/install" "$SERVICE_WIN"
expect "description, /install against the installer" "$description" "$msi_description"
run "$SERVICE_EXE" /uninstall /silent >/dev/null || fail "/uninstall exited with $?"
check_no_sources "/uninstall"

echo "installer under Wine: ok"
