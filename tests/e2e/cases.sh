# The end-to-end cases, sourced by harness.sh: each case_NAME is one CTest test.
# Texts are written as the driver reports them: \r, \n, \t and \\ escaped.
# shellcheck shell=bash

kTitle='Kalvanta Custom Language Files Installer'
kTrovimo='C:\Apps\Trovimo'
kLunesca='C:\Apps\Lunesca'
kIntroduction='This program will add all available custom language files to already installed Kalvanta. However,\r\nthese files were created by our users, so we do not guarantee that all translations are correct and/or\r\naccurate.\r\n'
kHeader='\tID\tLanguage\t\tVersion\tTranslator\t\tDate\r\n'
declare -A kListing=(
    [AR]='\t[AR]\tArabic\t\t3.28\tOswindar\t\tFebruary 12, 2009\r\n'
    [DK]='\t[DK]\tDanish\t\t3.28\tMarevik\t\tMay 12, 2006\r\n'
    [ES]='\t[ES]\tSpanish\t\t3.28\tQuorimel\tSeptember 25, 2006\r\n'
    [HR]='\t[HR]\tCroatian\t\t3.28\tVexlo Ltd.\t\tApril 29, 2006\r\n'
    [IT]='\t[IT]\tItalian\t\t3.28\tBravinet\t\tNovember 9, 2006\r\n'
    [KR]='\t[KR]\tKorean\t\t3.28\tSollidar\t\tMay 29, 2006\r\n'
    [PT]='\t[PT]\tPortuguese\t3.28\tEnquisa\t\tNovember 13, 2006\r\n'
    [SE]='\t[SE]\tSwedish\t\t3.28\tHalvotry\t\tMay 2, 2006\r\n'
)
declare -A kLanguages=([Trovimo]='AR DK ES HR IT KR PT SE' [Lunesca]='DK ES HR IT KR PT SE')
declare -A kPayloadCode=([Trovimo]=TV [Lunesca]=LN)
kNoErrors='Installation is finished.\r\n\r\nThere were no errors.'
kOneError='Installation is finished.\r\n\r\nThere was one error.'
kRunHeading='\r\nInstallation log:\r\n'

escaped() { local text="${1//\\/\\\\}"; echo "$text"; }
windows_path() { local path="${1//\//\\}"; echo "Z:$path"; }

# The start-up block of a product found in FOLDER with COUNT instances terminated.
found_block() {
    local product=$1 count=$2 folder=$3 block code
    block="\\r\\n${product^^}\\r\\n\\tInstances terminated: $count\\r\\n\\tInstallation path: $(escaped "$folder\\")\\r\\n$kHeader"
    for code in ${kLanguages[$product]}; do block+="${kListing[$code]}"; done
    echo "$block"
}

missing_block() { echo "\\r\\n${1^^}\\r\\n\\tInstallation path: Not found.\\r\\n"; }

# The run's lines for PRODUCT in FOLDER; codes listed after the folder are logged as errors.
file_lines() {
    local product=$1 folder=$2 failing=" ${*:3} " lines="" code kind result
    for code in ${kLanguages[$product]}; do
        for kind in lng bmp; do
            result=OK
            [[ $failing == *" $code.$kind "* || $failing == *" all "* ]] && result=Error
            lines+="\"$(escaped "$folder\\Languages\\$code.$kind")\" - $result\\r\\n"
        done
    done
    echo "$lines"
}

# Every file written for PRODUCT is byte for byte its embedded payload; Lunesca gets no Arabic.
files_match_payloads() {
    local product=$1 folder languages code
    folder="$(prefix_path "$2")/Languages"
    mkdir -p "$E2E/payloads"
    for code in ${kLanguages[$product]}; do
        driver extract "$(windows_path "$INSTALLER")" "TEXT_${kPayloadCode[$product]}_$code" \
            "$(windows_path "$E2E/payloads/text.bin")" || fail "cannot read TEXT_${kPayloadCode[$product]}_$code"
        driver extract "$(windows_path "$INSTALLER")" "ICON_$code" "$(windows_path "$E2E/payloads/icon.bin")" ||
            fail "cannot read ICON_$code"
        cmp "$E2E/payloads/text.bin" "$folder/$code.lng" || fail "$folder/$code.lng differs from its payload"
        cmp "$E2E/payloads/icon.bin" "$folder/$code.bmp" || fail "$folder/$code.bmp differs from its payload"
    done
    languages=$(cd "$folder" && ls | tr '\n' ' ')
    [[ $product == Trovimo || $languages != *AR.* ]] || fail "Lunesca received an Arabic pack"
    [[ $languages != *.tmp* ]] || fail "temporary files were left behind: $languages"
}

