#!/usr/bin/env bash
# Measures the installer's size and speed against yardsticks and an NSIS peer, all built
# in this run, in a Wine prefix and Xvfb of its own, prints one table with every target met
# or missed, and draws the figures in docs/bench.png. Asserts nothing about the figures,
# but ends with exit status 1 when a program of the benchmark did not start or a series has
# no counted run, and says which and why.
#   bench/run.sh        RUNS (counted runs, default 9) and WARMUP (default 1) may be set;
#                       INSTALLER names another build of the executable to measure; BASELINE
#                       an earlier build, whose run is timed against this one's, in turn
# Run it as root on Debian 12 to have missing packages installed.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/windows"
WORK="$BUILD/bench/run"
RUNS="${RUNS:-9}"
WARMUP="${WARMUP:-1}"
kPackages=(cmake make g++-mingw-w64-x86-64-win32 wine64 wine fonts-wine xvfb xdotool nsis gnuplot-nox)
kPayloadCount=23
kFileCount=30
# Each target is a ratio of two medians measured side by side in this run.
kStartupPeerTarget=1.0
kStartupLogWindowTarget=1.10
kJobTarget=1.0
kRunTarget=1.25
# A change may make a complete run at most this much slower than the build before it.
kBaselineRunTarget=1.05
# No longer targets, still printed: no program with the installer's window can meet them.
kFormerStartupTarget=1.25
kFormerRunTarget=2.0
declare -A kLanguages=([Trovimo]='AR DK ES HR IT KR PT SE' [Lunesca]='DK ES HR IT KR PT SE')
declare -A kCode=([Trovimo]=TV [Lunesca]=LN)

INSTALLER="${INSTALLER:-$BUILD/app/KalvantaLanguageInstaller.exe}"
BASELINE="${BASELINE:-}"
DRIVER="$BUILD/tests/e2e/driver.exe"
STOPWATCH="$BUILD/bench/stopwatch.exe"
EMPTY="$BUILD/bench/emptywindow.exe"
LOGWINDOW="$BUILD/bench/logwindow.exe"
PLAINWRITE="$BUILD/bench/plainwrite.exe"
PEER="$WORK/peer-amd64-unicode.exe"
CHART="$ROOT/docs/bench.png"

# shellcheck source=tools/wine-session.sh
source "$ROOT/tools/wine-session.sh"
# Wine's loader errors stay on: they are what says why a program did not start.
export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all,err+module WINEDLLOVERRIDES="mscoree,mshtml="
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
driver() { wine "$DRIVER" "$@" </dev/null 2>>"$WORK/wine.log" | tr -d '\r'; }

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
            >>"$WORK/makensis.log" 2>&1 || { tail -20 "$WORK/makensis.log"; exit 1; }
        if [[ -n $have_payloads ]]; then
            makensis -V2 -DOUTFILE="$WORK/peer-$target.exe" -DTARGET=$target -DPAYLOADS="$WORK/payloads" \
                "$ROOT/bench/peer.nsi" >>"$WORK/makensis.log" 2>&1 || { tail -20 "$WORK/makensis.log"; exit 1; }
        fi
    done
}

# ---- what went wrong ----

# What kept the benchmark from measuring something, printed after the table.
problems=()

# Wine's own lines from LOG, those that mention NAME when it is given: the loader's
# errors and Wine's messages.
wine_says() {
    local lines
    lines=$(grep -E '(err:|wine:)' "$1" | grep -iF -- "${2:-}" | sed 's/^[0-9a-f]*:err:/err:/' | sort -u | head -8 ||
        true)
    if [[ -z $lines ]]; then
        echo "    (the Wine log $1 says nothing about it)"
    else
        echo "    Wine log:"
        printf '      %s\n' "${lines//$'\n'/$'\n      '}"
        grep -qi 'c0000135' <<<"$lines" &&
            echo "    (c0000135 is STATUS_DLL_NOT_FOUND: the program, or a DLL that it imports, was not found)"
    fi
    return 0
}

problem() { problems+=("$1"); }

