# The Wine settings of the build's programs, shared by cmake/wine-run, tools/wine-session.sh and
# the tests' own session (tests/wine_session.sh). Sourced with wine_env_root set to the source
# folder; a WINEPREFIX, WINEDEBUG or WINEDLLOVERRIDES that the caller set is kept.
: "${WINEPREFIX:=$wine_env_root/build/wineprefix}"
: "${WINEDEBUG:=-all}"
# No Mono, Gecko or crash dialog; and no winemenubuilder, which writes menu entries and file
# associations into the user's home (~/.config/menus, ~/.local/share/applications, ...).
: "${WINEDLLOVERRIDES:=mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
# Wine gives Everyone write access to what has the "other" write bit, and the launcher refuses
# such a folder or uninstall.exe: what the tools, the tests and their Windows programs make is
# this user's alone, whatever the caller's umask.
umask 022

# A persistent server in the prefix, with Wine's own services up before anything else runs
# there: a first program that had to start them under CTest was seen to hang, since they held
# its output pipe open. Answers 2 when a server runs there already (and leaves it as it is).
#
# The first program in a new server boots the session by itself (Wine runs wineboot --init for
# it, which starts services.exe) and waits for that boot to end. "wineboot -r" is such a program
# that starts nothing more. "wineboot -i" would start a second service manager: the two take
# requests in turn, and a service started through the second one (RpcSs, which each window's
# desktop process asks for) times out after 10 s.
wine_start_session() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Making the Wine prefix ${WINEPREFIX#"$wine_env_root"/} (once, up to a minute)"
        # Made whole and written out before the persistent server starts in it.
        wineboot -r </dev/null >/dev/null 2>&1
        timeout 120 wineserver -w || true
    fi
    wineserver -p </dev/null >/dev/null 2>&1 || return $?
    wineboot -r </dev/null >/dev/null 2>&1
}

# The processes in this prefix whose command line matches an extended regular expression: Wine
# shows a process by its Windows command line, and only its environment tells the prefix.
wine_prefix_pids() {
    local pid
    for pid in $(pgrep -f "$1" || true); do
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
    done
    return 0
}
