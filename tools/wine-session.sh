# Shared by the end-to-end tests, the demo and the benchmark: an X server of our own and
# a Wine prefix ready for unattended runs. Source it with WINEPREFIX set.

# start_xvfb FIRST LAST LOG: Xvfb on the first free display in FIRST..LAST, waited for
# until it answers; exports DISPLAY and sets XVFB_PID.
start_xvfb() {
    local display
    for display in $(seq "$1" "$2"); do
        [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]] && continue
        setsid Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$3" 2>&1 &
        XVFB_PID=$!
        # Long enough for a loaded machine; the loop ends as soon as the server answers.
        local deadline=$((SECONDS + 60))
        while ((SECONDS < deadline)); do
            DISPLAY=":$display" xdotool getdisplaygeometry >/dev/null 2>&1 && break
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        # Another run may have taken the display at the same moment: the answer counts only
        # when the display's lock names our server.
        if [[ $(tr -d ' \n' <"/tmp/.X$display-lock" 2>/dev/null) == "$XVFB_PID" ]] &&
            DISPLAY=":$display" xdotool getdisplaygeometry >/dev/null 2>&1; then
            export DISPLAY=":$display"
            return 0
        fi
        kill "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    done
    echo "no free X display for Xvfb" >&2
    return 1
}

# make_wine_prefix LOG: a new prefix with Wine's own fonts, in which Wine draws the
# window frames itself, since no window manager runs (else there is no caption or close
# button, focus does not follow activation, and every close waits 2 s).
make_wine_prefix() {
    {
        wineboot -i && wineserver -w &&
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f && wineserver -w
    } </dev/null >>"$1" 2>&1
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
}
