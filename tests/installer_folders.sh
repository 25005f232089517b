#!/usr/bin/env bash
# The NSIS example (SafeFolder.nsh) in the folders that a user may choose, each beside a
# look-alike that the setup must treat the other way:
# - a folder that everyone may write (0777): installed, made safe, removed through the system's
#   list (Wine's Add/Remove Programs runs the launcher);
# - a read-only bind mount of such a folder, whose security cannot be set: refused, status 2,
#   no entry, nothing written; the same folder writable: installed;
# - a folder where a file cannot be written (a folder has its name): refused likewise; a folder
#   of another name in its place: installed;
# - a folder of another Unix owner (Wine: Anonymous), which the setup cannot take over: the
#   checker refuses it, and so does the setup; the same folder of this user: installed;
# - a drive that reports FAT32 (no access lists): refused before anything is written; the same
#   folder as a drive that reports NTFS: installed;
# - a second install into another folder: the first copy goes; one entry, one copy.
# Rows that need root (mounts, chown) say so and are skipped without it.
# Usage: tests/installer_folders.sh SOURCE_DIR BUILD_DIR [ROW...]   (rows: open readonly file owner fat second)
set -euo pipefail
root=$1 build=$2
shift 2
launcher=$build/uninstaller.exe
checker=$build/uninstall-check.exe
define_drive=$build/define-drive.exe
key=OrvexExample
key_path="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$key"
export LC_ALL=C.UTF-8
wine() { "$root/cmake/wine-run" "$@"; }
wine_env_root=$root
. "$root/cmake/wine-env.sh"
row=""
fail() { echo "installer_folders: FAILED${row:+ ($row)}: $*" >&2; exit 1; }
say() { echo "installer_folders: ${row:+$row: }$*"; }
started=$SECONDS

command -v makensis >/dev/null || fail "makensis is missing (tools/install-deps installs nsis)"
for f in "$launcher" "$checker" "$define_drive"; do [ -f "$f" ] || fail "$f is not built"; done
work=$build/installer-folders-test
# The folders live on the prefix's C: drive, under a name without spaces: the setup reads /D=
# only unquoted, and Wine quotes an argument that has a space.
base_win='C:\orvex-folders'
base=$WINEPREFIX/drive_c/orvex-folders
fat_letter=q
cleanup() {
    umount "$base/readonly" 2>/dev/null || true
    umount "$base/writable" 2>/dev/null || true
    wine "$define_drive" $fat_letter >/dev/null 2>&1 || true
}
trap cleanup EXIT
cleanup
rm -rf "$work" "$base" && mkdir -p "$work/elsewhere" "$base"

timeout 60 makensis -V2 -WX -DSILENT_UNINSTALL "-DLAUNCHER=$launcher" "-DCHECKER=$checker" \
    "-DOUTFILE=$work/orvex-example-setup.exe" "$root/examples/nsis/example.nsi" \
    >"$work/makensis.log" 2>&1 || { cat "$work/makensis.log"; fail "makensis failed"; }

