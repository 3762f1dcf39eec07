#!/bin/sh
# `cmake --install` with a prefix, and with DESTDIR: every file it writes lies under the directory
# given, at the place it has on a store PC below that directory.
#   install_stays_in_prefix.sh <cmake> <build directory>
set -eu
cmake=$1
build=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/vr-install.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# check <directory> <manifest>: the files are there, and the manifest names nothing elsewhere
# (CMake lists a DESTDIR installation's files without DESTDIR: its names are prefixed first).
check() {
    for file in opt/vevoverazara/VevoveRazara lib/systemd/system/SrvVevoveRazara.service \
                etc/default/vevoverazara; do
        [ -f "$1/$file" ] || fail "$1/$file was not installed"
    done
    [ -s "$2" ] || fail "no install manifest"
    while IFS= read -r written; do
        case $written in
            "$1"/*) ;;
            *) fail "installed outside $1: $written" ;;
        esac
    done <"$2"
}

"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
cp "$build/install_manifest.txt" "$work/prefix.manifest"
check "$work/prefix" "$work/prefix.manifest"

DESTDIR="$work/destdir" "$cmake" --install "$build" >/dev/null
sed "s|^|$work/destdir|" "$build/install_manifest.txt" >"$work/destdir.manifest"
check "$work/destdir" "$work/destdir.manifest"
echo "every file under the directory given"
