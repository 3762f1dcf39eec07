#!/bin/sh
# The support checks (/CHECK) on a machine without the Firebird client library, as on Windows:
# one line per check, the client library and everything behind it failing, the INI file and the
# directory beside the executable passing, exit code 1, and nothing written there.
#   check_without_client.sh <VevoveRazara.exe>
set -eu
if [ $# -ne 1 ]; then
    echo "usage: $0 <VevoveRazara.exe>" >&2
    exit 2
fi
. "$(dirname "$0")/prefix.sh"
new_prefix "$1"

printf '[Rivelto]\r\nServidor=127.0.0.1\r\nCaminho=C:\\Dados\\RIVELTO.FDB\r\n' >"$SERVICE_DIR/Rivelto.ini"
before=$(ls -A "$SERVICE_DIR" | sort)
status=0
(cd "$SERVICE_DIR" && wine "$SERVICE_EXE" /CHECK) >"$WORK_DIR/out" 2>"$WORK_DIR/run.err" || status=$?
[ "$status" -eq 1 ] || fail "exit code $status, expected 1"
tr -d '\r' <"$WORK_DIR/out" >"$WORK_DIR/lines"
expect() {
    grep -q "$1" "$WORK_DIR/lines" || fail "no line \"$1\" in: $(cat "$WORK_DIR/lines")"
}
expect '^OK    Arquivo INI: .*Servidor=127.0.0.1, Caminho=C:\\Dados\\RIVELTO.FDB$'
expect '^FALHA Biblioteca cliente do Firebird: .*fbclient\.dll'
expect '^FALHA Conexão com o banco de dados: 127.0.0.1/3050:C:\\Dados\\RIVELTO.FDB: sem a biblioteca cliente$'
expect '^FALHA Tabela PADRAO: não verificado'
expect '^OK    Arquivo VevoveRazara.log: '
expect '^OK    Arquivo BRISEN_RESPOSTA.LOG: '
lines=$(wc -l <"$WORK_DIR/lines")
[ "$lines" -eq 9 ] || fail "$lines lines, expected one per check: $(cat "$WORK_DIR/lines")"
after=$(ls -A "$SERVICE_DIR" | sort)
[ "$before" = "$after" ] || fail "files beside the executable changed: $after"
echo "support checks without a Firebird client under Wine: ok"
