# The fault matrix, sourced by harness.sh after cases.sh: each case_fault_NAME is the
# CTest test e2e.fault.NAME. A case arranges one fault, runs the installer, and sums up
# what the user saw (start-up report, file lines, box) and what is on disk in one line;
# it passes when that line is the one it expects. Both lines go into a row of the table
# that matrix.sh prints.
# shellcheck shell=bash
# shellcheck disable=SC2154 # the constants and helpers of cases.sh and harness.sh

FAULTS="$E2E/faults"
kMatrixRows="$E2E/fault-matrix.tsv"
kFaultInstaller="$FAULTS/KalvantaLanguageInstaller.exe"
kSmallDisk="$E2E/smalldisk"
kSmallDiskDrive="$WINEPREFIX/dosdevices/t:"
kProgramFilesTrovimo='C:\Program Files\Trovimo'

# The fault cases run a copy of the installer that carries payloads of the shipped sizes
# with contents of their own, so that they do not wait for the real payloads and every
# written byte can be traced to its payload.
declare -A kPayloadSizes=(
    [TEXT_TV_AR]=10340 [TEXT_TV_DK]=11220 [TEXT_TV_ES]=11614 [TEXT_TV_HR]=11750
    [TEXT_TV_IT]=12592 [TEXT_TV_KR]=7866 [TEXT_TV_PT]=11460 [TEXT_TV_SE]=10978
    [TEXT_LN_DK]=6062 [TEXT_LN_ES]=5968 [TEXT_LN_HR]=6264 [TEXT_LN_IT]=6422
    [TEXT_LN_KR]=4222 [TEXT_LN_PT]=6146 [TEXT_LN_SE]=5796
    [ICON_AR]=824 [ICON_DK]=824 [ICON_ES]=824 [ICON_HR]=824
    [ICON_IT]=824 [ICON_KR]=824 [ICON_PT]=824 [ICON_SE]=824
)

# ---- the matrix ----

