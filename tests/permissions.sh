#!/usr/bin/env bash
# The built launcher beside an uninstall.exe that another account could change, started from a
# folder that holds a decoy uninstall.exe. Wine makes each file's security up from its Unix owner
# and mode: the "other" write bit gives Everyone write access, and a file of another Unix owner
# an owner that is not this user. Then nothing may run, neither the uninstaller nor a decoy: one
# box, and exit status 0. In a folder that only this user can write, the uninstaller runs.
#
# A folder whose name ends in spaces or dots has a look-alike: the sibling whose name the system
# would trim it to, "App" for "App ", which holds a decoy of its own. Each such folder is tried
# both ways round (itself open to others and the sibling not, then the other way, then no
# sibling), so that a check of the sibling instead of the folder shows.
#
# The checker, uninstall-check.exe, is given each folder too: it must say what the launcher did.
# Usage: permissions.sh SOURCE_FOLDER BUILD_FOLDER   (with a running Wine session)
set -euo pipefail
root=$1 build=$(cd "$2" && pwd)
wine() { "$root/cmake/wine-run" "$@"; }
umask 022  # the folders below are this user's alone unless a row says otherwise
work=$build/permissions-test
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
failures=0

# name | folder | folder's mode | uninstall.exe's mode | folder's owner | uninstall.exe's owner |
# the look-alike's mode ("": none) | outcome
cases=(
    "this user's own folder|app|755|755||||runs"
    "folder 0777|app|777|755||||refused"
    "folder 1777, as /tmp|app|1777|755||||refused"
    "uninstall.exe 0666|app|755|666||||refused"
    "folder of another user|app|755|755|nobody|||refused"
    "uninstall.exe of another user|app|755|755||nobody||refused"
    "'App ' alone|App |755|755||||runs"
    "'App ' 0777, 'App' this user's|App |777|755|||755|refused"
    "'App ' this user's, 'App' 0777|App |755|755|||777|runs"
    "'App. ' alone|App. |755|755||||runs"
    "'App. ' 0777, 'App' this user's|App. |777|755|||755|refused"
    "'App. ' this user's, 'App' 0777|App. |755|755|||777|runs"
)
i=0
for row in "${cases[@]}"; do
    IFS='|' read -r name folder folder_mode file_mode folder_owner file_owner sibling_mode outcome \
        <<<"$row"
    i=$((i + 1))
    if [ -n "$folder_owner$file_owner" ] && [ "$(id -u)" -ne 0 ]; then
        echo "permissions: $name: skipped (chown needs root)"
        continue
    fi
    app=$work/$i/$folder start=$work/$i/start
    mkdir -p "$app" "$start"
    cp "$build/uninstaller.exe" "$app/uninstaller.exe"
    cp "$build/sample-uninstall.exe" "$app/uninstall.exe"
    cp "$build/sample-uninstall.exe" "$start/uninstall.exe"
    if [ -n "$sibling_mode" ]; then
        sibling=$work/$i/$(echo "$folder" | sed 's/[. ]*$//')
        mkdir -p "$sibling"
        cp "$build/sample-uninstall.exe" "$sibling/uninstall.exe"
        chmod "$sibling_mode" "$sibling"
    fi
    chmod "$file_mode" "$app/uninstall.exe"
    chmod "$folder_mode" "$app"
    [ -z "$folder_owner" ] || chown "$folder_owner" "$app"
    [ -z "$file_owner" ] || chown "$file_owner" "$app/uninstall.exe"
    report=$work/$i/report.txt
    ORVEX_SAMPLE_REPORT=$(wine winepath -w "$report" 2>/dev/null | tr -d '\r')
    export ORVEX_SAMPLE_REPORT

    (cd "$start" && timeout 60 "$root/cmake/wine-run" "$app/uninstaller.exe"; echo $? > "$work/$i/status") &
    box_text= boxes=0
    for _ in $(seq 60); do
        if text=$(wine "$build/close-box.exe" 'Cannot run ".\uninstall.exe"' 500); then
            box_text=${text%$'\r'} boxes=$((boxes + 1))
        fi
        [ -s "$work/$i/status" ] && [ $boxes -gt 0 -o "$outcome" = runs ] && break
    done
    wait
    status=$(cat "$work/$i/status" 2>/dev/null || echo none)
    if [ "$outcome" = runs ]; then
        for _ in $(seq 100); do grep -qx ended "$report" 2>/dev/null && break; sleep 0.1; done
    else
        sleep 1  # a start that happened anyway would have reported by now
    fi
    ran=$(sed -n 's/^folder: //p' "$report" 2>/dev/null | tr '\n' ' ' || true)
    # winepath would trim the folder's own name as the system does: the parent's, then that name.
    expected_folder="$(wine winepath -w "$work/$i" 2>/dev/null | tr -d '\r')\\$folder"

    checked=0
    wine "$build/uninstall-check.exe" "$expected_folder" >"$work/$i/check.txt" 2>&1 || checked=$?
    verdict=$(sed -n 's/^verdict: //p' "$work/$i/check.txt" | tr -d '\r')

    problem=
    [ "$status" = 0 ] || problem="exit status $status"
    if [ "$outcome" = runs ]; then
        [ $boxes = 0 ] || problem="${problem:+$problem; }a box: $box_text"
        [ "$ran" = "$expected_folder " ] || problem="${problem:+$problem; }ran in: ${ran:-nothing}"
        [ $checked = 0 ] && [ "$verdict" = "the launcher would start \"$expected_folder\\uninstall.exe\"" ] ||
            problem="${problem:+$problem; }the checker says ($checked): $verdict"
    else
        [ $boxes = 1 ] || problem="${problem:+$problem; }$boxes boxes"
        [ "$box_text" = "Access denied. (0x5)" ] || problem="${problem:+$problem; }the box says: $box_text"
        [ -z "$ran" ] || problem="${problem:+$problem; }ran in: $ran"
        [ $checked = 5 ] && [ "$verdict" = "the launcher would start nothing and show \"Cannot run \".\\uninstall.exe\"\": Access denied. (0x5)" ] ||
            problem="${problem:+$problem; }the checker says ($checked): $verdict"
    fi
    if [ -n "$problem" ]; then
        echo "permissions: $name: FAILED: $problem"
        failures=$((failures + 1))
    else
        echo "permissions: $name: $outcome${box_text:+, the box says \"$box_text\"}"
    fi
    # Back to this user, so that the folder can be removed.
    chown -R "$(id -u)" "$work/$i" 2>/dev/null || true
    chmod -R u+w "$work/$i"
done
[ $failures = 0 ] || { echo "permissions: $failures cases failed"; exit 1; }
echo "permissions: passed"
