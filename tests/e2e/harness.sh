#!/usr/bin/env bash
# Runs the installer's end-to-end tests under Wine in Xvfb.
#   harness.sh setup           starts Xvfb on a free display and makes a fresh Wine prefix
#   harness.sh run CASE [ARG]  runs one case of cases.sh in that prefix; exit 77 = skipped
#   harness.sh cleanup         stops every process the run started and removes the prefix
# BUILD (the windows build folder) must be set.
set -euo pipefail

: "${BUILD:?the windows build folder}"
E2E="$BUILD/e2e"
STATE="$E2E/state"
SCREENSHOTS="$BUILD/screenshots"
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/wine-session.sh
source "$HERE/../../tools/wine-session.sh"

export WINEPREFIX="$E2E/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
unset DISPLAY

INSTALLER="$BUILD/app/KalvantaLanguageInstaller.exe"
DRIVER="$BUILD/tests/e2e/driver.exe"
# One line for each Windows program that stalled in its start and was started once more,
# and for each case run once more because Wine ended one of the harness's own programs.
RETRIES="$E2E/retries.log"
# Names the harness's own program that Wine ended from outside during the case, if one was.
ENDED="$E2E/ended-from-outside"
# What the case's Wine server wrote, such as the protocol error for which it ends a client:
# it is printed nowhere else.
SERVER_LOG="$E2E/wineserver.log"
STANDINS="$BUILD/tools/standins"
kPayloadCount=23

setup() {
    cleanup
    mkdir -p "$E2E" "$SCREENSHOTS"
    : >"$RETRIES"
    start_xvfb 90 160 "$E2E/xvfb.log"
    printf 'DISPLAY=%s\nXVFB_PID=%s\n' "$DISPLAY" "$XVFB_PID" >"$STATE"
    make_wine_prefix "$E2E/wine.log"
    echo "Wine prefix ready on display $DISPLAY"
}

cleanup() {
    if [[ -d $WINEPREFIX ]]; then wineserver -k </dev/null >/dev/null 2>&1 || true; fi
    if mountpoint -q "$E2E/smalldisk"; then umount "$E2E/smalldisk" || true; fi
    if [[ -f $STATE ]]; then
        # shellcheck source=/dev/null
        source "$STATE"
        kill "$XVFB_PID" 2>/dev/null || true
        rm -f "$STATE"
    fi
    rm -rf "$WINEPREFIX"
}

# ---- helpers for the cases ----

fail() {
    FAILURE="$*"
    echo "FAILED: $*"
    if [[ -s $SERVER_LOG ]]; then
        echo "The Wine server wrote:"
        tail -n 20 "$SERVER_LOG"
    fi
    exit 1
}

skip() {
    echo "SKIPPED: $*"
    exit 77
}

# The driver's own failures say so and exit with 2 (its usage) or 3; any other exit code
# means that Wine ended it from outside.
driver() {
    local status=0
    wine "$DRIVER" "$@" </dev/null || status=$?
    ((status == 0)) || echo "driver $1: exit code $status" >&2
    ((status == 0 || status == 2 || status == 3)) || echo "the driver ($1, exit code $status)" >>"$ENDED"
    return "$status"
}

# Waits until the installer's window shows every KEY VALUE pair given.
expect() { driver expect "$@" || fail "the window did not show what was expected (above)"; }

keys() { driver keys "$@" || fail "could not type $*"; }

click() { driver click "$1" || fail "could not click $1"; }

windows_count() { driver count "$1" "$2" | tr -d '\r'; }

prefix_path() { echo "$WINEPREFIX/drive_c/${1#C:\\}" | tr '\\' '/'; }

registry_view() { [[ $1 == 32 ]] && echo /reg:32 || echo /reg:64; }

# wine_step WHAT COMMAND...: a Windows command whose output is shown only when it fails.
wine_step() {
    local said status=0
    said=$(wine "${@:2}" </dev/null 2>&1) || status=$?
    ((status == 0)) && return 0
    # reg and regedit give a reason when they fail; ended from outside they say nothing.
    [[ -n $said ]] || echo "$2 (exit code $status)" >>"$ENDED"
    fail "$1 (exit code $status): ${said//$'\r'/}"
}