# Ends the benchmark with exit status 1 when something was not measured, saying what and why.
end_on_problems() {
    ((${#problems[@]} == 0)) && return 0
    echo
    echo "The benchmark did not measure everything it should:"
    printf '%s\n' "${problems[@]}" | sed 's/^/  /'
    exit 1
}

# stopwatch SERIES MODE ARGUMENTS...: figures to times.txt, Wine's words to wine.log and,
# for this series alone, to stopwatch-SERIES.log. A stopwatch that failed without printing
# a line did not start (a warm-up alone prints nothing and succeeds).
declare -A unstarted=()
stopwatch() {
    local series=$1 status=0 log="$WORK/stopwatch-$1.log"
    shift
    wine "$STOPWATCH" "$@" </dev/null >"$WORK/stopwatch.out" 2>"$log" || status=$?
    tr -d '\r' <"$WORK/stopwatch.out" >>"$WORK/times.txt"
    cat "$log" >>"$WORK/wine.log"
    if ((status != 0)) && [[ ! -s $WORK/stopwatch.out ]]; then
        local absent=""
        [[ -f $STOPWATCH ]] || absent=$'\n'"    There is no $STOPWATCH."
        problem "bench/stopwatch.exe did not start for the $series series: exit status $status, nothing measured.$absent
$(wine_says "$log")"
        unstarted[$series]=yes
    fi
    return 0
}

# check_series FIGURE FAILED EXE SERIES: a problem when FIGURE has no counted run, with the
# reasons the stopwatch gave for the runs of FAILED and what Wine said of EXE; not again
# when the stopwatch of SERIES did not start at all.
check_series() {
    [[ -n $(values "$1") || -n ${unstarted[$4]:-} ]] && return 0
    local reasons
    reasons=$(awk -v label="$2" '$1 == "failed" && $2 == label { $1 = ""; $2 = ""; sub(/^  /, ""); print }' \
        "$WORK/times.txt" | sort | uniq -c | sed 's/^ */    /')
    problem "no counted run of $1 ($(basename "$3")):
${reasons:-    (the stopwatch reported no run of it)}
$(wine_says "$WORK/stopwatch-$4.log" "$(basename "$3")")"
}

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

median() { values "$1" | spread 3 | cut -d' ' -f2; }

# The ratio of the medians of A and B, between the least and the greatest run-by-run ratio.
median_ratio() {
    local low high
    read -r low _ high <<<"$(ratios "$1" "$2")"
    awk -v a="$(median "$1")" -v b="$(median "$2")" -v low="$low" -v high="$high" 'BEGIN {
        if (a == "n/a" || b == "n/a" || b == 0) print "n/a n/a n/a"
        else printf "%s %.2f %s\n", low, a / b, high }'
}

size() { [[ -f $1 ]] && stat -c %s "$1" || echo n/a; }

# "met" or "MISSED" when VALUE OP LIMIT holds or not, and by how much, with DECIMALS
# (default 2) and UNIT (default none).
verdict() {
    [[ $1 == n/a ]] && { echo "not measured"; return; }
    awk -v v="$1" -v l="$3" -v op="$2" -v decimals="${4:-2}" -v unit="${5:+ $5}" 'BEGIN {
        ok = op == "<" ? v < l : v <= l
        f = "%." decimals "f"
        if (ok) printf "met, " f "%s under (%.0f %%)\n", l - v, unit, 100 * (l - v) / l
        else printf "MISSED by " f "%s (%.0f %%)\n", v - l, unit, 100 * (v - l) / l }'
}

# row LABEL "MIN MEDIAN MAX" [NOTE]
row() {
    local min median max
    read -r min median max <<<"$2"
    printf '  %-62s %9s %9s %9s%s\n' "$1" "$min" "$median" "$max" "${3:+   $3}"
}
heading() { printf '  %s\n' "$1"; }
# step_rows PROGRAM: the steps of its run, as the stopwatch sees them from outside.
step_rows() {
    time_row "    press to Install disabled (the click reaches the handler)" "$1.press"
    time_row "    to Cancel relabelled: $kFileCount files written and shown" "$1.files"
    time_row "    to the information box shown" "$1.box"
}
# difference_row LABEL A B: A - B run by run.
difference_row() { row "$1" "$(paired "$2" "$3" - | spread)"; }
time_row() { row "$1" "$(values "$2" | spread)"; }
# ratio_row LABEL A B [TARGET]: the ratio of the medians, a target row when TARGET is given.
ratio_row() {
    local figures median
    figures=$(median_ratio "$2" "$3")
    read -r _ median _ <<<"$figures"
    row "$1" "$figures" "${4:+target <= $4: $(verdict "$median" '<=' "$4")}"
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
    printf '  %-62s %12s\n' "Size" "bytes"
    printf '  %-62s %12s\n' "payloads: $payload_files files in payloads/" "$payload_bytes"
    printf '  %-62s %12s\n' "payloads embedded in the executable: $embedded_count" "$embedded_bytes"
    printf '  %-62s %12s\n' "$(basename "$INSTALLER")" "$installer_size"
    printf '  %-62s %12s   target < empty NSIS (x86-unicode): %s\n' "  overhead over the payloads" \
        "$overhead" "$(verdict "$overhead" '<' "$empty_x86" 0 bytes)"
    printf '  %-62s %12s\n' "NSIS peer, empty (x86-unicode: Unicode true's default)" "$empty_x86"
    printf '  %-62s %12s\n' "NSIS peer, with the 30 files (x86-unicode)" "$(size "$WORK/peer-x86-unicode.exe")"
    printf '  %-62s %12s\n' "NSIS peer, empty (amd64-unicode)" "$empty_amd64"
    printf '  %-62s %12s\n' "NSIS peer, with the 30 files (amd64-unicode; timed below)" "$(size "$PEER")"
    echo "  sections of the executable (bytes in memory):"
    x86_64-w64-mingw32-size -A "$INSTALLER" | awk '$1 ~ /^\./ { printf " %s=%d", $1, $2 } END { print "" }' |
        fold -s -w 100 | sed 's/^/   /'
    echo
    row "Time (milliseconds)" "min median max"
    echo "  Ratios: the median column is the ratio of the two medians (what a target is measured by);"
    echo "  min and max are the least and the greatest ratio of the two taken run by run."
    heading "Start-up, process start to the shown window:"
    time_row "  installer" startup.installer
    time_row "  log window yardstick: the installer's five controls only" startup.logwindow
    time_row "  empty window" startup.emptywindow
    time_row "  NSIS peer with its window (instfiles page, details shown)" startup.peer
    ratio_row "start-up ratio installer / NSIS peer with its window" startup.installer startup.peer \
        "$kStartupPeerTarget"
    ratio_row "start-up ratio installer / log window" startup.installer startup.logwindow "$kStartupLogWindowTarget"
    ratio_row "  ratio installer / empty window (was a target: <= $kFormerStartupTarget)" \
        startup.installer startup.emptywindow
    ratio_row "  ratio log window / empty window" startup.logwindow startup.emptywindow
    time_row "  installer, in the whole-job runs below" installer.window
    time_row "  NSIS peer with its window, in the whole-job runs below" peerwindow.window
    heading "The whole job, process start to the closing message:"
    time_row "  installer: Install pressed on sight, to the information box" installer.job
    time_row "  log window yardstick: the same, with plain writes" logwindow.job
    time_row "  NSIS peer with its window: its install, to \"Completed\"" peerwindow.job
    ratio_row "whole-job ratio installer / NSIS peer with its window" installer.job peerwindow.job "$kJobTarget"
    ratio_row "  ratio installer / log window" installer.job logwindow.job
    heading "The run alone, Install press to the information box, and its steps:"
    time_row "  installer" installer.run
    step_rows installer
    time_row "  log window yardstick: the same display work, plain writes" logwindow.run
    step_rows logwindow
    time_row "    its write loop, timed in-process" logwindow.loop
    ratio_row "run ratio installer / log window" installer.run logwindow.run "$kRunTarget"
    ratio_row "  ratio of the steps with the files: installer / log window" installer.files logwindow.files
    heading "  Where the step with the files goes (Install disabled to Cancel relabelled):"
    time_row "    log window yardstick, plain writes" logwindow.files
    time_row "    + writing as the installer writes (temp, flush, move)" logwindow+replace.files
    time_row "    + checking log and bar as the installer checks them" logwindow+replace+checked.files
    time_row "    + its box set up as the installer's (undo, wrapping)" logwindow+replace+checked+box.files
    time_row "    installer" installer.files
    echo "    the same, run by run, as differences:"
    difference_row "    added by writing as the installer writes" logwindow+replace.files logwindow.files
    difference_row "    added by checking log and bar as the installer" \
        logwindow+replace+checked.files logwindow+replace.files
    difference_row "    added by setting up the box as the installer" \
        logwindow+replace+checked+box.files logwindow+replace+checked.files
    difference_row "    left: the installer's own work beyond these" installer.files logwindow+replace+checked+box.files
    time_row "  plain loop, $kFileCount CreateFileW/WriteFile (in-process)" plainwrite.loop
    time_row "  plain loop program, process start to exit" plainwrite.process
    time_row "  plain loop, safe replacement (temp, flush, move)" replacewrite.loop
    time_row "  NSIS peer with its window: page shown to \"Completed\"" peerwindow.files
    time_row "  NSIS peer (amd64-unicode) /S, process start to exit" peer.process
    ratio_row "  ratio installer / plain loop (was a target: <= $kFormerRunTarget)" installer.run plainwrite.loop
    ratio_row "  ratio log window's write loop / plain loop" logwindow.loop plainwrite.loop
    ratio_row "  ratio installer / NSIS peer silent install" installer.run peer.process
    if [[ -n $BASELINE ]]; then
        heading "This build against the baseline $(basename "$BASELINE") ($(size "$BASELINE") bytes), in turn:"
        time_row "  this build, the run alone" paired.run
        time_row "  the baseline, the run alone" baseline.run
        ratio_row "run ratio this build / baseline" paired.run baseline.run "$kBaselineRunTarget"
        ratio_row "  whole-job ratio this build / baseline" paired.job baseline.job
        ratio_row "  start-up ratio this build / baseline" paired.window baseline.window
    fi
    heading "Two running Trovimo instances:"
    time_row "  installer start to both ended" terminate.ended
    time_row "  installer start to shown window" terminate.shown
    time_row "    the same runs' partner: none running, start to shown" terminate.baseline
    difference_row "    start-up added by the two instances (paired)" terminate.shown terminate.baseline
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

# ---- the chart ----

kInstallerColour=1f5fa8
kYardstickColour=9a9a9a
kPeerColour=d9822b

# Bars of the medians with whiskers from the minimum to the maximum, group by group, in
# docs/bench.png; its data in chart.dat beside times.txt.
draw_chart() {
    local data="$WORK/chart.dat" y=0 group label figure colour min median max
    : >"$data"
    while IFS='|' read -r group label figure colour; do
        y=$((y + 1))
        [[ -n $label ]] || continue
        read -r min median max <<<"$(values "$figure" | spread)"
        [[ $median == n/a ]] && continue
        printf '%d %s %s %s %d "%s: %s"\n' "$y" "$min" "$median" "$max" "0x$colour" "$group" "$label" >>"$data"
    done <<EOF
start-up|installer|startup.installer|$kInstallerColour
start-up|log window yardstick|startup.logwindow|$kYardstickColour
start-up|empty window|startup.emptywindow|$kYardstickColour
start-up|NSIS peer with its window|startup.peer|$kPeerColour
|||
whole job|installer|installer.job|$kInstallerColour
whole job|log window yardstick|logwindow.job|$kYardstickColour
whole job|NSIS peer with its window|peerwindow.job|$kPeerColour
|||
run|installer, Install to the box|installer.run|$kInstallerColour
run|log window yardstick, the same|logwindow.run|$kYardstickColour
run|NSIS peer with its window, page to end|peerwindow.files|$kPeerColour
run|NSIS peer /S, start to exit|peer.process|$kPeerColour
run|plain write loop|plainwrite.loop|$kYardstickColour
EOF
    if [[ ! -s $data ]]; then
        echo "No chart: nothing was measured."
        return 0
    fi
    gnuplot >"$WORK/gnuplot.log" 2>&1 <<EOF || { cat "$WORK/gnuplot.log"; problem "gnuplot could not draw $CHART"; }
set terminal pngcairo size 900,560 font "DejaVu Sans,10"
set output "$CHART"
set termoption noenhanced
set title "Kalvanta Custom Language Files Installer beside its NSIS peer and yardsticks\n$RUNS runs, $(date -u '+%Y-%m-%d'), $(wine --version)\nload average (1, 5, 15 min) at the start: $load_before"
set xlabel "milliseconds: bar to the median, whisker from the least to the greatest run"
set yrange [$((y + 1)):0]
set xrange [0:*]
set ytics nomirror scale 0
set xtics nomirror
set grid xtics
set style fill solid 0.8 noborder
set key top right box opaque
plot "$data" using (\$3 / 2):1:(0):3:(\$1 - 0.38):(\$1 + 0.38):5:ytic(6) with boxxyerror lc rgb variable notitle, \\
     "" using 3:1:2:4 with xerrorbars lc rgb "black" pt 7 ps 0.4 notitle, \\
     "" using 4:1:(sprintf("  %.0f", \$3)) with labels left notitle, \\
     keyentry with boxes fill solid 0.8 lc rgb "#$kInstallerColour" title "the installer", \\
     keyentry with boxes fill solid 0.8 lc rgb "#$kPeerColour" title "NSIS peer", \\
     keyentry with boxes fill solid 0.8 lc rgb "#$kYardstickColour" title "yardsticks"
EOF
    echo "Chart: $CHART"
}

# ---- the run ----

bash "$ROOT/tools/install-packages.sh" "${kPackages[@]}"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
cd "$ROOT"
echo "Building (log in $WORK/build.log)"
mkdir -p "$WORK"
# Chained: under || a failed step would not stop the list, and a build folder copied from
# elsewhere, which CMake refuses to configure, would build into the folder it came from.
{
    cmake --preset windows &&
        cmake --build --preset windows -j2 --target KalvantaLanguageInstaller driver Trovimo Lunesca emptywindow \
            logwindow plainwrite stopwatch
} >"$WORK/build.log" 2>&1 || { tail -20 "$WORK/build.log"; echo "The build failed: nothing measured." >&2; exit 1; }

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
stopwatch warm-up startup 1 0 startup.installer "$(windows_path "$INSTALLER")" TfrmMain \
    startup.emptywindow "$(windows_path "$EMPTY")" BenchEmptyWindow \
    startup.logwindow "$(windows_path "$LOGWINDOW")" BenchLogWindow \
    startup.peer "$(windows_path "$PEER")" '#32770'
# Without a stopwatch nothing can be measured.
[[ -z ${unstarted[warm-up]:-} ]] || end_on_problems
stopwatch startup startup "$WARMUP" "$RUNS" startup.installer "$(windows_path "$INSTALLER")" TfrmMain \
    startup.emptywindow "$(windows_path "$EMPTY")" BenchEmptyWindow \
    startup.logwindow "$(windows_path "$LOGWINDOW")" BenchLogWindow \
    startup.peer "$(windows_path "$PEER")" '#32770'
if [[ -n $have_payloads ]]; then
    echo "Timing the whole job and the installation run"
    stopwatch run run "$WARMUP" "$RUNS" "$(windows_path "$INSTALLER")" "$(windows_path "$LOGWINDOW")" \
        "$(windows_path "$PLAINWRITE")" "$(windows_path "$PEER")" "$(windows_path "$WORK/plan.txt")"
    if [[ -n $BASELINE ]]; then
        echo "Timing this build against $BASELINE"
        stopwatch pair pair "$WARMUP" "$RUNS" "$(windows_path "$INSTALLER")" "$(windows_path "$BASELINE")" \
            "$(windows_path "$WORK/plan.txt")"
    fi
else
    problem "$payload_note
$(wine_says "$WORK/wine.log" "$(basename "$DRIVER")")"
fi
echo "Timing the termination of two instances"
stopwatch terminate terminate "$WARMUP" "$RUNS" "$(windows_path "$INSTALLER")" 'C:\Apps\Trovimo\Trovimo.exe'

check_series startup.installer startup.installer "$INSTALLER" startup
check_series startup.logwindow startup.logwindow "$LOGWINDOW" startup
check_series startup.emptywindow startup.emptywindow "$EMPTY" startup
if [[ -n $have_payloads ]]; then
    check_series startup.peer startup.peer "$PEER" startup
    check_series installer.job installer "$INSTALLER" run
    check_series logwindow.job logwindow "$LOGWINDOW" run
    check_series logwindow+replace.job logwindow+replace "$LOGWINDOW" run
    check_series logwindow+replace+checked.job logwindow+replace+checked "$LOGWINDOW" run
    check_series logwindow+replace+checked+box.job logwindow+replace+checked+box "$LOGWINDOW" run
    check_series peerwindow.job peerwindow "$PEER" run
    check_series plainwrite.loop plainwrite "$PLAINWRITE" run
    check_series replacewrite.loop replacewrite "$PLAINWRITE" run
    check_series peer.process peer "$PEER" run
    if [[ -n $BASELINE ]]; then
        check_series paired.run paired "$INSTALLER" pair
        check_series baseline.run baseline "$BASELINE" pair
    fi
fi
check_series terminate.ended terminate "$INSTALLER" terminate
check_series terminate.baseline terminate.baseline "$INSTALLER" terminate

print_table
draw_chart
end_on_problems
