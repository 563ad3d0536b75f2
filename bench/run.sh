#!/usr/bin/env bash
# Measures the installer's size and speed against yardsticks and an NSIS peer, all built
# in this run, in a Wine prefix and Xvfb of its own, and prints one table. Asserts nothing.
#   bench/run.sh        RUNS (counted runs, default 9) and WARMUP (default 1) may be set;
#                       INSTALLER names another build of the executable to measure
# Run it as root on Debian 12 to have missing packages installed.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/windows"
WORK="$BUILD/bench/run"
RUNS="${RUNS:-9}"
WARMUP="${WARMUP:-1}"
kPackages=(cmake make g++-mingw-w64-x86-64-win32 wine64 wine fonts-wine xvfb xdotool nsis)
kPayloadCount=23
kFileCount=30
kStartupTarget=1.25
kRunTarget=2.0
declare -A kLanguages=([Trovimo]='AR DK ES HR IT KR PT SE' [Lunesca]='DK ES HR IT KR PT SE')
declare -A kCode=([Trovimo]=TV [Lunesca]=LN)

INSTALLER="${INSTALLER:-$BUILD/app/KalvantaLanguageInstaller.exe}"
DRIVER="$BUILD/tests/e2e/driver.exe"
STOPWATCH="$BUILD/bench/stopwatch.exe"
EMPTY="$BUILD/bench/emptywindow.exe"
LOGWINDOW="$BUILD/bench/logwindow.exe"
PLAINWRITE="$BUILD/bench/plainwrite.exe"

# shellcheck source=tools/wine-session.sh
source "$ROOT/tools/wine-session.sh"
export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
unset DISPLAY
began=$SECONDS

XVFB_PID=""
stop() {
    if [[ -d $WINEPREFIX ]]; then wineserver -k </dev/null >/dev/null 2>&1 || true; fi
    [[ -n $XVFB_PID ]] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$WINEPREFIX"
    return 0
}

quietly() { "$@" </dev/null >>"$WORK/wine.log" 2>&1; }
windows_path() { local path="${1//\//\\}"; echo "Z:$path"; }
driver() { wine "$DRIVER" "$@" </dev/null | tr -d '\r'; }

make_prefix() {
    make_wine_prefix "$WORK/wine.log"
    # One server for the whole measurement, kept running between the programs.
    wineserver -p </dev/null >/dev/null 2>&1
    local product
    for product in Trovimo Lunesca; do
        mkdir -p "$WINEPREFIX/drive_c/Apps/$product/Languages"
        cp "$BUILD/tools/standins/$product.exe" "$WINEPREFIX/drive_c/Apps/$product/"
        quietly wine reg add "HKLM\\Software\\Vexlo\\$product" /v Path /t REG_SZ \
            /d "C:\\Apps\\$product\\$product.exe" /f /reg:32
    done
}

# The embedded payloads, extracted as NAME.lng and NAME.bmp: exactly the bytes the installer writes.
extract_payloads() {
    mkdir -p "$WORK/payloads"
    local name extension
    for name in $(driver payloads "$(windows_path "$INSTALLER")"); do
        extension=bmp
        [[ $name == TEXT_* ]] && extension=lng
        driver extract "$(windows_path "$INSTALLER")" "$name" "$(windows_path "$WORK/payloads/$name.$extension")"
    done
}

# The 30 files in the order the installer writes them: source payload, then target.
write_plan() {
    local product code
    : >"$WORK/plan.txt"
    for product in Trovimo Lunesca; do
        for code in ${kLanguages[$product]}; do
            printf '%s\tC:\\Apps\\%s\\Languages\\%s.lng\n' \
                "$(windows_path "$WORK/payloads/TEXT_${kCode[$product]}_$code.lng")" "$product" "$code"
            printf '%s\tC:\\Apps\\%s\\Languages\\%s.bmp\n' \
                "$(windows_path "$WORK/payloads/ICON_$code.bmp")" "$product" "$code"
        done >>"$WORK/plan.txt"
    done
}

build_peers() {
    local target
    for target in x86-unicode amd64-unicode; do
        makensis -V2 -DOUTFILE="$WORK/peer-empty-$target.exe" -DTARGET=$target "$ROOT/bench/peer.nsi" \
            >>"$WORK/makensis.log"
        if [[ -n $have_payloads ]]; then
            makensis -V2 -DOUTFILE="$WORK/peer-$target.exe" -DTARGET=$target -DPAYLOADS="$WORK/payloads" \
                "$ROOT/bench/peer.nsi" >>"$WORK/makensis.log"
        fi
    done
}

stopwatch() { wine "$STOPWATCH" "$@" </dev/null 2>>"$WORK/wine.log" | tr -d '\r' >>"$WORK/times.txt" || true; }

# ---- figures ----

values() { awk -v label="$1" '$1 == label { print $2 }' "$WORK/times.txt"; }

