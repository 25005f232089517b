#!/usr/bin/env bash
# The NSIS example end to end under Wine: built with makensis into a folder whose name is outside
# the ANSI code page, installed silently, then removed the way the system does it, through Wine's
# list of installed programs. Checks the installed files and entry, that the system ran the
# launcher and saw it exit 0, and that the files, the folder and the entry are gone afterwards.
# Usage: tests/installer.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=$1 build=$2
launcher=$build/uninstaller.exe
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

command -v makensis >/dev/null || fail "makensis is missing (tools/install-deps installs nsis)"
[ -f "$launcher" ] || fail "$launcher is not built"
work=$build/installer-test
rm -rf "$work" && mkdir -p "$work/elsewhere"

# 1. The setup, with an uninstaller that needs no clicks (the launcher passes it no arguments).
setup=$work/orvex-example-setup.exe
timeout 60 makensis -V2 -WX -DSILENT_UNINSTALL "-DFOLDER=$folder" "-DLAUNCHER=$launcher" \
    "-DOUTFILE=$setup" "$root/examples/nsis/example.nsi" >"$work/makensis.log" 2>&1 ||
    { cat "$work/makensis.log"; fail "makensis failed"; }

# Where a 32-bit program's $PROGRAMFILES is: "Program Files (x86)" in a 64-bit prefix.
program_files=$(timeout 30 wine cmd /c 'echo %ProgramFiles%' | tr -d '\r')
install_dir="$program_files\\$folder"
unix_dir="$(timeout 30 wine winepath -u "$program_files" | tr -d '\r')"
unix_dir="${unix_dir%/}/$folder"
[ -d "${unix_dir%/*}" ] || fail "cannot find $program_files at $unix_dir"

# What an earlier failed run may have left.
timeout 30 wine reg delete "$key_path" /reg:32 /f >/dev/null 2>&1 || true
rm -rf "$unix_dir"

# 2. Silent install, then the files and the entry.
# Into a file, not CTest's pipe: once, something that the setup left running kept the pipe open
# for half a minute after the setup had ended.
status=0
timeout 120 wine "$setup" /S >"$work/setup.log" 2>&1 || status=$?
[ $status = 0 ] || { cat "$work/setup.log"; fail "the setup exited with status $status"; }
for f in uninstaller.exe uninstall.exe readme.txt orvex-example.ini; do
    [ -f "$unix_dir/$f" ] || fail "the setup did not install $f into $unix_dir"
done
cmp -s "$launcher" "$unix_dir/uninstaller.exe" || fail "the installed uninstaller.exe is not the built launcher"
cmp -s "$root/examples/nsis/readme.txt" "$unix_dir/readme.txt" || fail "readme.txt differs"

# A 32-bit setup writes to the 32-bit view (WOW6432Node in a 64-bit prefix). Exported rather
# than queried: reg's console output turns characters outside the code page into "?".
timeout 30 wine reg export "$key_path" "$(wine winepath -w "$work/entry.reg" | tr -d '\r')" /reg:32 /y \
    >/dev/null 2>&1 || fail "no entry $key_path in the 32-bit registry view"
if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] &&
    timeout 30 wine reg query "$key_path" /reg:64 >/dev/null 2>&1; then
    fail "the entry is in the 64-bit registry view too"
fi
iconv -f UTF-16 -t UTF-8 "$work/entry.reg" | tr -d '\r' >"$work/entry.txt"
# A value as a .reg file spells it: backslashes and quotes escaped.
reg_string() { local v=${1//\\/\\\\}; printf '"%s"' "${v//\"/\\\"}"; }
expect_value() {
    local name=$1 want=$2 got
    got=$(sed -n "s/^\"$name\"=//p" "$work/entry.txt")
    [ "$got" = "$want" ] || fail "$name is ${got:-missing}, expected $want"
}
expect_value DisplayName "$(reg_string "Orvex Example")"
expect_value Publisher "$(reg_string Halvorn)"
expect_value DisplayVersion "$(reg_string 1.0.0)"
expect_value InstallLocation "$(reg_string "$install_dir")"
expect_value NoModify dword:00000001
expect_value NoRepair dword:00000001
# Quoted: unquoted, the system tries "C:\Program", "C:\Program Files", ... in turn.
uninstall_string="\"$install_dir\\uninstaller.exe\""
expect_value UninstallString "$(reg_string "$uninstall_string")"

timeout 60 wine uninstaller --list >"$work/list.txt" 2>/dev/null || fail "wine uninstaller --list failed"
grep -q "^$key|||Orvex Example" "$work/list.txt" || fail "the system's list does not show the entry"

# 3. Removal as the system does it. Not from the build folder: there our uninstaller.exe would
# shadow Wine's. Into a file, not a pipe, which the uninstaller left running would hold open.
# The trace shows the entries read, the exit code of the command run, and any message box's text.
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

# 4. NSIS's uninstaller goes on from a copy in the temporary folder after the launcher has
# exited, so its work ends a little later.
deadline=$((SECONDS + 60))
while :; do
    left=""
    [ -e "$unix_dir" ] && left="the folder $unix_dir"
    if [ -z "$left" ]; then
        # reg says 1 for a key that is not there.
        status=0
        timeout 30 wine reg query "$key_path" /reg:32 >/dev/null 2>&1 || status=$?
        [ $status = 1 ] || left="the entry $key_path"
    fi
    [ -z "$left" ] && break
    [ $SECONDS -lt $deadline ] || fail "60 s after the removal, $left is still there: $(cd "$unix_dir" 2>/dev/null && echo *)"
    sleep 0.5
done

echo "installer: built the setup for \"$folder\" with makensis; installed it silently into $install_dir"
echo "installer: the entry holds $uninstall_string in the 32-bit registry view"
echo "installer: wine uninstaller --remove $key ran the launcher, which exited 0"
echo "installer: the files, the folder and the entry are gone; all checks passed in $((SECONDS - started)) s"
