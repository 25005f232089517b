# Sourced by the tools: a private, quiet Wine prefix under build/ and a virtual display, both
# ended when the calling script ends.
wine_session_start() {
    local root=$1
    export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    mkdir -p "$root/build"

    if [ -z "${DISPLAY:-}" ] || [ -n "${CI:-}" ]; then
        local display_file
        display_file=$(mktemp)
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
        export DISPLAY=":$(cat "$display_file")"
        rm -f "$display_file"
    fi
    trap wine_session_stop EXIT

    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Making the Wine prefix build/wineprefix (once, about a minute)"
        # Made whole, and everything that made it ended, before the persistent server starts in
        # it: a server started in the empty folder left two service managers behind, and every
        # program's first window then waited 10 s for a service that never came.
        wineboot -i >/dev/null 2>&1
        timeout 120 wineserver -w || true
    fi
    # One persistent server, and Wine's own services up before the first test starts: a first
    # program that has to start them itself under CTest was seen to hang.
    wineserver -p || true
    wineboot -i >/dev/null 2>&1
}

wine_session_stop() {
    wineserver -k 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
    return 0
}