# min, median and max of the numbers on standard input with DECIMALS (default 1), or "n/a" for none.
spread() {
    sort -g | awk -v decimals="${1:-1}" '{ v[NR] = $1 } END {
        if (NR == 0) { print "n/a n/a n/a"; exit }
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        f = "%." decimals "f"
        printf f " " f " " f "\n", v[1], m, v[NR] }'
}

# A OP B for each run in which both were measured (OP: / or -).
paired() {
    awk -v a="$1" -v b="$2" -v op="$3" '$1 == a { x[$3] = $2 } $1 == b { y[$3] = $2 }
        END { for (run in x) if (run in y) print op == "/" ? x[run] / y[run] : x[run] - y[run] }' "$WORK/times.txt"
}

# min, median and max of the ratio A/B taken run by run.
ratios() { paired "$1" "$2" / | spread 2; }

size() { [[ -f $1 ]] && stat -c %s "$1" || echo n/a; }

# "met" or "missed" when VALUE OP LIMIT holds or not.
verdict() {
    [[ $1 == n/a ]] && { echo "-"; return; }
    awk -v v="$1" -v l="$3" -v op="$2" 'BEGIN { ok = op == "<" ? v < l : v <= l; print ok ? "met" : "MISSED" }'
}

# row LABEL "MIN MEDIAN MAX" [NOTE]
row() {
    local min median max
    read -r min median max <<<"$2"
    printf '  %-56s %9s %9s %9s%s\n' "$1" "$min" "$median" "$max" "${3:+   $3}"
}
time_row() { row "$1" "$(values "$2" | spread)"; }
ratio_row() {
    local figures median
    figures=$(ratios "$2" "$3")
    read -r _ median _ <<<"$figures"
    row "$1" "$figures" "target <= $4: $(verdict "$median" '<=' "$4")"
}

print_table() {
    local installer_size payload_bytes payload_files embedded_bytes overhead
    installer_size=$(size "$INSTALLER")
    payload_files=$(find "$ROOT/payloads" -maxdepth 1 -type f \( -name '*.lng' -o -name '*.bmp' \) | wc -l)
    payload_bytes=$(find "$ROOT/payloads" -maxdepth 1 -type f \( -name '*.lng' -o -name '*.bmp' \) -printf '%s\n' |
        awk '{ s += $1 } END { print s + 0 }')
    embedded_bytes=$(find "$WORK/payloads" -type f -printf '%s\n' 2>/dev/null | awk '{ s += $1 } END { print s + 0 }')
    # Over what it really embeds; the same as payloads/ once every payload is built in.
    overhead=$((installer_size - embedded_bytes))
    local empty_x86 empty_amd64
    empty_x86=$(size "$WORK/peer-empty-x86-unicode.exe")
    empty_amd64=$(size "$WORK/peer-empty-amd64-unicode.exe")

    echo
    echo "Kalvanta Custom Language Files Installer: size and speed ($(date -u '+%Y-%m-%d %H:%M UTC'), $(wine --version))"
    echo "Runs: $RUNS counted after $WARMUP warm-up, all in one fresh Wine prefix with one wineserver kept running."
    echo "Timing: from inside the prefix by bench/stopwatch.exe with QueryPerformanceCounter, polling every 1 ms;"
    echo "        the plain loop times its own loop with QueryPerformanceCounter. Each run starts without the 30 files."
    echo "NSIS: the default x86 stub needs 32-bit Wine, which this prefix lacks; the amd64 build of the same script is timed."
    echo
    printf '  %-56s %12s\n' "Size" "bytes"
    printf '  %-56s %12s\n' "payloads: $payload_files files in payloads/" "$payload_bytes"
    printf '  %-56s %12s\n' "payloads embedded in the executable: $embedded_count" "$embedded_bytes"
    printf '  %-56s %12s\n' "$(basename "$INSTALLER")" "$installer_size"
    printf '  %-56s %12s   target < empty NSIS (x86-unicode): %s\n' "  overhead over the payloads" \
        "$overhead" "$(verdict "$overhead" '<' "$empty_x86")"
    printf '  %-56s %12s\n' "NSIS peer, empty (x86-unicode: Unicode true's default)" "$empty_x86"
    printf '  %-56s %12s\n' "NSIS peer, with the 30 files (x86-unicode)" "$(size "$WORK/peer-x86-unicode.exe")"
    printf '  %-56s %12s\n' "NSIS peer, empty (amd64-unicode)" "$empty_amd64"
    printf '  %-56s %12s\n' "NSIS peer, with the 30 files (amd64-unicode; timed below)" \
        "$(size "$WORK/peer-amd64-unicode.exe")"
    echo "  sections of the executable (bytes in memory):"
    x86_64-w64-mingw32-size -A "$INSTALLER" | awk '$1 ~ /^\./ { printf " %s=%d", $1, $2 } END { print "" }' |
        fold -s -w 100 | sed 's/^/   /'
    echo
    row "Time (milliseconds)" "min median max"
    time_row "start-up: installer, process start to shown window" startup.installer
    time_row "start-up: empty window, process start to shown window" startup.emptywindow
    ratio_row "start-up ratio installer / empty window" startup.installer startup.emptywindow "$kStartupTarget"
    time_row "start-up: log window (the installer's controls only)" startup.logwindow
    row "  ratio log window / empty window" "$(ratios startup.logwindow startup.emptywindow)"
    row "  ratio installer / log window" "$(ratios startup.installer startup.logwindow)"
    time_row "run: installer, Install press to information box" run.installer
    time_row "run: plain loop, $kFileCount CreateFileW/WriteFile (in-process)" run.plainwrite.loop
    time_row "run: plain loop program, process start to exit" run.plainwrite.process
    time_row "run: plain loop, safe replacement (temp, flush, move)" run.replacewrite.loop
    time_row "run: plain loop shown file by file in the log window" run.logwindow.loop
    time_row "run: NSIS peer (amd64-unicode) /S, process start to exit" run.peer.process
    ratio_row "run ratio installer / plain loop" run.installer run.plainwrite.loop "$kRunTarget"
    row "  ratio installer / plain loop in the log window" "$(ratios run.installer run.logwindow.loop)"
    row "  ratio plain loop in the log window / plain loop" "$(ratios run.logwindow.loop run.plainwrite.loop)"
    row "run ratio installer / NSIS peer silent install" "$(ratios run.installer run.peer.process)"
    time_row "two Trovimo instances: installer start to both ended" terminate.ended
    time_row "two Trovimo instances: installer start to shown window" terminate.shown
    time_row "  the same runs' partner: none running, start to shown" terminate.baseline
    row "  start-up added by the two instances (paired)" "$(paired terminate.shown terminate.baseline - | spread)"
    echo
    echo "Load average (1, 5, 15 min) at start: $load_before; at end: $(cut -d' ' -f1-3 /proc/loadavg)"
    if grep -q '^failed' "$WORK/times.txt"; then
        echo "Runs that failed and are not in the figures:"
        grep '^failed' "$WORK/times.txt" | sort | uniq -c | sed 's/^/  /'
    fi
    [[ -z $payload_note ]] || echo "$payload_note"
    ((payload_bytes == embedded_bytes)) ||
        echo "The embedded payloads ($embedded_bytes bytes) differ from the files in payloads/ ($payload_bytes bytes)."
    echo "Whole benchmark: $((SECONDS - began)) s."
}

