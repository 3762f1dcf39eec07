#!/bin/sh
# Where the support checks (/CHECK) look for the Firebird client, with DLLs standing in for it:
# beside the executable, in the folders the registry names for a Firebird installation (both
# registry views), then the system's search path, and never the current directory. Every file
# tried is named with its full path and why it failed, a 32-bit client as 32-bit; a file that
# loads is named with its path.
#   client_search.sh <VevoveRazara.exe> <directory of the stand-in DLLs>
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 <VevoveRazara.exe> <stand-in directory>" >&2
    exit 2
fi
. "$(dirname "$0")/prefix.sh"
new_prefix "$1"
standins=$2

printf '[Rivelto]\r\nServidor=127.0.0.1\r\nCaminho=C:\\Dados\\RIVELTO.FDB\r\n' >"$SERVICE_DIR/Rivelto.ini"
fb64="$WINEPREFIX/drive_c/Program Files/Firebird/Firebird_3_0"
fb32="$WINEPREFIX/drive_c/Program Files (x86)/Firebird/Firebird_3_0"
mkdir -p "$fb64" "$fb32"
instances='HKLM\SOFTWARE\Firebird Project\Firebird Server\Instances'
wine reg add "$instances" /v DefaultInstance /t REG_SZ /d 'C:\Program Files\Firebird\Firebird_3_0\' \
    /f /reg:64 >/dev/null 2>&1 || fail "reg add (64-bit view)"
wine reg add "$instances" /v DefaultInstance /t REG_SZ /d 'C:\Program Files (x86)\Firebird\Firebird_3_0\' \
    /f /reg:32 >/dev/null 2>&1 || fail "reg add (32-bit view)"
# The current directory holds clients that would load: they must never be tried.
mkdir -p "$WORK_DIR/cwd"
cp "$standins/no_interface.dll" "$WORK_DIR/cwd/fbclient.dll"
cp "$standins/no_interface.dll" "$WORK_DIR/cwd/fbembed.dll"

# The check's line for the client, run from the directory above.
client_line() {
    (cd "$WORK_DIR/cwd" && wine "$SERVICE_EXE" /CHECK) >"$WORK_DIR/out" 2>"$WORK_DIR/run.err" || true
    tr -d '\r' <"$WORK_DIR/out" | grep '^[A-Z]* *Biblioteca cliente do Firebird: ' ||
        fail "no client line: $(cat "$WORK_DIR/out")"
}
expect() {
    printf '%s\n' "$line" | grep -qF -- "$1" || fail "no \"$1\" in: $line"
}

# A 32-bit client beside the executable, a DLL that is no client in the 64-bit installation's
# folder, the 32-bit installation's own 32-bit client.
cp "$standins/client32.dll" "$SERVICE_DIR/fbclient.dll"
cp "$standins/not_client.dll" "$fb64/fbclient.dll"
cp "$standins/client32.dll" "$fb32/fbclient.dll"
line=$(client_line)
need64='é uma biblioteca de 32 bits; o serviço é de 64 bits e precisa do cliente do Firebird de 64 bits'
expect 'FALHA Biblioteca cliente do Firebird: Não foi possível carregar a biblioteca cliente ('
expect "C:\\Program Files\\Brisen Fiscal\\fbclient.dll: $need64; "
expect 'C:\Program Files\Firebird\Firebird_3_0\fbclient.dll: a biblioteca não exporta fb_get_master_interface'
expect "C:\\Program Files (x86)\\Firebird\\Firebird_3_0\\fbclient.dll: $need64; "
expect 'fbclient.dll (pastas de DLLs do sistema): '
expect 'C:\Program Files\Brisen Fiscal\fbembed.dll: '
expect 'C:\Program Files\Firebird\Firebird_3_0\fbembed.dll: '
expect 'fbembed.dll (pastas de DLLs do sistema): '
case $line in *%1*|*interface:*) fail "a placeholder or a client from the current directory: $line" ;; esac

# The 64-bit installation's client, once nothing stands before it, is the one loaded.
rm "$SERVICE_DIR/fbclient.dll"
cp "$standins/no_interface.dll" "$fb64/fbclient.dll"
line=$(client_line)
expect 'FALHA Biblioteca cliente do Firebird: A biblioteca cliente do Firebird não forneceu sua interface: C:\Program Files\Firebird\Firebird_3_0\fbclient.dll'

# A 32-bit client found on the system's search path: Windows' own text, its placeholder filled.
rm "$fb64/fbclient.dll" "$fb32/fbclient.dll"
cp "$standins/client32.dll" "$WINEPREFIX/drive_c/windows/system32/fbclient.dll"
line=$(client_line)
expect 'fbclient.dll (pastas de DLLs do sistema): '
expect 'fbclient.dll; o serviço precisa do cliente do Firebird de 64 bits; '
case $line in *%1*) fail "the system's text with its placeholder: $line" ;; esac
echo "Firebird client search under Wine: ok"
