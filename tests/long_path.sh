#!/usr/bin/env bash
# The launcher installed deeper than MAX_PATH, started from a folder that holds a decoy
# uninstall.exe, with another decoy in the ancestor that a path cut at MAX_PATH would name.
# Windows with long paths enabled may start the uninstaller; others, like Wine, refuse to enter
# so long a folder. Either way nothing but the launcher's own uninstall.exe may run, and a
# refusal must not read "File not found". (Wine's CreateProcess refuses so long a program path,
# so the launcher is started here by its Unix path.)
# Usage: long_path.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
# The build's prefix and quiet settings, also when run by hand outside a Wine session.
wine_run=$(cd "$(dirname "$0")/../cmake" && pwd)/wine-run
work=$build/long-path-test
rm -rf "$work"
mkdir -p "$work/start"
trap 'rm -rf "$work"' EXIT

# One long folder name spans the 260th character, so that the cut names an ancestor well
# inside the limit, which the system would enter.
app=$work
while [ ${#app} -lt 170 ]; do app="$app/folder-${#app}-xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"; done
app="$app/long-$(printf 'y%.0s' $(seq 100))"
while [ ${#app} -lt 330 ]; do app="$app/folder-${#app}-xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"; done
mkdir -p "$app"
# The launcher's own path as the system gives it, and the folder that a cut at MAX_PATH names.
windows_program="Z:$(echo "$app/uninstaller.exe" | tr / '\\')"
cut=${windows_program:0:260}
ancestor=$(echo "${cut%\\*}" | sed 's/^Z://' | tr '\\' /)
[ -d "$ancestor" ] || { echo "no ancestor folder $ancestor"; exit 1; }
echo "launcher: ${#windows_program} characters; the ancestor that a cut names: ${#ancestor}"

cp "$build/uninstaller.exe" "$app/uninstaller.exe"
for folder in "$app" "$work/start" "$ancestor"; do
    cp "$build/sample-uninstall.exe" "$folder/uninstall.exe"
done
export ORVEX_SAMPLE_REPORT="Z:$(echo "$work/report.txt" | tr / '\\')"
report=$work/report.txt

(cd "$work/start" && timeout 120 "$wine_run" "$app/uninstaller.exe"; echo $? > "$work/status") &
box_text= boxes=0
for _ in $(seq 60); do
    if text=$("$wine_run" "$build/close-box.exe" 'Cannot run ".\uninstall.exe"' 1000); then
        box_text=$text boxes=$((boxes + 1))
    fi
    [ -s "$work/status" ] && break
done
wait
status=$(cat "$work/status" 2>/dev/null || echo none)

fail() { echo "FAILED: $*"; echo "report:"; cat "$report" 2>/dev/null; exit 1; }
[ "$status" = 0 ] || fail "the launcher's exit status is $status"
if [ $boxes -gt 0 ]; then
    echo "refused, with the box: $box_text"
    [ $boxes = 1 ] || fail "$boxes boxes"
    [ -n "$box_text" ] || fail "the box has no text"
    case $box_text in *"(0x2)") fail "the box says the file is missing, yet it is there" ;; esac
    sleep 1  # a start that happened anyway would have reported by now
    ! grep -q '^folder: ' "$report" 2>/dev/null || fail "a box came up, yet a program ran"
else
    for _ in $(seq 100); do grep -qx ended "$report" 2>/dev/null && break; sleep 0.2; done
    folders=$(grep '^folder: ' "$report" 2>/dev/null | sed 's/^folder: //' || true)
    [ "$folders" = "Z:$(echo "$app" | tr / '\\')" ] || fail "ran in: ${folders:-nothing}"
    echo "started the uninstaller beside it"
fi
echo "long_path: passed"