# ---- the run ----

bash "$ROOT/tools/install-packages.sh" "${kPackages[@]}"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
cd "$ROOT"
echo "Building (log in $WORK/build.log)"
mkdir -p "$WORK"
{
    cmake --preset windows
    cmake --build --preset windows -j2 --target KalvantaLanguageInstaller driver Trovimo Lunesca emptywindow \
        logwindow plainwrite stopwatch
} >"$WORK/build.log" 2>&1 || { tail -20 "$WORK/build.log"; exit 1; }

stop
trap stop EXIT
rm -rf "$WORK/payloads" "$WORK"/peer*.exe
: >"$WORK/times.txt"
: >"$WORK/wine.log"
: >"$WORK/makensis.log"
start_xvfb 300 399 "$WORK/xvfb.log"
echo "Making a Wine prefix in $WINEPREFIX on display $DISPLAY"
make_prefix
extract_payloads
embedded_count=$(find "$WORK/payloads" -type f | wc -l)
have_payloads=""
payload_note=""
if ((embedded_count == kPayloadCount)); then
    have_payloads=yes
else
    payload_note="The executable embeds $embedded_count of the $kPayloadCount payloads: no peer with files, no run timed."
fi
write_plan
echo "Building the NSIS peers"
build_peers

echo "Timing start-up"
# Warms Wine's font cache and the file cache before anything is counted.
stopwatch startup 1 0 startup.installer "$(windows_path "$INSTALLER")" TfrmMain \
    startup.emptywindow "$(windows_path "$EMPTY")" BenchEmptyWindow \
    startup.logwindow "$(windows_path "$LOGWINDOW")" BenchLogWindow
stopwatch startup "$WARMUP" "$RUNS" startup.installer "$(windows_path "$INSTALLER")" TfrmMain \
    startup.emptywindow "$(windows_path "$EMPTY")" BenchEmptyWindow \
    startup.logwindow "$(windows_path "$LOGWINDOW")" BenchLogWindow
if [[ -n $have_payloads ]]; then
    echo "Timing the installation run"
    stopwatch run "$WARMUP" "$RUNS" "$(windows_path "$INSTALLER")" "$(windows_path "$PLAINWRITE")" \
        "$(windows_path "$LOGWINDOW")" "$(windows_path "$WORK/peer-amd64-unicode.exe")" "$(windows_path "$WORK/plan.txt")"
fi
echo "Timing the termination of two instances"
stopwatch terminate "$WARMUP" "$RUNS" "$(windows_path "$INSTALLER")" 'C:\Apps\Trovimo\Trovimo.exe'

print_table