ready_state() {
    expect window shown focus btnInstall box none progress 0/100 \
        control.btnInstall 'Button 200,304,75,25 tabstop enabled' \
        control.btnCancel 'Button 288,304,75,25 tabstop enabled' text.btnCancel '&Cancel'
}

finished_state() {
    expect box "Information|$1" progress "$2" text.btnCancel '&Close' \
        control.btnInstall 'Button 200,304,75,25 tabstop disabled' \
        control.btnCancel 'Button 288,304,75,25 tabstop enabled'
}

# ---- the Windows binding on its own ----

case_platform_binding() {
    mkdir -p "$E2E/scratch"
    wine "$BUILD/tests/e2e/platform_checks.exe" "$(windows_path "$STANDINS")" "$(windows_path "$E2E/scratch")" \
        </dev/null | tr -d '\r' | tee "$E2E/platform_checks.log"
    grep -q '^[0-9]* passed, 0 failed$' "$E2E/platform_checks.log" || fail "the platform checks failed"
}

# ---- start-up ----

case_startup_report_and_window() {
    install_product Trovimo "$kTrovimo" 32
    # A 32-bit product registers in the 32-bit view, which is asked first.
    set_path Trovimo 64 REG_SZ 'C:\Elsewhere\Trovimo.exe'
    install_product Lunesca "$kLunesca" 64
    start_product Trovimo "$kTrovimo"
    start_product Lunesca "$kLunesca"
    start_installer
    ready_state
    expect title "$kTitle" client 561x393 centred yes style 'minimizebox sysmenu' font 'Tahoma 8pt' active main \
        control.redOutput 'RichEdit50W 16,16,529,273 vscroll sunken enabled' \
        control.Progress 'msctls_progress32 16,344,529,9 - enabled' \
        control.Label1 'Static 16,368,529,13 - enabled' text.btnInstall '&Install' \
        log "$kIntroduction$(found_block Trovimo 1 "$kTrovimo")$(found_block Lunesca 1 "$kLunesca")"
    [[ $(windows_count TfrmTrovimo Trovimo) == 0 && $(windows_count TApplication Lunesca) == 0 ]] ||
        fail "a product instance is still running"
    screenshot ready
    keys main Escape
    installer_ended
}

case_terminates_two_trovimo_instances() {
    install_product Trovimo "$kTrovimo"
    start_product Trovimo "$kTrovimo"
    start_product Trovimo "$kTrovimo"
    [[ $(windows_count TfrmTrovimo Trovimo) == 2 ]] || fail "two instances did not start"
    # Lunesca runs but is not installed: it is left alone.
    cp "$STANDINS/Lunesca.exe" "$E2E/"
    start_program TApplication Lunesca /dev/null "$E2E/Lunesca.exe" || fail "Lunesca did not start"
    start_installer
    expect window shown log "$kIntroduction$(found_block Trovimo 2 "$kTrovimo")$(missing_block Lunesca)"
    [[ $(windows_count TfrmTrovimo Trovimo) == 0 ]] || fail "a Trovimo instance is still running"
    [[ $(windows_count TApplication Lunesca) == 1 ]] || fail "Lunesca, not installed, was terminated"
    keys main Escape
    installer_ended
}

case_unicode_install_folder() {
    needs_all_payloads
    local folder='C:\Programme\Trøvimo Đurđa Ωμέγα 語'
    install_product Trovimo "$folder"
    start_installer
    expect log "$kIntroduction$(found_block Trovimo 0 "$folder")$(missing_block Lunesca)"
    keys main Return
    finished_state "$kNoErrors" 16/16
    expect log "$kIntroduction$(found_block Trovimo 0 "$folder")$(missing_block Lunesca)$kRunHeading$(file_lines Trovimo "$folder")"
    files_match_payloads Trovimo "$folder"
    keys box Return
    keys main Escape
    installer_ended
}

