#!/usr/bin/env bash
# The checker, uninstall-check.exe, on real folders that Wine gives a security from their Unix
# modes: the verdict, its exit status as Windows sees it (all 32 bits, through cmd) and the
# line that says why, in a file, in UTF-8, for a folder named outside the ANSI code page.
# Usage: checker.sh SOURCE_FOLDER BUILD_FOLDER   (with a running Wine session)
set -euo pipefail
root=$1 build=$(cd "$2" && pwd)
wine() { "$root/cmake/wine-run" "$@"; }
export LC_ALL=C.UTF-8
umask 022
work=$build/checker-test
rm -rf "$work"
mkdir -p "$work"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
failures=0

# Runs the checker through cmd, which gives its whole exit code: "exit=N", then the report.
printf '@"%%~1" %%2 >"%%~3" 2>&1\r\n@echo exit=%%errorlevel%%\r\n' >"$work/run.bat"
check() {
    local out=$work/out.txt
    rm -f "$out"
    wine cmd /c "$(wine winepath -w "$work/run.bat" | tr -d '\r')" \
        "$(wine winepath -w "$build/uninstall-check.exe" | tr -d '\r')" "$1" \
        "$(wine winepath -w "$out" | tr -d '\r')" 2>/dev/null | tr -d '\r'
    tr -d '\r' <"$out" 2>/dev/null
}

folder="Orvex Пример 示例"
caption='Cannot run ".\uninstall.exe"'
# name | folder's mode | what is in it | exit code | a line the report holds
cases=(
    "a folder that everyone may write|777|uninstall.exe|5|folder \"%F\\\": Everyone (S-1-1-0) may add files, delete files in it, delete it (entry 3, not inherited)"
    "a locked-down folder|755|uninstall.exe|0|verdict: the launcher would start \"%F\\uninstall.exe\""
    "no uninstall.exe|755||2|verdict: the launcher would start nothing and show \"$caption\": File not found. (0x2)"
    "the launcher as uninstall.exe|755|launcher|1059|verdict: the launcher would start nothing and show \"$caption\": Circular dependency. (0x423)"
    "the launcher as uninstall.exe, in a folder everyone may write|777|launcher|5|verdict: the launcher would start nothing and show \"$caption\": Access denied. (0x5)"
)
i=0
for row in "${cases[@]}"; do
    IFS='|' read -r name mode content code line <<<"$row"
    i=$((i + 1))
    app=$work/$i/$folder
    mkdir -p "$app"
    case $content in
        uninstall.exe) cp "$build/sample-uninstall.exe" "$app/uninstall.exe" ;;
        launcher) cp "$build/uninstaller.exe" "$app/uninstall.exe" ;;
    esac
    chmod "$mode" "$app"
    windows_folder="$(wine winepath -w "$work/$i" | tr -d '\r')\\$folder"
    expected=${line//%F/$windows_folder}
    output=$(check "$windows_folder")
    problem=
    grep -qxF "exit=$code" <<<"$output" || problem="$(grep '^exit=' <<<"$output" || echo 'no exit code'), expected $code"
    grep -qxF "$expected" <<<"$output" || problem="${problem:+$problem; }no line: $expected"
    # One verdict, last.
    [ "$(grep -c '^verdict: ' <<<"$output")" = 1 ] && [[ "$(tail -n 1 <<<"$output")" = "verdict: "* ]] ||
        problem="${problem:+$problem; }not one verdict, last"
    if [ -n "$problem" ]; then
        echo "checker: $name: FAILED: $problem"
        sed 's/^/    /' <<<"$output"
        failures=$((failures + 1))
    else
        echo "checker: $name: exit $code"
    fi
done

# A wrong command line: usage on standard error, ERROR_INVALID_PARAMETER.
status=0
wine "$build/uninstall-check.exe" >/dev/null 2>"$work/usage.txt" || status=$?
if [ $status = 87 ] && grep -q '^usage: uninstall-check FOLDER' "$work/usage.txt"; then
    echo "checker: no folder given: exit 87 and the usage"
else
    echo "checker: no folder given: FAILED: exit $status, $(head -1 "$work/usage.txt")"
    failures=$((failures + 1))
fi

[ $failures = 0 ] || { echo "checker: $failures cases failed"; exit 1; }
echo "checker: passed"
