#!/usr/bin/env bash
# The NSIS example end to end under Wine, built with makensis into a folder whose name is outside
# the ANSI code page, twice:
# - as an author ships it, with pages: installed silently, then removed as a management tool
#   does it, by running the entry's QuietUninstallString with no one at the screen;
# - with an uninstaller that needs no clicks: installed silently, then removed the way the system
#   does it, through Wine's list of installed programs, which runs the launcher.
# Checks the installed files and entry each time, and that the files, the folder and the entry
# are gone afterwards. Leaves the exported entries in build/.../installer-test/.
# Usage: tests/installer.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=$1 build=$2
launcher=$build/uninstaller.exe
checker=$build/uninstall-check.exe
run_entry=$build/run-entry.exe
folder="Orvex Пример 示例"
key=OrvexExample
key_path="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$key"
# makensis and Wine read and write these names in the locale's encoding.
export LC_ALL=C.UTF-8
wine() { "$root/cmake/wine-run" "$@"; }
# The prefix that cmake/wine-run runs in.
wine_env_root=$root
. "$root/cmake/wine-env.sh"
fail() { echo "installer: FAILED: $*" >&2; exit 1; }
started=$SECONDS
# Microseconds, for the removal's time.
now_us() { echo "${EPOCHREALTIME/./}"; }

command -v makensis >/dev/null || fail "makensis is missing (tools/install-deps installs nsis)"
[ -f "$launcher" ] || fail "$launcher is not built"
[ -f "$checker" ] || fail "$checker is not built"
[ -f "$run_entry" ] || fail "$run_entry is not built"
work=$build/installer-test
rm -rf "$work" && mkdir -p "$work/elsewhere"

# 1. The setups. "shipped" keeps the uninstaller's pages; "silent" has an uninstaller that needs
# no clicks, since the launcher passes it no arguments.
build_setup() {
    local name=$1; shift
    timeout 60 makensis -V2 -WX "$@" "-DFOLDER=$folder" "-DLAUNCHER=$launcher" "-DCHECKER=$checker" \
        "-DOUTFILE=$work/setup-$name.exe" "$root/examples/nsis/example.nsi" \
        >"$work/makensis-$name.log" 2>&1 ||
        { cat "$work/makensis-$name.log"; fail "makensis failed for the $name setup"; }
}
build_setup shipped
build_setup silent -DSILENT_UNINSTALL

# Where a 32-bit program's $PROGRAMFILES is: "Program Files (x86)" in a 64-bit prefix.
program_files=$(timeout 30 wine cmd /c 'echo %ProgramFiles%' | tr -d '\r')
install_dir="$program_files\\$folder"
unix_dir="$(timeout 30 wine winepath -u "$program_files" | tr -d '\r')"
unix_dir="${unix_dir%/}/$folder"
[ -d "${unix_dir%/*}" ] || fail "cannot find $program_files at $unix_dir"
# Quoted: unquoted, the system tries "C:\Program", "C:\Program Files", ... in turn.
uninstall_string="\"$install_dir\\uninstaller.exe\""
quiet_string="\"$install_dir\\uninstall.exe\" /S"