case_path_of_wrong_type_reaches_error_box() {
    install_product Trovimo "$kTrovimo"
    # When the box goes, the next visible window is activated until the installer's window
    # shows; under Wine a product that handles that late takes the front back, and the
    # installer's window is left without the focus. A hidden window is never activated.
    start_product Trovimo "$kTrovimo" --hidden
    set_path Lunesca 32 REG_DWORD 42
    start_installer
    # The box comes before the window is shown; discovery stopped before logging anything.
    expect window hidden box "$kTitle|Invalid data type for 'Path'"
    driver ready box || fail "the error box is not in front"
    screenshot wrong-type-error
    keys box Return
    ready_state
    expect log "$kIntroduction"
    [[ $(windows_count TfrmTrovimo Trovimo) == 1 ]] || fail "Trovimo was terminated although discovery failed"
    keys main Escape
    installer_ended
}

# A line the log box cannot take: the append fails, the error box says so, and the window
# opens with the lines logged before it.
#   alone          the folder's line is longer than the box can hold
#   after_report   it would fit into an empty box, but not after the lines before it
case_overlong_line_reaches_error_box() {
    local -A length=([alone]=33000 [after_report]=32600)
    local folder='C:\\Apps\\'
    folder+=$(printf 'x%.0s' $(seq "${length[$1]}"))
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Vexlo\\Trovimo]\n"Path"="%s\\\\Trovimo.exe"\n' "$folder" \
        >"$E2E/overlong.reg"
    wine_step "could not import the value" regedit /S "$(windows_path "$E2E/overlong.reg")"
    start_installer
    expect window hidden box "$kTitle|RichEdit line insertion error."
    keys box Return
    expect window shown box none log "$kIntroduction\\r\\nTROVIMO\\r\\n\\tInstances terminated: 0\\r\\n"
    keys main Escape
    installer_ended
}

# ---- keyboard, focus and the ways to quit ----

case_keyboard_moves_focus() {
    start_installer
    ready_state
    keys main Tab
    expect focus btnCancel
    keys main Tab
    expect focus btnInstall
    keys main Shift+Tab
    expect focus btnCancel
    # Arrows walk every enabled control in tab order, tab stop or not, wrapping around.
    local step
    for step in Right:Progress Down:redOutput Down:redOutput Up:redOutput; do
        keys main "${step%%:*}"
        expect focus "${step#*:}"
    done
    keys main Tab
    expect focus btnInstall
    for step in Left:redOutput Tab:btnInstall Up:redOutput Shift+Tab:btnCancel Down:Progress; do
        keys main "${step%%:*}"
        expect focus "${step#*:}"
    done
    # Esc does nothing on the progress bar; nor does C inside the log box.
    keys main Escape
    expect focus Progress window shown
    click redOutput
    expect focus redOutput
    keys main c
    expect focus redOutput window shown
    keys main Tab
    expect focus btnInstall
    keys main Escape
    installer_ended
}

# One way to end the application from Ready; each ends it at once with exit code 0.
case_quit() {
    start_installer
    ready_state
    case $1 in
    esc_on_install) keys main Escape ;;
    esc_in_log) click redOutput && expect focus redOutput && keys main Escape ;;
    click_cancel) click btnCancel ;;
    alt_c_in_log) click redOutput && expect focus redOutput && keys main Alt+c ;;
    c_on_install) keys main c ;;
    enter_on_cancel) keys main Tab && expect focus btnCancel && keys main Return ;;
    space_on_cancel) keys main Tab && expect focus btnCancel && keys main space ;;
    close_button) click close ;;
    alt_f4) keys main Alt+F4 ;;
    *) fail "no such way to quit: $1" ;;
    esac
    installer_ended
}

# ---- installation runs ----

case_run_with_nothing_installed() {
    start_installer
    expect log "$kIntroduction$(missing_block Trovimo)$(missing_block Lunesca)"
    keys main space
    finished_state "$kNoErrors" 0/0
    expect log "$kIntroduction$(missing_block Trovimo)$(missing_block Lunesca)$kRunHeading"
    screenshot finished-nothing-installed
    keys box Escape
    expect box none focus btnCancel
    # Only Close is left: Tab stays on it, and I and Alt+I do nothing.
    keys main Tab
    expect focus btnCancel
    keys main i Alt+i
    expect focus btnCancel box none text.btnCancel '&Close'
    keys main Return
    installer_ended
}