reset() {
    timeout 30 wine reg delete "$key_path" /reg:32 /f >/dev/null 2>&1 || true
}
# The entry's InstallLocation, or nothing when there is no entry.
location() {
    { timeout 30 wine reg query "$key_path" /v InstallLocation /reg:32 2>/dev/null || true; } |
        tr -d '\r' | sed -n 's/^ *InstallLocation *REG_SZ *//p'
}
# Silent install into a Windows folder (none: the one the setup proposes); sets $status.
setup() {
    status=0
    timeout 120 wine "$work/orvex-example-setup.exe" /S ${1:+"/D=$1"} >>"$work/setup.log" 2>&1 || status=$?
}
# What is in a Unix folder, one name a line.
contents() { (cd "$1" && ls -A); }
expect_installed() {
    local dir=$1 win=$2 f got
    [ $status = 0 ] || fail "the setup exited with status $status"
    for f in uninstaller.exe uninstall.exe readme.txt orvex-example.ini; do
        [ -f "$dir/$f" ] || fail "no $f in $dir"
    done
    got=$(location)
    [ "$got" = "$win" ] || fail "the entry's InstallLocation is '${got:-no entry}', expected $win"
    # What the launcher will decide there.
    status=0
    timeout 60 wine "$checker" "$win" >"$work/check.txt" 2>&1 || status=$?
    [ $status = 0 ] || { cat "$work/check.txt"; fail "uninstall-check refuses the installed folder (status $status)"; }
}
# Refused: status 2, no entry, the folder as it was ($1 Unix folder, $2 its contents before).
expect_refused() {
    local dir=$1 before=$2 got
    [ $status = 2 ] || fail "the setup exited with status $status, expected 2 (refused)"
    got=$(location)
    [ -z "$got" ] || fail "the refused setup registered an entry for $got"
    if [ "$before" = missing ]; then
        [ ! -e "$dir" ] || fail "the refused setup left $dir: $(contents "$dir" | xargs)"
    else
        [ "$(contents "$dir")" = "$before" ] || fail "after the refused setup $dir holds [$(contents "$dir" | xargs)], before it held [$(echo $before)]"
    fi
}
# Through Wine's list of installed programs, which runs the launcher, from another folder (Wine
# looks for its own uninstaller.exe in the current one first). NSIS's uninstaller goes on from
# a copy after the launcher has exited, so its work ends a little later.
remove_through_list() {
    local s=0 result box deadline=$((SECONDS + 60))
    (cd "$work/elsewhere" && WINEDEBUG=-all,+uninstaller,+msgbox timeout 60 "$root/cmake/wine-run" \
        uninstaller --remove "$key") >"$work/remove.log" 2>&1 || s=$?
    box=$(sed -n 's/.*MSGBOX_OnInit //p' "$work/remove.log")
    [ -z "$box" ] || fail "a message box came up during the removal through the list: $box"
    [ $s = 0 ] || { cat "$work/remove.log"; fail "wine uninstaller --remove exited with status $s"; }
    result=$(sed -n 's/.*:UninstallProgram \([0-9]*: [0-9a-f]*\)$/\1/p' "$work/remove.log")
    [ "$result" = "1: 00000000" ] || { cat "$work/remove.log"; fail "the launcher did not run, or did not exit 0 (${result:-nothing traced})"; }
    while [ -n "$(location)" ]; do
        [ $SECONDS -lt $deadline ] || fail "60 s after the removal through the list, the entry is still there"
        sleep 0.2
    done
}
# $1 gone, or holding only $2.
expect_left() {
    local dir=$1 left=${2:-}
    if [ -z "$left" ]; then
        [ ! -e "$dir" ] || fail "$dir is still there: $(contents "$dir" | xargs)"
    else
        [ "$(contents "$dir")" = "$left" ] || fail "$dir holds $(contents "$dir" | xargs), expected only $left"
    fi
}
is_root() { [ "$(id -u)" = 0 ]; }

# Everyone may write the folder (the launcher refuses such a one: tests/permissions.sh): the
# setup makes it safe, and the list removes everything.
row_open() {
    row="a folder that everyone may write"
    reset
    mkdir -m 0777 "$base/open" && chmod 0777 "$base/open"
    setup "$base_win\\open"
    expect_installed "$base/open" "$base_win\\open"
    say "installed, and made safe: $(sed -n 's/^verdict: //p' "$work/check.txt")"
    remove_through_list
    expect_left "$base/open"
    say "removed through the list: files, folder and entry gone"
}

# A read-only mount: the folder's security cannot be set, nor a file written. Beside it, the
# same folder through a writable mount.
row_readonly() {
    row="a folder that cannot be written"
    mkdir -m 0777 "$base/ro-source" && chmod 0777 "$base/ro-source"
    echo "the user's own" >"$base/ro-source/notes.txt"
    mkdir "$base/readonly" "$base/writable"
    if ! is_root; then
        say "SKIPPED: a read-only bind mount needs root"
    elif ! mount --bind "$base/ro-source" "$base/readonly" 2>"$work/mount.log" ||
        ! mount -o remount,ro,bind "$base/readonly" 2>>"$work/mount.log"; then
        say "SKIPPED: cannot make a read-only bind mount here: $(tr '\n' ' ' <"$work/mount.log")"
    else
        mount --bind "$base/ro-source" "$base/writable" || fail "cannot bind-mount $base/writable"
        before=$(contents "$base/readonly") mode=$(stat -c %a "$base/ro-source")
        reset
        setup "$base_win\\readonly"
        expect_refused "$base/readonly" "$before"
        [ "$(stat -c %a "$base/ro-source")" = "$mode" ] || fail "the folder's mode changed"
        say "refused with status 2; no entry, nothing written"
        setup "$base_win\\writable"
        expect_installed "$base/writable" "$base_win\\writable"
        remove_through_list
        expect_left "$base/writable" notes.txt
        say "the same folder, writable: installed, and removed through the list (the user's file stays)"
    fi
}

# A file that cannot be written (a folder holds its name): a silent NSIS setup goes on past it,
# so the setup must see the error itself. Beside it, a folder of another name.
row_file() {
    row="a file that cannot be written"
    for blocker in readme.txt readme.d; do
        rm -rf "$base/blocked" && mkdir -p "$base/blocked/$blocker"
        before=$(contents "$base/blocked")
        reset
        setup "$base_win\\blocked"
        if [ $blocker = readme.txt ]; then
            expect_refused "$base/blocked" "$before"
            say "a folder named readme.txt in the way: refused with status 2; no entry, nothing written"
        else
            expect_installed "$base/blocked" "$base_win\\blocked"
            remove_through_list
            expect_left "$base/blocked" readme.d
            say "a folder of another name: installed, and removed through the list"
        fi
    done
}

