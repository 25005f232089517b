#!/usr/bin/env bash
# The Wine session of a CTest run, the same as tools/check's: one persistent server in the
# build's prefix, booted before the first test. Started only when no server runs there (under
# tools/check one does), and ended by the run that started it.
# Usage: wine_session.sh start|end SOURCE_DIR BUILD_DIR
set -euo pipefail
action=$1 wine_env_root=$2 marker=$3/wine-session-started
. "$wine_env_root/cmake/wine-env.sh"

case $action in
    start)
        status=0
        wine_start_session || status=$?
        case $status in
            0) touch "$marker"; echo "wine_session: started a Wine server in $WINEPREFIX" ;;
            2) rm -f "$marker"; echo "wine_session: a Wine server runs in $WINEPREFIX already" ;;
            *) echo "wine_session: cannot start a Wine server in $WINEPREFIX (status $status)"; exit 1 ;;
        esac ;;
    end)
        if [ -f "$marker" ]; then
            rm -f "$marker"
            wineserver -k 2>/dev/null || true
            echo "wine_session: ended the Wine server that this run started"
        fi ;;
    *) echo "usage: wine_session.sh start|end SOURCE_DIR BUILD_DIR" >&2; exit 2 ;;
esac