# set_path PRODUCT VIEW TYPE DATA: the product's "Path" value in the 32- or 64-bit view.
set_path() {
    wine_step "could not set the Path of $1" \
        reg add "HKLM\\Software\\Vexlo\\$1" /v Path /t "$3" /d "$4" /f "$(registry_view "$2")"
}

# install_product PRODUCT FOLDER [VIEW]: the stand-in in FOLDER with its Languages folder, registered.
install_product() {
    local folder
    folder="$(prefix_path "$2")"
    mkdir -p "$folder/Languages"
    cp "$STANDINS/$1.exe" "$folder/"
    set_path "$1" "${3:-32}" REG_SZ "$2\\$1.exe"
}

# Under Wine a new process very rarely stalls before it has made any window, and so before
# it has looked at anything. Such a start is ended, said, counted in RETRIES, and made once more.
started_once_more() {
    local alive="had ended"
    kill -0 "$1" 2>/dev/null && alive="was still running"
    echo "WARNING: $2 did not start in time (it $alive); starting it once more" >&2
    echo "${CASE:-?}: $2 ($alive)" >>"$RETRIES"
    kill -9 "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# start_program CLASS TITLE LOG EXE [ARG...]: runs EXE, output into LOG, with EXTRA_DLL_OVERRIDES
# added to Wine's DLL overrides for EXE alone, and waits until there is one more window of CLASS
# and TITLE than before; sets STARTED_PID and STARTED_AT (in ns).
start_program() {
    local before attempt
    before=$(windows_count "$1" "$2")
    for attempt in 1 2; do
        STARTED_AT=$(date +%s%N)
        WINEDLLOVERRIDES="$WINEDLLOVERRIDES${EXTRA_DLL_OVERRIDES:+;$EXTRA_DLL_OVERRIDES}" \
            wine "${@:4}" </dev/null >"$3" 2>&1 &
        STARTED_PID=$!
        driver wait "$1" "$2" $((before + 1)) && return 0
        ((attempt == 1)) || return 1
        started_once_more "$STARTED_PID" "${4##*[/\\]}"
    done
}

# start_product PRODUCT FOLDER [OPTION...]: runs the stand-in and waits for its window.
start_product() {
    local class="TfrmTrovimo"
    [[ $1 == Lunesca ]] && class="TApplication"
    start_program "$class" "$1" /dev/null "$2\\$1.exe" "${@:3}" || fail "$1 did not start"
}

# start_installer [EXE]: runs the installer and waits for its window (hidden while it looks
# for the products).
start_installer() {
    start_program TfrmMain 'Kalvanta Custom Language Files Installer' "$E2E/installer.log" "${1:-$INSTALLER}" ||
        fail "the installer made no window, twice: $(tail -c 300 "$E2E/installer.log")"
    INSTALLER_PID=$STARTED_PID
}

# hold_open FILE: a driver keeps FILE open without sharing until HOLDER_PID is killed.
hold_open() {
    local attempt deadline
    for attempt in 1 2; do
        # Emptied here: the background job opens the log only some time after it has been
        # started, and until then the word of an earlier run would still be read.
        : >"$E2E/holder.log"
        wine "$DRIVER" hold "$(windows_path "$1")" </dev/null >"$E2E/holder.log" 2>&1 &
        HOLDER_PID=$!
        deadline=$((SECONDS + 30))
        while ! grep -q held "$E2E/holder.log" && kill -0 "$HOLDER_PID" 2>/dev/null && ((SECONDS < deadline)); do
            sleep 0.1
        done
        grep -q held "$E2E/holder.log" && return 0
        if ! kill -0 "$HOLDER_PID" 2>/dev/null || ((attempt == 2)); then break; fi
        started_once_more "$HOLDER_PID" "the driver holding ${1##*/}"
    done
    fail "could not hold $1 open: $(cat "$E2E/holder.log")"
}

# Waits for the installer to end by itself and checks its exit code.
installer_ended() {
    local deadline=$((SECONDS + 60))
    while kill -0 "$INSTALLER_PID" 2>/dev/null; do
        ((SECONDS < deadline)) || fail "the installer did not end"
        sleep 0.1
    done
    local code=0
    wait "$INSTALLER_PID" || code=$?
    [[ $code == 0 ]] || fail "exit code $code, expected 0"
}

screenshot() { import -display "$DISPLAY" -window root "$SCREENSHOTS/$1.png" || fail "no screenshot $1"; }

needs_all_payloads() {
    local count
    count=$(driver payloads "$INSTALLER" | tr -d '\r' | grep -c . || true)
    ((count == kPayloadCount)) ||
        skip "the installer embeds $count of the $kPayloadCount payloads; this case needs all of them"
}

# Every case starts from a prefix without products, registry values or running programs,
# and runs in one Wine server that stays up until the case ends. A server that Wine starts
# by itself shuts down about a second after its last program has ended, which happens
# whenever a case pauses between two commands; the next command then starts another
# server, which waits until the old one is gone, and the desktop and the system's own
# programs start again in it.
reset() {
    : >"$SERVER_LOG"
    local attempt
    for attempt in 1 2; do
        wineserver -k </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
        # Refused only while another server runs: one started since by a program of an
        # earlier case that was still on its way. That one is ended with the rest.
        wineserver -p </dev/null >>"$SERVER_LOG" 2>&1 && break
        ((attempt == 1)) || fail "the Wine server did not start"
    done
    # The server's first program starts the system's own ones, which take over its output
    # and live as long as the server: its output goes nowhere, or a command substitution
    # reading it would wait until the case ends.
    local view
    for view in 32 64; do
        wine reg delete 'HKLM\Software\Vexlo' /f "$(registry_view $view)" </dev/null >/dev/null 2>&1 || true
    done
    chmod -R u+w "$WINEPREFIX/drive_c/Apps" 2>/dev/null || true
    rm -rf "$WINEPREFIX/drive_c/Apps"
    # A case that changed the screen's resolution and failed before changing it back.
    if [[ -f $E2E/resolution-changed ]]; then set_resolution 96; fi
}

# set_resolution DPI: the resolution the next program started sees; 96 is the prefix's own.
set_resolution() {
    [[ $1 == 96 ]] || touch "$E2E/resolution-changed"
    wine_step "could not set the resolution to $1 dpi" \
        reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f
    [[ $1 != 96 ]] || rm -f "$E2E/resolution-changed"
}

# One attempt at a case, in a shell of its own.
attempt() {
    [[ -f $STATE ]] || { echo "the Wine prefix was not set up"; exit 1; }
    # shellcheck source=/dev/null
    source "$STATE"
    export DISPLAY
    # shellcheck source=tests/e2e/cases.sh
    source "$HERE/cases.sh"
    # shellcheck source=tests/e2e/faults.sh
    source "$HERE/faults.sh"
    CASE=$(case_name "$@")
    reset
    trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
    "case_$1" "${@:2}"
}

# The CTest name of a case, for the retry lines: e2e.quit.alt_f4, e2e.fault.disk_full.
case_name() { echo "e2e.${1/#fault_/fault.}${2:+.$2}"; }

# Under Wine one of the harness's own programs (the driver, reg, regedit) has been seen, rarely
# and for no reason found, to end in the middle of a case without a word and with an exit code
# that is none of its own. A case that failed after that is said, counted in RETRIES and run
# once more from the start; any other failure stands.
run() {
    local try status ended
    for try in 1 2; do
        rm -f "$ENDED"
        status=0
        bash "$HERE/harness.sh" attempt "$@" || status=$?
        if ((status == 0)); then
            echo "PASSED: $*"
            return 0
        fi
        if ((try == 2 || status == 77)) || [[ ! -f $ENDED ]]; then exit "$status"; fi
        ended=$(head -n 1 "$ENDED")
        echo "WARNING: Wine ended $ended from outside; running the case once more" >&2
        echo "$(case_name "$@"): run once more, Wine ended $ended" >>"$RETRIES"
    done
}

case "${1:-}" in
setup) setup ;;
cleanup) cleanup ;;
run) run "${@:2}" ;;
attempt) attempt "${@:2}" ;;
*) echo "usage: harness.sh setup|run CASE [ARG]|cleanup"; exit 2 ;;
esac
