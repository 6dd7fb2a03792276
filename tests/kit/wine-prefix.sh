#!/bin/sh
# Prepares the kit tests' own Wine prefix (WINEPREFIX from the environment)
# and maps the COM port the example hosts use to the display's pty link.
#   wine-prefix.sh COMNAME LINK
set -eu
port=$1 link=$2
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >"$WINEPREFIX.boot.log" 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /t REG_SZ /d "$link" /f >"$WINEPREFIX.reg.log" 2>&1
# The next start reads the mapping.
wineserver -k || true
echo "prefix $WINEPREFIX: $port -> $link"