# A value as a .reg file spells it: backslashes and quotes escaped.
reg_string() { local v=${1//\\/\\\\}; printf '"%s"' "${v//\"/\\\"}"; }
expect_value() {
    local entry=$1 name=$2 want=$3 got
    got=$(sed -n "s/^\"$name\"=//p" "$entry")
    [ "$got" = "$want" ] || fail "$name is ${got:-missing}, expected $want (${entry##*/})"
}

# A silent install, then the files and the entry, exported into entry-NAME.reg and .txt.
install() {
    local name=$1 entry=$work/entry-$1.txt status=0
    # What an earlier run may have left.
    timeout 30 wine reg delete "$key_path" /reg:32 /f >/dev/null 2>&1 || true
    rm -rf "$unix_dir"

    # Into a file, not CTest's pipe: once, something that the setup left running kept the pipe
    # open for half a minute after the setup had ended.
    timeout 120 wine "$work/setup-$name.exe" /S >"$work/setup-$name.log" 2>&1 || status=$?
    [ $status = 0 ] || { cat "$work/setup-$name.log"; fail "the $name setup exited with status $status"; }
    for f in uninstaller.exe uninstall.exe readme.txt orvex-example.ini; do
        [ -f "$unix_dir/$f" ] || fail "the $name setup did not install $f into $unix_dir"
    done
    cmp -s "$launcher" "$unix_dir/uninstaller.exe" || fail "the installed uninstaller.exe is not the built launcher"
    cmp -s "$root/examples/nsis/readme.txt" "$unix_dir/readme.txt" || fail "readme.txt differs"

    # A 32-bit setup writes to the 32-bit view (WOW6432Node in a 64-bit prefix). Exported rather
    # than queried: reg's console output turns characters outside the code page into "?".
    timeout 30 wine reg export "$key_path" "$(wine winepath -w "$work/entry-$name.reg" | tr -d '\r')" \
        /reg:32 /y >/dev/null 2>&1 || fail "no entry $key_path in the 32-bit registry view"
    if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] &&
        timeout 30 wine reg query "$key_path" /reg:64 >/dev/null 2>&1; then
        fail "the entry is in the 64-bit registry view too"
    fi
    iconv -f UTF-16 -t UTF-8 "$work/entry-$name.reg" | tr -d '\r' >"$entry"
    expect_value "$entry" DisplayName "$(reg_string "Orvex Example")"
    expect_value "$entry" Publisher "$(reg_string Halvorn)"
    expect_value "$entry" DisplayVersion "$(reg_string 1.0.0)"
    expect_value "$entry" InstallLocation "$(reg_string "$install_dir")"
    expect_value "$entry" NoModify dword:00000001
    expect_value "$entry" NoRepair dword:00000001
    expect_value "$entry" UninstallString "$(reg_string "$uninstall_string")"
    expect_value "$entry" QuietUninstallString "$(reg_string "$quiet_string")"
    # In KB, rounded down as GetSize does: the whole folder's bytes divided by 1024.
    local bytes
    bytes=$(find "$unix_dir" -type f -printf '%s\n' | awk '{ total += $1 } END { print total }')
    expect_value "$entry" EstimatedSize "$(printf 'dword:%08x' $((bytes / 1024)))"

    timeout 60 wine uninstaller --list >"$work/list-$name.txt" 2>/dev/null || fail "wine uninstaller --list failed"
    grep -q "^$key|||Orvex Example" "$work/list-$name.txt" || fail "the system's list does not show the entry"
}

# The uninstaller's processes in this prefix: uninstall.exe, and the copy of itself that NSIS's
# uninstaller goes on in from the temporary folder, told the folder by "_?=".
uninstaller_pids() { wine_prefix_pids 'uninstall\.exe|_\?='; }

# A window in a trace of +msgbox,+dialog: a message box by its text, else any dialog, a page
# included. With no one to click it, it waits for ever.
window_in() {
    local box
    box=$(sed -n 's/.*MSGBOX_OnInit //p' "$1" | head -1)
    [ -n "$box" ] && { echo "a message box ($box)"; return; }
    grep -q 'DIALOG_CreateIndirect' "$1" && echo "a dialog (a page, for example)"
    return 0
}
# The trace without the dialog channel's chatter.
show_trace() { grep -v ':trace:dialog:\(MSGBOX_DlgProc\|DIALOG_GetControl32\|DIALOG_ParseTemplate32\|DIALOG_CreateControls32\)' "$1" || true; }
# Ends the uninstaller's processes and fails.
fail_waiting() {
    local pids
    pids=$(uninstaller_pids | xargs)
    [ -z "$pids" ] || kill $pids 2>/dev/null || true
    fail "$*; uninstaller processes still running: ${pids:-none}"
}

# Waits until the files, the folder and the entry are gone, for up to 60 s. With a trace, a
# window in it fails the wait at once.
wait_gone() {
    local trace=${1:-} deadline=$((SECONDS + 60)) left status window
    while :; do
        if [ -n "$trace" ]; then
            window=$(window_in "$trace")
            if [ -n "$window" ]; then
                # A message box's dialog is traced before its text.
                sleep 0.5
                window=$(window_in "$trace")
                show_trace "$trace"
                fail_waiting "$window came up during the quiet removal and waits for a click"
            fi
        fi
        left=""
        [ -e "$unix_dir" ] && left="the folder $unix_dir"
        if [ -z "$left" ]; then
            # reg says 1 for a key that is not there.
            status=0
            timeout 30 wine reg query "$key_path" /reg:32 >/dev/null 2>&1 || status=$?
            [ $status = 1 ] || left="the entry $key_path"
        fi
        [ -z "$left" ] && return 0
        [ $SECONDS -lt $deadline ] ||
            fail_waiting "60 s after the removal began, $left is still there: $(cd "$unix_dir" 2>/dev/null && echo *)"
        sleep 0.05
    done
}

# 2. The shipped setup, removed as a management tool does it: the entry's QuietUninstallString,
# read from the registry and run whole, elevated (as everything under Wine), from another
# folder, with nothing on its input. The trace shows any message box or dialog, a page included.
install shipped
echo "installer: the entry of the shipped setup, exported after the install:"
cat "$work/entry-shipped.txt"
status=0
begin=$(now_us)
(cd "$work/elsewhere" && WINEDEBUG=-all,+msgbox,+dialog timeout 60 "$root/cmake/wine-run" \
    "$run_entry" "$key" QuietUninstallString </dev/null) >"$work/quiet.log" 2>&1 || status=$?
returned=$(now_us)
if [ $status = 124 ]; then
    show_trace "$work/quiet.log"
    window=$(window_in "$work/quiet.log")
    fail_waiting "the quiet command did not return within 60 s${window:+: $window came up and waits for a click}"
fi
[ $status = 0 ] || { show_trace "$work/quiet.log"; fail "the quiet command exited with status $status"; }
tr -d '\r' <"$work/quiet.log" | grep -qxF "run-entry: running $quiet_string" ||
    { show_trace "$work/quiet.log"; fail "the command run was not $quiet_string"; }
wait_gone "$work/quiet.log"
gone=$(now_us)
# Ended, not only done: nothing of it is left waiting.
deadline=$((SECONDS + 30))
while [ -n "$(uninstaller_pids)" ]; do
    [ $SECONDS -lt $deadline ] || fail_waiting "30 s after the removal, the uninstaller has not ended"
    sleep 0.05
done
ms() { echo "$((($1 - begin) / 1000)) ms"; }
echo "installer: the quiet command returned after $(ms "$returned"); the files, the folder and the entry were gone after $(ms "$gone")"

# 3. The silent setup, removed as the system does it. Not from the build folder: there our
# uninstaller.exe would shadow Wine's. Into a file, not a pipe, which the uninstaller left running
# would hold open. The trace shows the entries read, the exit code of the command run, and any
# message box's text.
install silent
status=0
(cd "$work/elsewhere" && WINEDEBUG=-all,+uninstaller,+msgbox timeout 60 "$root/cmake/wine-run" \
    uninstaller --remove "$key") >"$work/remove.log" 2>&1 || status=$?
box=$(sed -n 's/.*MSGBOX_OnInit //p' "$work/remove.log")
[ -z "$box" ] || { cat "$work/remove.log"; fail "a message box came up during the removal: $box"; }
[ $status = 124 ] && { cat "$work/remove.log"; fail "the removal did not end within 60 s"; }
[ $status = 0 ] || { cat "$work/remove.log"; fail "wine uninstaller --remove exited with status $status"; }
# Wine's trace names a string as L"..." with \\, \" and \XXXX for characters outside ASCII.
traced=$(/usr/bin/python3 -c 'import sys; s=sys.argv[1]
print("L\"" + "".join("\\\\" if c == "\\" else "\\\"" if c == "\"" else c if " " <= c < "\x7f"
    else "\\%04x" % ord(c) for c in s) + "\"")' "$uninstall_string")
grep -qF "allocated entry #1: L\"$key\" (L\"Orvex Example\"), $traced" "$work/remove.log" ||
    { cat "$work/remove.log"; fail "the system did not run $uninstall_string"; }
result=$(sed -n 's/.*:UninstallProgram \([0-9]*: [0-9a-f]*\)$/\1/p' "$work/remove.log")
[ "$result" = "1: 00000000" ] || { cat "$work/remove.log"; fail "the launcher did not start, or did not exit 0 (traced: ${result:-nothing})"; }
# NSIS's uninstaller goes on from a copy in the temporary folder after the launcher has exited,
# so its work ends a little later.
wait_gone

echo "installer: built two setups for \"$folder\" with makensis; installed each silently into $install_dir"
echo "installer: each entry holds $uninstall_string, $quiet_string and the folder's size in KB, in the 32-bit registry view"
echo "installer: the shipped setup's QuietUninstallString removed it with no window"
echo "installer: wine uninstaller --remove $key ran the launcher, which exited 0, and the silent setup's uninstaller"
echo "installer: the files, the folders and the entries are gone; all checks passed in $((SECONDS - started)) s"