# Another Unix owner, which Wine shows as Anonymous and the setup cannot change: the checker
# refuses the folder, so the setup stops and puts it back as it was. Beside it, this user's.
row_owner() {
    row="a folder of another owner"
    if ! is_root; then
        say "SKIPPED: chown needs root"
    else
        for owner in nobody root; do
            rm -rf "$base/owned" && mkdir -m 0777 "$base/owned" && chmod 0777 "$base/owned"
            echo "the user's own" >"$base/owned/notes.txt"
            chown "$owner" "$base/owned"
            before=$(contents "$base/owned") mode=$(stat -c %a "$base/owned")
            reset
            setup "$base_win\\owned"
            if [ $owner = nobody ]; then
                expect_refused "$base/owned" "$before"
                [ "$(stat -c %a "$base/owned")" = "$mode" ] ||
                    fail "the refused setup left the folder's mode $(stat -c %a "$base/owned"), it was $mode"
                say "owned by nobody: refused with status 2 after the checker's verdict; no entry, nothing written, the access list put back"
            else
                expect_installed "$base/owned" "$base_win\\owned"
                remove_through_list
                expect_left "$base/owned" notes.txt
                say "owned by root: installed, and removed through the list"
            fi
        done
    fi
}

# A drive without access lists. Wine's mount manager takes a drive's file system from its
# device's first sector; the device file lies on the drive itself, where Wine looks for it.
row_fat() {
    row="a FAT32 drive"
    fat_win="${fat_letter^^}:\\App"
    for kind in FAT32 NTFS; do
        # With a file of the user's in the folder already, which must stay either way.
        rm -rf "$base/drive" && mkdir -p "$base/drive/App"
        echo "the user's own" >"$base/drive/App/notes.txt"
        /usr/bin/python3 - "$base/drive/volume.img" "$kind" <<'EOF'
import struct, sys
sector = bytearray(65536)
if sys.argv[2] == "FAT32":
    # Jump, OEM name, 512-byte sectors, 8 per cluster, 32 reserved, 2 FATs, 1024000 sectors,
    # 999 per FAT, extended boot signature, serial, label, type.
    sector[0:11] = b"\xeb\x58\x90MSWIN4.1"
    struct.pack_into("<HBHB", sector, 0x0B, 512, 8, 32, 2)
    struct.pack_into("<II", sector, 0x20, 1024000, 999)
    sector[0x42] = 0x29
    struct.pack_into("<I", sector, 0x43, 0x0B5E55ED)
    sector[0x47:0x5A] = b"ORVEX USB  FAT32   "
    sector[510:512] = b"\x55\xaa"
open(sys.argv[1], "wb").write(sector)
EOF
        wine "$define_drive" $fat_letter "$base/drive" "$base/drive/volume.img" ||
            fail "define-drive could not give the drive the letter ${fat_letter^^}:"
        reset
        setup "$fat_win"
        if [ $kind = FAT32 ]; then
            expect_refused "$base/drive/App" notes.txt
            say "refused with status 2 before anything was written; no entry, the user's file kept"
        else
            expect_installed "$base/drive/App" "$fat_win"
            remove_through_list
            expect_left "$base/drive/App" notes.txt
            say "the same folder on a drive that reports NTFS: installed, and removed through the list"
        fi
        wine "$define_drive" $fat_letter
    done
}

# A second install: the setup proposes the first copy's folder; told another one all the
# same, it removes the first copy through its quiet command. One entry, one copy.
row_second() {
    row="a second install"
    reset
    mkdir "$base/first"
    setup "$base_win\\first"
    expect_installed "$base/first" "$base_win\\first"
    setup
    expect_installed "$base/first" "$base_win\\first"
    say "a second setup without /D= installed into the first copy's folder"
    setup "$base_win\\second"
    expect_installed "$base/second" "$base_win\\second"
    expect_left "$base/first"
    say "a third setup into another folder removed the first copy"
    remove_through_list
    expect_left "$base/second"
    say "removed through the list: nothing of either copy is left"
}

rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(open readonly file owner fat second)
for r in "${rows[@]}"; do
    declare -F "row_$r" >/dev/null || fail "no row $r (rows: open readonly file owner fat second)"
    "row_$r"
done
row=""
cleanup
rm -rf "$base"
say "all checks passed in $((SECONDS - started)) s"
