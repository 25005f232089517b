# Sourced by the tools: a private, quiet Wine prefix under build/ and a virtual display, both
# ended when the calling script ends. The settings are cmake/wine-run's (cmake/wine-env.sh),
# whatever the caller has.
wine_session_start() {
    local root=$1
    unset WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
    wine_env_root=$root
    . "$root/cmake/wine-env.sh"
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
    wine_start_session || true
}

wine_session_stop() {
    wineserver -k 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
    return 0
}
