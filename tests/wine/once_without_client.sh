#!/bin/sh
# One cycle in the foreground (/ONCE) on a machine without the Firebird client library: the
# cycle logs one entry, "Falha na conexão com o banco de dados: " with the loader's reasons for
# both library names, writes no answer dump, and the run ends with exit code 1 and its line.
#   once_without_client.sh <VevoveRazara.exe>
set -eu
if [ $# -ne 1 ]; then
    echo "usage: $0 <VevoveRazara.exe>" >&2
    exit 2
fi
. "$(dirname "$0")/prefix.sh"
new_prefix "$1"

printf '[Rivelto]\r\nServidor=127.0.0.1\r\nCaminho=C:\\Dados\\RIVELTO.FDB\r\n' >"$SERVICE_DIR/Rivelto.ini"
status=0
(cd "$SERVICE_DIR" && wine "$SERVICE_EXE" /ONCE) >"$WORK_DIR/out" 2>"$WORK_DIR/run.err" || status=$?
[ "$status" -eq 1 ] || fail "exit code $status, expected 1"
# A Windows program ends its lines with CR LF.
tr -d '\r' <"$WORK_DIR/out" | grep -qxF 'Atualização não concluída; veja VevoveRazara.log' ||
    fail "standard output: $(cat "$WORK_DIR/out")"

log="$SERVICE_DIR/VevoveRazara.log"
[ -f "$log" ] || fail "no activity log"
# The log is in the ANSI code page, Windows-1252 in this prefix.
iconv -f CP1252 -t UTF-8 "$log" >"$WORK_DIR/log.txt" || fail "the log is not Windows-1252"
entries=$(grep -c ' - ' "$WORK_DIR/log.txt" || true)
[ "$entries" -eq 1 ] || fail "$entries log entries, expected one: $(cat "$WORK_DIR/log.txt")"
grep -Eq '^[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} - Falha na conexão com o banco de dados: .*fbclient\.dll.*fbembed\.dll' \
    "$WORK_DIR/log.txt" || fail "unexpected entry: $(cat "$WORK_DIR/log.txt")"
[ ! -e "$SERVICE_DIR/BRISEN_RESPOSTA.LOG" ] || fail "an answer dump was written"
echo "one cycle without a Firebird client under Wine: ok"
