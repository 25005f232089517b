#!/usr/bin/env bash
# Wine's services as the tests find them: one service manager for the prefix, and a service
# started through it reads as running on every query. With two managers each takes every other
# request: a query answers running and stopped in turn, and a start through the one that does
# not have the service times out after 10 s (which each window's desktop process then waits for
# when it asks for RpcSs).
# Usage: wine_services.sh SOURCE_DIR   (in a running session: tests/wine_session.sh start)
set -euo pipefail
wine_env_root=$1
. "$wine_env_root/cmake/wine-env.sh"
wine() { "$wine_env_root/cmake/wine-run" "$@"; }
fail() { echo "wine_services: FAILED: $*"; exit 1; }
managers=($(wine_prefix_pids '^C:.windows.system32.services\.exe'))
echo "wine_services: service managers in $WINEPREFIX: ${#managers[@]} (${managers[*]})"
[ ${#managers[@]} = 1 ] || fail "${#managers[@]} service managers; expected one"

wine sc start RpcSs >/dev/null 2>&1 || true  # already running is fine
states=$(for _ in 1 2 3 4; do wine sc query RpcSs 2>/dev/null | sed -n 's/.*STATE *: *[0-9]* *//p' | tr -d '\r'; done |
    tr '\n' ' ')
echo "wine_services: RpcSs on four queries: $states"
[ "$states" = "RUNNING RUNNING RUNNING RUNNING " ] || fail "RpcSs does not read as running on every query"
echo "wine_services: passed"