case_complete_run() {
    needs_all_payloads
    install_product Trovimo "$kTrovimo"
    install_product Lunesca "$kLunesca"
    start_product Trovimo "$kTrovimo"
    start_installer
    ready_state
    keys main Return
    finished_state "$kNoErrors" 30/30
    local run
    run="$kRunHeading$(file_lines Trovimo "$kTrovimo")$(file_lines Lunesca "$kLunesca")"
    expect log "$kIntroduction$(found_block Trovimo 1 "$kTrovimo")$(found_block Lunesca 0 "$kLunesca")$run"
    [[ $(grep -o ' - OK' <<<"$run" | wc -l) == 30 ]] || fail "not 30 OK lines"
    files_match_payloads Trovimo "$kTrovimo"
    files_match_payloads Lunesca "$kLunesca"
    screenshot finished
    keys box Return
    expect box none focus btnCancel
    keys main i
    expect box none window shown
    keys main Return
    installer_ended
}

# Install pressed by its mnemonic: I with Cancel focused, or Alt+I from inside the log box.
# Afterwards the focus returns to the log box, or goes from the disabled Cancel to Close.
case_install_by_mnemonic() {
    needs_all_payloads
    install_product Lunesca "$kLunesca"
    start_installer
    ready_state
    local focus_after=btnCancel
    if [[ $1 == alt_i ]]; then
        click redOutput
        expect focus redOutput
        keys main Alt+i
        focus_after=redOutput
    else
        keys main Tab
        expect focus btnCancel
        keys main i
    fi
    finished_state "$kNoErrors" 14/14
    files_match_payloads Lunesca "$kLunesca"
    keys box Escape
    expect focus $focus_after box none
    keys main Escape
    installer_ended
}

# A failing file keeps what was there, is logged as an error, and the run goes on.
case_failing_file_keeps_old_one() {
    needs_all_payloads
    install_product Trovimo "$kTrovimo"
    local target holder=""
    target="$(prefix_path "$kTrovimo")/Languages/$2"
    echo "the old file" >"$target"
    case $1 in
    locked)
        hold_open "$target"
        holder=$HOLDER_PID
        ;;
    read_only) chmod a-w "$target" ;;
    esac
    start_installer
    keys main Return
    finished_state "$kOneError" 16/16
    expect log "$kIntroduction$(found_block Trovimo 0 "$kTrovimo")$(missing_block Lunesca)$kRunHeading$(file_lines Trovimo "$kTrovimo" "$2")"
    [[ $(cat "$target") == "the old file" ]] || fail "$2 was changed"
    [[ -z $(find "$(dirname "$target")" -name '*.tmp') ]] || fail "a temporary file was left behind"
    [[ -n $holder ]] && kill "$holder"
    keys box Return
    keys main Return
    installer_ended
}

case_missing_languages_folder() {
    needs_all_payloads
    install_product Trovimo "$kTrovimo"
    install_product Lunesca "$kLunesca"
    rmdir "$(prefix_path "$kTrovimo")/Languages"
    start_installer
    keys main Return
    finished_state 'Installation is finished.\r\n\r\nThere were 16 errors.' 30/30
    expect log "$kIntroduction$(found_block Trovimo 0 "$kTrovimo")$(found_block Lunesca 0 "$kLunesca")$kRunHeading$(file_lines Trovimo "$kTrovimo" all)$(file_lines Lunesca "$kLunesca")"
    [[ ! -e $(prefix_path "$kTrovimo")/Languages ]] || fail "the Languages folder was created"
    files_match_payloads Lunesca "$kLunesca"
    keys box Return
    keys main Return
    installer_ended
}