# Starts a case: its row is written however the case ends, and what it set up is undone.
fault_case() {
    FAULT_NAME=${FUNCNAME[1]#case_fault_}
    FAULT_EXPECTED="" FAULT_SEEN="" FAULT_ROOTS=("$WINEPREFIX/drive_c/Apps") FAULT_DLL_OVERRIDES=""
    # A case run once more replaces the row of its first run.
    if [[ -f $kMatrixRows ]]; then sed -i "/^$FAULT_NAME\t/d" "$kMatrixRows"; fi
    trap 'fault_finish $?' EXIT
    # A step that fails outside a check still says which one it was.
    set -o errtrace
    trap '[[ -n ${FAILURE:-} ]] || { FAILURE="unexpected failure of: $BASH_COMMAND"; echo "FAILED: $FAILURE" >&2; }' ERR
    [[ -f $kFaultInstaller ]] || fail "no test build of the installer: e2e.fault.setup did not run"
    mkdir -p "$FAULTS/cwd"
}

fault_finish() {
    local result=PASS
    (($1 == 77)) && result=SKIP
    (($1 != 0 && $1 != 77)) && result=FAIL
    [[ -n $FAULT_SEEN || -z ${FAILURE:-} ]] || FAULT_SEEN="failed: ${FAILURE//$'\n'/ }"
    printf '%s\t%s\t%s\t%s\n' "$FAULT_NAME" "${FAULT_EXPECTED:--}" "${FAULT_SEEN:--}" "$result" >>"$kMatrixRows"
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    rm -f "$kSmallDiskDrive"
    if mountpoint -q "$kSmallDisk"; then umount "$kSmallDisk" || echo "could not unmount $kSmallDisk"; fi
    rm -rf "$FAULTS/cwd" "$(prefix_path "$kProgramFilesTrovimo")" "$kVictims"
    [[ ${gFarEnds:-} != /dev/shm/* ]] || rm -rf "$gFarEnds"
}

fault_skip() {
    FAULT_SEEN="skipped: $*"
    skip "$*"
}

# Passes when what the user saw is what was expected; notes in [brackets] are measurements
# shown in the table only.
verdict() {
    FAULT_EXPECTED=$1 FAULT_SEEN=$2
    local seen=${2// \[*\]/}
    [[ $1 == "$seen" ]] || fail "what the user saw differs:
  expected: $1
  seen:     $seen"
}

case_fault_setup() {
    rm -rf "$FAULTS"
    mkdir -p "$FAULTS/payloads"
    : >"$kMatrixRows"
    local name
    for name in "${!kPayloadSizes[@]}"; do
        head -c "${kPayloadSizes[$name]}" < <(yes "$name payload") >"$FAULTS/payloads/$name"
    done
    driver embed "$(windows_path "$INSTALLER")" "$(windows_path "$kFaultInstaller")" \
        "$(windows_path "$FAULTS/payloads")" || fail "could not build the installer with test payloads"
    local count
    count=$(driver payloads "$(windows_path "$kFaultInstaller")" | tr -d '\r' | grep -c . || true)
    ((count == kPayloadCount)) || fail "the test build carries $count payloads, not $kPayloadCount"
}

# ---- observing ----

# Each Windows path as the installer sees it, on this side; a relative path is taken from
# the folder the installer runs in.
unix_path() {
    local path=${1//\\//}
    if [[ $path =~ ^([A-Za-z]):(.*)$ ]]; then
        echo "$(readlink -f "$WINEPREFIX/dosdevices/${BASH_REMATCH[1],,}:")${BASH_REMATCH[2]}"
    else
        echo "$FAULTS/cwd/$path"
    fi
}

report_value() { driver report | tr -d '\r' | sed -n "s/^$1=//p"; }

# The log's lines as the user reads them; LOG escaped as the driver reports it.
log_lines() { printf '%b' "$1" | tr -d '\r'; }

# Long folders are cut short in the summary; the whole text is compared separately.
short_folder() {
    if ((${#1} <= 48)); then echo "$1"; else echo "${1:0:24}…(${#1} characters)"; fi
}

# The install folder of each product that the start-up report names.
declare -A gFolders
read_folders() {
    local line product=""
    gFolders=()
    while IFS= read -r line; do
        case $line in
        TROVIMO | LUNESCA) product=${line,,} product=${product^} ;;
        $'\tInstallation path: Not found.') ;;
        $'\tInstallation path: '*) gFolders[$product]=${line#*: } ;;
        esac
    done < <(log_lines "$1")
}

# The product whose install folder begins PATH, or "unknown".
owner_of() {
    local product
    for product in "${!gFolders[@]}"; do
        if [[ $1 == "${gFolders[$product]}"* ]]; then echo "$product"; return; fi
    done
    echo unknown
}

# "16 OK", "15 OK, 1 Error (DK.lng)", "2 OK (AR.bmp DK.bmp), 14 Error": the smaller side
# is named when it has at most three files.
file_counts() {
    local -a oks errors
    local text=""
    read -ra oks <<<"$1"
    read -ra errors <<<"$2"
    if ((${#oks[@]})); then
        text="${#oks[@]} OK"
        if ((${#oks[@]} <= 3 && ${#errors[@]} > 3)); then text+=" (${oks[*]})"; fi
    fi
    if ((${#oks[@]} && ${#errors[@]})); then text+=", "; fi
    if ((${#errors[@]})); then
        text+="${#errors[@]} Error"
        if ((${#errors[@]} <= 3)); then text+=" (${errors[*]})"; fi
    fi
    echo "$text"
}

# One line of what the user saw: each product's start-up block, each product's files in
# the run, and the box. LOG and BOX are escaped as the driver reports them; the whole log
# is compared with EXPECTED_LOG, so that what the summary leaves out counts too.
summary() {
    local log=$1 box=$2 expected_log=$3 text="" line product="" terminated=0 running="" status name
    local -A ok=() error=()
    read_folders "$log"
    while IFS= read -r line; do
        case $line in
        TROVIMO | LUNESCA) product=$line terminated=0 running="" ;;
        $'\tInstances terminated: '*) terminated=${line##*: } ;;
        $'\tInstances still running: '*) running=", ${line##*: } still running" ;;
        $'\tInstallation path: Not found.') text+="$product: not found; " ;;
        $'\tInstallation path: '*) text+="$product: $(short_folder "${line#*: }"), $terminated terminated$running; " ;;
        \"*\"\ -\ OK | \"*\"\ -\ Error)
            status=${line##* - } name=${line%\" - *} name=${name##*\\}
            if [[ $status == OK ]]; then
                ok[$(owner_of "${line:1}")]+="$name "
            else
                error[$(owner_of "${line:1}")]+="$name "
            fi
            ;;
        esac
    done < <(log_lines "$log")
    for product in Trovimo Lunesca unknown; do
        if [[ -n ${ok[$product]:-}${error[$product]:-} ]]; then
            text+="$product files: $(file_counts "${ok[$product]:-}" "${error[$product]:-}"); "
        fi
    done
    if [[ $log == *"Installation log:"* && $text != *files:* ]]; then text+="no file lines; "; fi
    if [[ $log != "$kIntroduction"* ]]; then text+="introduction missing; "; fi
    local caption=${box%%|*} message
    message=$(printf '%b' "${box#*|}" | tr -d '\r' | tr '\n' ' ' | tr -s ' ')
    case $caption in
    none) text+="no box" ;;
    "$kTitle") text+="error box: $message" ;;
    Information) text+="information box: $message" ;;
    *) text+="box \"$caption\": $message" ;;
    esac
    if [[ $log != "$expected_log" ]]; then text+="; log text differs"; fi
    echo "$text"
}

# Every folder, file and link below the roots, with the hash of each file and where each link
# points; paths as unix_path gives them.
snapshot() {
    local root
    for root in "${FAULT_ROOTS[@]}"; do
        if [[ -e $root ]]; then
            find "$(readlink -f "$root")" -type d -printf '%p\tfolder\n' -o -type l -printf '%p\tlink to %l\n' \
                -o -type f -printf '%p\t' -exec sh -c 'sha256sum <"$1" | cut -c1-16' _ {} \;
        fi
    done | sort
}

payload_hash() { sha256sum <"$FAULTS/payloads/$1" | cut -c1-16; }

# What happened on disk: "disk intact" when every file logged as OK is its payload and
# nothing else was created, changed or lost; otherwise what was.
disk_audit() {
    local before=$1 after=$2 log=$3 line path name payload unix problems=""
    local -A written=() was=() now=()
    while IFS=$'\t' read -r path line; do was[$path]=$line; done <"$before"
    while IFS=$'\t' read -r path line; do now[$path]=$line; done <"$after"
    read_folders "$log"
    while IFS= read -r line; do
        [[ $line == \"*\"\ -\ OK ]] || continue
        path=${line:1} path=${path%\" - OK} name=${path##*\\}
        case $name in
        *.lng) payload=TEXT_${kPayloadCode[$(owner_of "$path")]:-XX}_${name%.lng} ;;
        *) payload=ICON_${name%.bmp} ;;
        esac
        unix=$(unix_path "$path")
        written[$unix]=1
        if [[ ! -f $FAULTS/payloads/$payload || ${now[$unix]:-} != "$(payload_hash "$payload")" ]]; then
            problems+="$name is not its payload; "
        fi
    done < <(log_lines "$log")
    while IFS= read -r path; do
        if [[ -n ${written[$path]:-} || ${was[$path]:-} == "${now[$path]:-}" ]]; then continue; fi
        if [[ -z ${was[$path]:-} ]]; then
            problems+="${path##*/} appeared; "
        elif [[ -z ${now[$path]:-} ]]; then
            problems+="${path#"$WINEPREFIX/"} lost; "
        else
            problems+="${path#"$WINEPREFIX/"} changed; "
        fi
    done < <(printf '%s\n' "${!was[@]}" "${!now[@]}" | sort -u)
    if [[ -n $problems ]]; then echo "disk: ${problems%; }"; else echo "disk intact"; fi
}

# Start-up times fall in one of these bands; a case expects one.
time_band() {
    if (($1 < 50)); then echo "under 5 s"
    elif (($1 < 100)); then echo "5 to 10 s"
    else echo "10 s or more"
    fi
}

# ---- running the installer ----
# Each sets gSeen to the summary of what the user saw.

# Starts the test build (or EXE) in its own empty folder, with FAULT_DLL_OVERRIDES added to
# Wine's DLL overrides, and waits for its window; gTenths is how long the window took, in
# tenths of a second. A start that stalls is made once more (start_program).
start_fault_installer() {
    cd "$FAULTS/cwd" || fail "no folder to run the installer in"
    EXTRA_DLL_OVERRIDES=$FAULT_DLL_OVERRIDES start_installer "${1:-$kFaultInstaller}"
    expect window shown box none
    gTenths=$((($(date +%s%N) - STARTED_AT) / 100000000))
}

# Presses Install and sums up the run, with the disk audit. A PLANT function given runs once
# the window is shown, as a user would act while it waits; the disk is taken after it.
install_and_sum_up() {
    local expected_log=$1 plant=${2:-} log box
    [[ -n $plant ]] || snapshot >"$FAULTS/before"
    start_fault_installer
    if [[ -n $plant ]]; then
        "$plant"
        snapshot >"$FAULTS/before"
    fi
    keys main Return
    driver ready box || fail "no box after the run"
    log=$(report_value log)
    box=$(report_value box)
    snapshot >"$FAULTS/after"
    gSeen="$(summary "$log" "$box" "$expected_log"); $(disk_audit "$FAULTS/before" "$FAULTS/after" "$log")"
    keys box Return
    keys main Return
    installer_ended
}

# Sums up the start-up (of EXE), with how many instances run afterwards and how long the window took.
start_up_sum_up() {
    local expected_log=$1 log box
    start_fault_installer "${2:-}"
    log=$(report_value log)
    box=$(report_value box)
    gSeen="$(summary "$log" "$box" "$expected_log"); $(windows_count TfrmTrovimo Trovimo) running afterwards"
    gSeen+="; shown after $(time_band "$gTenths") [measured $((gTenths / 10)).$((gTenths % 10)) s]"
    keys main Escape
    installer_ended
}

# Sums up an error box that comes before the window, and the window after it.
error_box_sum_up() {
    local expected_log=$1 log box
    cd "$FAULTS/cwd" || fail "no folder to run the installer in"
    start_installer "$kFaultInstaller"
    driver ready box || fail "no error box"
    box=$(report_value box)
    keys box Return
    expect window shown box none
    log=$(report_value log)
    gSeen="$(summary "$log" "$box" "$expected_log"); $(windows_count TfrmTrovimo Trovimo) running afterwards"
    # When this box goes, the running Trovimo is activated until the window shows; under
    # Wine its late handling of that can leave the window behind, so the mouse ends it:
    # a click reaches it either way.
    click btnCancel
    installer_ended
}

# ---- arranging ----

# install_trovimo FOLDER: the stand-in in FOLDER with its Languages folder, not yet registered.
install_trovimo() {
    local folder
    folder="$(prefix_path "$1")"
    mkdir -p "$folder/Languages"
    cp "$STANDINS/Trovimo.exe" "$folder/"
}

trovimo_registered() {
    install_trovimo "$1"
    set_path Trovimo 32 REG_SZ "$1\\Trovimo.exe"
}

# start_trovimos COUNT [OPTION...]: COUNT more running instances in C:\Apps\Trovimo.
start_trovimos() {
    local i
    for ((i = 0; i < $1; i++)); do
        start_program TfrmTrovimo Trovimo /dev/null "$kTrovimo\\Trovimo.exe" "${@:2}" ||
            fail "$1 Trovimo instances did not start"
    done
}

# set_value VIEW TYPE: the bytes on stdin become Trovimo's "Path" value, exactly.
set_value() {
    cat >"$FAULTS/value.bin"
    driver regset "$1" 'Software\Vexlo\Trovimo' Path "$2" "$(windows_path "$FAULTS/value.bin")" ||
        fail "could not set the Path value"
}

utf16() { iconv -f UTF-8 -t UTF-16LE; }

# The whole log of a run in which only Trovimo is found in FOLDER and the files named fail.
trovimo_run_log() {
    echo "$kIntroduction$(found_block Trovimo 0 "$1")$(missing_block Lunesca)$kRunHeading$(file_lines Trovimo "$1" "${@:2}")"
}

# The whole log of a start-up in which only Trovimo is found, with COUNT instances terminated.
trovimo_start_up_log() { echo "$kIntroduction$(found_block Trovimo "$1" "$kTrovimo")$(missing_block Lunesca)"; }

kFoundOne="TROVIMO: $kTrovimo\\, 1 terminated; LUNESCA: not found; no box; 0 running afterwards; shown after under 5 s"
kWrongType="error box: Invalid data type for 'Path'; 1 running afterwards"

# ---- the files ----

case_fault_disk_full() {
    fault_case
    [[ $(id -u) == 0 ]] || fault_skip "mounting a small disk needs root"
    [[ $(getconf PAGESIZE) == 4096 ]] || fault_skip "the expected split assumes pages of 4 KiB"
    mkdir -p "$kSmallDisk"
    mount -t tmpfs -o size=64k tmpfs "$kSmallDisk" 2>"$FAULTS/mount.log" ||
        fault_skip "cannot mount a 64 KiB tmpfs: $(cat "$FAULTS/mount.log")"
    ln -sfn "$kSmallDisk" "$kSmallDiskDrive"
    FAULT_ROOTS+=("$kSmallDisk")
    local languages="$kSmallDisk/Trovimo/Languages"
    mkdir -p "$languages"
    printf 'the old Swedish file' >"$languages/SE.lng"
    printf 'left alone' >"$languages/readme.txt"
    # Two pages are left: AR.lng (three pages) runs out of room in its middle, its flag
    # fits in the room that its removed temporary file gave back, and so on.
    local free
    free=$(($(stat -f -c '%a * %S' "$kSmallDisk")))
    head -c $((free - 8192)) /dev/zero >"$kSmallDisk/filler"
    set_path Trovimo 32 REG_SZ 'T:\Trovimo\Trovimo.exe'
    install_and_sum_up "$(trovimo_run_log 'T:\Trovimo' AR.lng DK.lng ES.lng ES.bmp HR.lng HR.bmp IT.lng IT.bmp \
        KR.lng KR.bmp PT.lng PT.bmp SE.lng SE.bmp)"
    verdict 'TROVIMO: T:\Trovimo\, 0 terminated; LUNESCA: not found; Trovimo files: 2 OK (AR.bmp DK.bmp), 14 Error; information box: Installation is finished. There were 14 errors.; disk intact' "$gSeen"
}

case_fault_target_is_folder() {
    fault_case
    trovimo_registered "$kTrovimo"
    mkdir "$(prefix_path "$kTrovimo")/Languages/DK.lng"
    printf 'inside' >"$(prefix_path "$kTrovimo")/Languages/DK.lng/inside.txt"
    install_and_sum_up "$(trovimo_run_log "$kTrovimo" DK.lng)"
    verdict 'TROVIMO: C:\Apps\Trovimo\, 0 terminated; LUNESCA: not found; Trovimo files: 15 OK, 1 Error (DK.lng); information box: Installation is finished. There was one error.; disk intact' "$gSeen"
}

case_fault_languages_is_file() {
    fault_case
    trovimo_registered "$kTrovimo"
    rmdir "$(prefix_path "$kTrovimo")/Languages"
    printf 'not a folder' >"$(prefix_path "$kTrovimo")/Languages"
    install_product Lunesca "$kLunesca"
    install_and_sum_up "$kIntroduction$(found_block Trovimo 0 "$kTrovimo")$(found_block Lunesca 0 "$kLunesca")$kRunHeading$(file_lines Trovimo "$kTrovimo" all)$(file_lines Lunesca "$kLunesca")"
    verdict 'TROVIMO: C:\Apps\Trovimo\, 0 terminated; LUNESCA: C:\Apps\Lunesca\, 0 terminated; Trovimo files: 16 Error; Lunesca files: 14 OK; information box: Installation is finished. There were 16 errors.; disk intact' "$gSeen"
}

case_fault_long_path() {
    fault_case
    local folder="$kTrovimo" part
    part=$(printf 'x%.0s' $(seq 60))
    folder+="\\$part\\$part\\$part\\$part"
    trovimo_registered "$folder"
    local target="$folder\\Languages\\AR.lng"
    ((${#target} > 260)) || fail "the target path is only ${#target} characters long"
    install_and_sum_up "$(trovimo_run_log "$folder")"
    verdict "TROVIMO: $(short_folder "$folder\\"), 0 terminated; LUNESCA: not found; Trovimo files: 16 OK; information box: Installation is finished. There were no errors.; disk intact" "$gSeen"
}

case_fault_unicode_folder() {
    fault_case
    local folder='C:\Apps\Программы\트로비모\تروفيمو'
    trovimo_registered "$folder"
    install_and_sum_up "$(trovimo_run_log "$folder")"
    verdict "TROVIMO: $folder\\, 0 terminated; LUNESCA: not found; Trovimo files: 16 OK; information box: Installation is finished. There were no errors.; disk intact" "$gSeen"
}

# ---- the "Path" value; Trovimo is installed in C:\Apps\Trovimo and one instance runs ----

running_trovimo() {
    install_trovimo "$kTrovimo"
    start_trovimos 1
}

case_fault_reg_binary() {
    fault_case
    running_trovimo
    printf '%s' "$kTrovimo\\Trovimo.exe" | utf16 | set_value 32 REG_BINARY
    error_box_sum_up "$kIntroduction"
    verdict "$kWrongType" "$gSeen"
}

case_fault_reg_multi_sz() {
    fault_case
    running_trovimo
    printf '%s\0%s\0\0' "$kTrovimo\\Trovimo.exe" 'C:\Other\Trovimo.exe' | utf16 | set_value 32 REG_MULTI_SZ
    error_box_sum_up "$kIntroduction"
    verdict "$kWrongType" "$gSeen"
}

# The reference is not expanded: the folder is taken as written, a relative one, so every
# file fails and nothing reaches the folder that the reference names.
case_fault_reg_expand_sz() {
    fault_case
    running_trovimo
    printf '%%ProgramFiles%%\\Trovimo\\Trovimo.exe\0' | utf16 | set_value 32 REG_EXPAND_SZ
    mkdir -p "$(prefix_path "$kProgramFilesTrovimo")/Languages"
    printf 'the old Danish file' >"$(prefix_path "$kProgramFilesTrovimo")/Languages/DK.lng"
    FAULT_ROOTS+=("$(prefix_path "$kProgramFilesTrovimo")" "$FAULTS/cwd")
    local folder='%ProgramFiles%\Trovimo'
    install_and_sum_up "$kIntroduction$(found_block Trovimo 1 "$folder")$(missing_block Lunesca)$kRunHeading$(file_lines Trovimo "$folder" all)"
    verdict 'TROVIMO: %ProgramFiles%\Trovimo\, 1 terminated; LUNESCA: not found; Trovimo files: 16 Error; information box: Installation is finished. There were 16 errors.; disk intact' "$gSeen"
}

case_fault_reg_empty_sz() {
    fault_case
    running_trovimo
    printf '\0' | utf16 | set_value 32 REG_SZ
    start_up_sum_up "$kIntroduction$(missing_block Trovimo)$(missing_block Lunesca)"
    verdict 'TROVIMO: not found; LUNESCA: not found; no box; 1 running afterwards; shown after under 5 s' "$gSeen"
}

case_fault_reg_sz_without_nul() {
    fault_case
    running_trovimo
    printf '%s' "$kTrovimo\\Trovimo.exe" | utf16 | set_value 32 REG_SZ
    [[ $(stat -c %s "$FAULTS/value.bin") == $((2 * ${#kTrovimo} + 24)) ]] || fail "the value ends in a NUL"
    start_up_sum_up "$(trovimo_start_up_log 1)"
    verdict "$kFoundOne" "$gSeen"
}

# 64 KiB with its NUL; the file name takes the room, so the folder comes out short.
case_fault_reg_64k_value() {
    fault_case
    running_trovimo
    local name
    name=$(printf 'T%.0s' $(seq $((32767 - ${#kTrovimo} - 1))))
    printf '%s\\%s\0' "$kTrovimo" "$name" | utf16 | set_value 32 REG_SZ
    [[ $(stat -c %s "$FAULTS/value.bin") == 65536 ]] || fail "the value is not 64 KiB"
    start_up_sum_up "$(trovimo_start_up_log 1)"
    verdict "$kFoundOne" "$gSeen"
}

case_fault_reg_32_only() {
    fault_case
    running_trovimo
    set_path Trovimo 32 REG_SZ "$kTrovimo\\Trovimo.exe"
    start_up_sum_up "$(trovimo_start_up_log 1)"
    verdict "$kFoundOne" "$gSeen"
}

case_fault_reg_64_only() {
    fault_case
    running_trovimo
    set_path Trovimo 64 REG_SZ "$kTrovimo\\Trovimo.exe"
    start_up_sum_up "$(trovimo_start_up_log 1)"
    verdict "$kFoundOne" "$gSeen"
}

# ---- running instances ----

case_fault_five_instances() {
    fault_case
    trovimo_registered "$kTrovimo"
    start_trovimos 5
    start_up_sum_up "$(trovimo_start_up_log 5)"
    verdict "TROVIMO: $kTrovimo\\, 5 terminated; LUNESCA: not found; no box; 0 running afterwards; shown after under 5 s" "$gSeen"
}

case_fault_hung_window() {
    fault_case
    trovimo_registered "$kTrovimo"
    start_trovimos 1 --hang
    start_up_sum_up "$(trovimo_start_up_log 1)"
    verdict "$kFoundOne" "$gSeen"
}

# One instance cannot be terminated but quits by itself a second after the installer's
# window exists, while the installer waits for it to go; another is terminated as usual.
case_fault_quits_during_search() {
    fault_case
    trovimo_registered "$kTrovimo"
    start_trovimos 1 --refuse-termination --quit-after-installer-appears
    start_trovimos 1
    start_up_sum_up "$(trovimo_start_up_log 2)"
    verdict "TROVIMO: $kTrovimo\\, 2 terminated; LUNESCA: not found; no box; 0 running afterwards; shown after under 5 s" "$gSeen"
}

# The search gives up on a window that stays for 5 s, and the report says so.
case_fault_cannot_be_terminated() {
    fault_case
    trovimo_registered "$kTrovimo"
    start_trovimos 1 --refuse-termination
    local log
    log=$(trovimo_start_up_log 0)
    log=${log/'Instances terminated: 0\r\n'/'Instances terminated: 0\r\n\tInstances still running: 1\r\n'}
    start_up_sum_up "$log"
    verdict "TROVIMO: $kTrovimo\\, 0 terminated, 1 still running; LUNESCA: not found; no box; 1 running afterwards; shown after 5 to 10 s" "$gSeen"
}

# ---- safe loading ----

# DLLs dropped beside the installer, as into a downloads folder, under the names of those it
# loads itself or through them: none is loaded, even with Wine told to prefer such copies.
case_fault_planted_dlls() {
    fault_case
    local downloads="$FAULTS/cwd" name loaded
    for name in comctl32 msftedit riched20 uxtheme; do cp "$BUILD/tests/e2e/planted.dll" "$downloads/$name.dll"; done
    cp "$kFaultInstaller" "$downloads/"
    # Wine's own programs start with the usual settings; only the installer prefers the copies.
    windows_count TfrmMain none >/dev/null
    FAULT_DLL_OVERRIDES="comctl32,msftedit,riched20,uxtheme=n,b"
    start_up_sum_up "$kIntroduction$(missing_block Trovimo)$(missing_block Lunesca)" "$downloads/${kFaultInstaller##*/}"
    loaded=$(cd "$downloads" && find . -name '*.loaded' -printf '%f ')
    verdict 'TROVIMO: not found; LUNESCA: not found; no box; 0 running afterwards; shown after under 5 s; no planted DLL loaded' \
        "$gSeen; ${loaded:+loaded: }${loaded:-no planted DLL loaded}"
}

# ---- what a standard user can prepare in or above a product's folder ----
# The installer runs elevated; these folders may belong to anyone. Unix links stand in for
# junctions and file links. Each case audits the places the links point at as well.

kVictims="$WINEPREFIX/drive_c/Victim"
kSystem32="$WINEPREFIX/drive_c/windows/system32"
kRefusedTrovimo='TROVIMO: C:\Apps\Trovimo\, 0 terminated; LUNESCA: not found; Trovimo files: 16 Error; information box: Installation is finished. There were 16 errors.; disk intact'
kWrittenTrovimo='TROVIMO: C:\Apps\Trovimo\, 0 terminated; LUNESCA: not found; Trovimo files: 16 OK; information box: Installation is finished. There were no errors.; disk intact'

# victim NAME: a file outside every product, with bytes of its own; prints its path.
victim() {
    mkdir -p "$kVictims"
    printf 'not the installer'"'"'s: %s\n' "$1" >"$kVictims/$1"
    echo "$kVictims/$1"
}

case_fault_languages_links_to_system32() {
    fault_case
    FAULT_ROOTS+=("$kSystem32")
    trovimo_registered "$kTrovimo"
    local languages
    languages="$(prefix_path "$kTrovimo")/Languages"
    rmdir "$languages"
    ln -s "$kSystem32" "$languages"
    install_and_sum_up "$(trovimo_run_log "$kTrovimo" all)"
    verdict "$kRefusedTrovimo" "$gSeen"
}

# C:\Apps\Trovimo itself leads elsewhere; Lunesca, beside it, is written as usual.
case_fault_install_folder_is_link() {
    fault_case
    FAULT_ROOTS+=("$kVictims")
    mkdir -p "$kVictims/Trovimo/Languages"
    printf 'the old Danish file' >"$kVictims/Trovimo/Languages/DK.lng"
    cp "$STANDINS/Trovimo.exe" "$kVictims/Trovimo/"
    mkdir -p "$(prefix_path 'C:\Apps')"
    ln -s "$kVictims/Trovimo" "$(prefix_path "$kTrovimo")"
    set_path Trovimo 32 REG_SZ "$kTrovimo\\Trovimo.exe"
    install_product Lunesca "$kLunesca"
    install_and_sum_up "$kIntroduction$(found_block Trovimo 0 "$kTrovimo")$(found_block Lunesca 0 "$kLunesca")$kRunHeading$(file_lines Trovimo "$kTrovimo" all)$(file_lines Lunesca "$kLunesca")"
    verdict 'TROVIMO: C:\Apps\Trovimo\, 0 terminated; LUNESCA: C:\Apps\Lunesca\, 0 terminated; Trovimo files: 16 Error; Lunesca files: 14 OK; information box: Installation is finished. There were 16 errors.; disk intact' "$gSeen"
}

# While the window waits, links to files elsewhere appear at every temporary name a writer
# might use: the name the installer once used (with its process id, which any program can
# read from the window), and other usual ones.
gFarEnds=""
plant_temporary_links() {
    local languages pid code name far
    languages="$(prefix_path "$kTrovimo")/Languages"
    pid=$(driver owner TfrmMain | tr -d '\r')
    [[ -n $pid ]] || fail "no process id for the installer's window"
    mkdir -p "$gFarEnds"
    for code in ${kLanguages[Trovimo]}; do
        for name in "$code.lng" "$code.bmp"; do
            for far in "$name.$pid.tmp" "$name.$((16#$pid)).tmp" "$name.tmp" "$name~" "~$name" "$name.new"; do
                printf 'far end of %s\n' "$far" >"$gFarEnds/$far"
                ln -s "$gFarEnds/$far" "$languages/$far"
            done
        done
    done
}

# The far ends on the same disk: a rename could move them into the product's folder.
case_fault_planted_temporary_links() {
    fault_case
    gFarEnds="$kVictims/far"
    FAULT_ROOTS+=("$kVictims")
    trovimo_registered "$kTrovimo"
    install_and_sum_up "$(trovimo_run_log "$kTrovimo")" plant_temporary_links
    verdict "$kWrittenTrovimo" "$gSeen"
}

# The far ends on another file system, out of a rename's reach: only a write or a delete
# through the link could touch them.
case_fault_planted_temporary_links_elsewhere() {
    fault_case
    [[ -d /dev/shm && -w /dev/shm ]] || fault_skip "no /dev/shm for a second file system"
    gFarEnds=$(mktemp -d /dev/shm/kalvanta-far.XXXXXX)
    FAULT_ROOTS+=("$gFarEnds")
    trovimo_registered "$kTrovimo"
    install_and_sum_up "$(trovimo_run_log "$kTrovimo")" plant_temporary_links
    verdict "$kWrittenTrovimo" "$gSeen"
}

# Target names that are links to a file outside and to a system file are replaced as names.
case_fault_target_is_link() {
    fault_case
    FAULT_ROOTS+=("$kVictims" "$WINEPREFIX/drive_c/windows/win.ini")
    trovimo_registered "$kTrovimo"
    local languages
    languages="$(prefix_path "$kTrovimo")/Languages"
    ln -s "$(victim important.dat)" "$languages/DK.lng"
    ln -s "$WINEPREFIX/drive_c/windows/win.ini" "$languages/ES.bmp"
    install_and_sum_up "$(trovimo_run_log "$kTrovimo")"
    [[ ! -L $languages/DK.lng && ! -L $languages/ES.bmp ]] || fail "a link at a target name is still there"
    verdict "$kWrittenTrovimo" "$gSeen"
}

# A target with a second name outside the product: only the target's name gets new bytes.
case_fault_hard_linked_target() {
    fault_case
    FAULT_ROOTS+=("$kVictims")
    trovimo_registered "$kTrovimo"
    ln "$(victim other-name.dat)" "$(prefix_path "$kTrovimo")/Languages/IT.lng"
    install_and_sum_up "$(trovimo_run_log "$kTrovimo")"
    verdict "$kWrittenTrovimo" "$gSeen"
}

# A program that keeps opening windows like Trovimo's and cannot be terminated: the search
# ends within its bounds and the window opens. Each decoy that gives way to the next counts
# as terminated: 32 when the search reaches its bound, with the window it then leaves as
# still running; fewer when the 15 s run out first on a slow machine, or when the search
# lists the windows at a moment when none of them is there any more by the time it looks.
case_fault_stream_of_decoy_windows() {
    fault_case
    trovimo_registered "$kTrovimo"
    start_trovimos 1 --refuse-termination --stream-of-windows
    local expected log box count running
    start_fault_installer
    log=$(report_value log)
    box=$(report_value box)
    count=$(log_lines "$log" | sed -n 's/^\tInstances terminated: //p')
    running=$(log_lines "$log" | sed -n 's/^\tInstances still running: //p')
    ((count >= 1 && count <= 32)) || fail "$count instances counted as terminated, expected 1 to 32"
    [[ -z $running || $running == 1 ]] || fail "$running instances still running, expected at most 1"
    expected=$(trovimo_start_up_log "$count")
    if [[ -n $running ]]; then
        expected=${expected/"Instances terminated: $count\\r\\n"/"Instances terminated: $count\\r\\n\\tInstances still running: 1\\r\\n"}
    fi
    # How soon depends on how fast the decoys come; that the window comes at all is the point.
    gSeen="$(summary "$log" "$box" "$expected"); shown"
    gSeen=${gSeen/", $count terminated${running:+, 1 still running};"/", at most 32 terminated;"}
    gSeen+=" [after $((gTenths / 10)).$((gTenths % 10)) s: $count terminated${running:+, 1 still running}]"
    (($(windows_count TfrmTrovimo Trovimo) > 0)) && gSeen+="; the decoys go on"
    keys main Escape
    installer_ended
    verdict 'TROVIMO: C:\Apps\Trovimo\, at most 32 terminated; LUNESCA: not found; no box; shown; the decoys go on' "$gSeen"
}

# A folder that names a named pipe, with a stranger's pipes waiting at the folder's name and
# at each name a file of it could be written under: none is opened, nothing reaches them.
kPipeFolder='\\.\pipe\Trovimo'
plant_pipes() {
    local pid code name names=("Trovimo\\Languages")
    pid=$(driver owner TfrmMain | tr -d '\r')
    [[ -n $pid ]] || fail "no process id for the installer's window"
    for code in ${kLanguages[Trovimo]}; do
        for name in "$code.lng" "$code.bmp"; do names+=("Trovimo\\Languages\\$name" "Trovimo\\Languages\\$name.$pid.tmp"); done
    done
    wine "$DRIVER" pipes "${names[@]}" </dev/null >"$FAULTS/pipes.log" 2>&1 &
    for _ in $(seq 600); do grep -q listening "$FAULTS/pipes.log" && return 0; sleep 0.1; done
    fail "the pipes were not set up: $(cat "$FAULTS/pipes.log")"
}

case_fault_install_folder_is_pipe() {
    fault_case
    mkdir -p "${FAULT_ROOTS[0]}"
    set_path Trovimo 32 REG_SZ "$kPipeFolder\\Trovimo.exe"
    install_and_sum_up "$(trovimo_run_log "$kPipeFolder" all)" plant_pipes
    local reached
    reached=$(tr -d '\r' <"$FAULTS/pipes.log" | sed -n '/^listening$/!p' | tr '\n' ' ')
    verdict 'TROVIMO: \\.\pipe\Trovimo\, 0 terminated; LUNESCA: not found; Trovimo files: 16 Error; information box: Installation is finished. There were 16 errors.; disk intact; no pipe reached' \
        "$gSeen; ${reached:+pipes reached: }${reached:-no pipe reached}"
}