# A build without one payload: the run stops at it and the window is left in Run broken off.
case_missing_payload_breaks_run_off() {
    needs_all_payloads
    local copy="$E2E/WithoutOnePayload.exe"
    driver omit "$(windows_path "$INSTALLER")" "$(windows_path "$copy")" TEXT_TV_DK || fail "no test build"
    install_product Trovimo "$kTrovimo"
    start_installer "$copy"
    keys main Return
    expect box "$kTitle|Resource text_tv_dk not found."
    local written="\"$(escaped "$kTrovimo\\Languages\\AR.lng")\" - OK\\r\\n"
    written+="\"$(escaped "$kTrovimo\\Languages\\AR.bmp")\" - OK\\r\\n"
    expect log "$kIntroduction$(found_block Trovimo 0 "$kTrovimo")$(missing_block Lunesca)$kRunHeading$written"
    keys box Return
    expect box none focus window text.btnCancel '&Cancel' progress 2/16 \
        control.btnInstall 'Button 200,304,75,25 tabstop disabled' \
        control.btnCancel 'Button 288,304,75,25 tabstop disabled'
    keys main Escape
    installer_ended
}

# ---- no default button, input made during a run, the log's first view ----

# No button ever becomes the default button (the thick frame that tells the user that Enter
# presses it): not when a key moves the focus, nor after a click into the log or on Install,
# nor at the end of a run. Tab and Shift+Tab leave the log box for the buttons.
case_no_default_button() {
    start_installer
    ready_state
    expect default none
    local step
    for step in Tab:btnCancel Right:Progress Tab:btnInstall Shift+Tab:btnCancel Down:Progress Down:redOutput \
        Tab:btnInstall Up:redOutput Shift+Tab:btnCancel Left:btnInstall; do
        keys main "${step%%:*}"
        expect focus "${step#*:}" default none
    done
    # Ctrl+Tab is not Tab: the focus stays on Install, so Right takes it to Cancel.
    keys main Ctrl+Tab Right
    expect focus btnCancel default none
    click redOutput
    expect focus redOutput default none
    keys main Tab
    expect focus btnInstall default none
    click redOutput
    expect focus redOutput default none
    keys main Shift+Tab
    expect focus btnCancel default none
    click btnInstall
    finished_state "$kNoErrors" 0/0
    expect default none
    keys box Return
    expect box none focus btnCancel default none
    keys main Escape
    installer_ended
}

# Input made while a run writes does not act once the run is over: the information box stays
# until a fresh Enter, and the application is still running after it.
#   held_enter        Enter held down on Install: its repeats queue up during the run
#   keys_and_clicks   a click on Install, then clicks on Cancel and Install, Enter and Space
case_input_during_run() {
    needs_all_payloads
    install_product Trovimo "$kTrovimo"
    start_installer
    ready_state
    driver during_run "$1" || fail "could not make the input while the run wrote (above)"
    expect box "Information|$kNoErrors" text.btnCancel '&Close'
    # A fresh Space key-down, which pushes the box's OK button in, shows that the box has
    # handled all input made before it.
    keys box down:space
    expect box.ok pushed box "Information|$kNoErrors"
    keys box up:Return Return
    expect box none focus btnCancel
    # Space let go on Close does not press it, and the window still takes keys.
    keys main up:space Down
    expect focus Progress window shown
    keys main Up Return
    installer_ended
}

# A held key presses no button: Enter, held down since the log box had the focus, goes on
# repeating once Tab has taken the focus to Install, and Install stays unpressed.
case_held_enter_presses_no_button() {
    start_installer
    ready_state
    click redOutput
    expect focus redOutput
    keys main down:Return Tab
    expect focus btnInstall
    keys main down:Return Right
    expect focus btnCancel box none window shown control.btnInstall 'Button 200,304,75,25 tabstop enabled'
    keys main up:Return Escape
    installer_ended
}

# The window opens with the log's first line in view and the caret at the log's end, at 96 dpi
# and at 144 dpi, where the font and every size scale; the run still scrolls to the end.
case_log_opens_at_first_line() {
    needs_all_payloads
    set_resolution "$1"
    install_product Trovimo "$kTrovimo"
    install_product Lunesca "$kLunesca"
    start_installer
    # The end is out of view: the log is taller than its box.
    expect window shown focus btnInstall dpi "$1" layout scaled firstline 0 caret end end below
    screenshot "log-opens-at-${1}dpi"
    keys main Return
    expect box "Information|$kNoErrors" caret end end visible
    keys box Return
    expect box none focus btnCancel caret end end visible
    keys main Return
    installer_ended
    set_resolution 96
}
