#!/usr/bin/env bash
# Builds the installer and runs it under Wine in a demo prefix where Trovimo and
# Lunesca are installed and one Trovimo is running. With a display it opens the
# installer for you; without one it runs in Xvfb, presses Install, prints the log and
# the closing message, and saves screenshots in build/windows/screenshots/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/windows"
DEMO="$BUILD/demo"
SCREENSHOTS="$BUILD/screenshots"
INSTALLER="$BUILD/app/KalvantaLanguageInstaller.exe"
DRIVER="$BUILD/tests/e2e/driver.exe"
kProducts=(Trovimo Lunesca)
kFolder='C:\Program Files (x86)\Vexlo'
kHangulFont=NanumGothic.ttf

# shellcheck source=tools/wine-session.sh
source "$ROOT/tools/wine-session.sh"
export WINEPREFIX="$DEMO/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8

cd "$ROOT"
bash tools/install-packages.sh cmake make g++ g++-mingw-w64-x86-64-win32 wine64 wine fonts-wine fonts-nanum xvfb \
    xdotool x11-apps imagemagick
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 >/dev/null
echo "Built $INSTALLER"

XVFB_PID=""
stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    [[ -n $XVFB_PID ]] && kill "$XVFB_PID" 2>/dev/null
    return 0
}
trap stop EXIT

headless=yes
if [[ -n ${DISPLAY:-} ]] && xdotool getdisplaygeometry >/dev/null 2>&1; then headless=""; fi
if [[ -n $headless ]]; then
    start_xvfb 170 240 /dev/null
fi

quietly() { "$@" </dev/null >/dev/null 2>&1; }

if [[ ! -f $WINEPREFIX/.demo-ready ]]; then
    echo "Making the demo Wine prefix (once) in $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    mkdir -p "$DEMO"
    make_wine_prefix /dev/null
    for product in "${kProducts[@]}"; do
        folder="$WINEPREFIX/drive_c/Program Files (x86)/Vexlo/$product"
        mkdir -p "$folder/Languages"
        quietly wine reg add "HKLM\\Software\\Vexlo\\$product" /v Path /t REG_SZ /d "$kFolder\\$product\\$product.exe" /f /reg:32
    done
    touch "$WINEPREFIX/.demo-ready"
fi
# Wine's fonts have no Hangul: the products' Korean names would show as empty boxes. The
# interface font borrows the missing letters from a Korean font, as Windows does through
# its font links.
if [[ ! -f $WINEPREFIX/drive_c/windows/Fonts/$kHangulFont ]]; then
    cp "/usr/share/fonts/truetype/nanum/$kHangulFont" "$WINEPREFIX/drive_c/windows/Fonts/"
    for face in Tahoma 'MS Shell Dlg'; do
        quietly wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
            /t REG_MULTI_SZ /d "$kHangulFont,NanumGothic" /f
    done
fi
# Each run starts from products without language packs and with the current stand-ins.
for product in "${kProducts[@]}"; do
    folder="$WINEPREFIX/drive_c/Program Files (x86)/Vexlo/$product"
    rm -rf "$folder/Languages"
    mkdir -p "$folder/Languages"
    cp "$BUILD/tools/standins/$product.exe" "$folder/"
done
# Without a window manager Wine draws the window frames itself.
if [[ -n $headless ]]; then
    quietly wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
else
    quietly wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f || true
fi

driver() { wine "$DRIVER" "$@" </dev/null | tr -d '\r'; }
report_value() { driver report | sed -n "s/^$1=//p"; }

wine "$kFolder\\Trovimo\\Trovimo.exe" </dev/null >/dev/null 2>&1 &
driver wait TfrmTrovimo Trovimo >/dev/null
echo "Trovimo is running; starting the installer"

if [[ -z $headless ]]; then
    wine "$INSTALLER" </dev/null >/dev/null 2>&1 || true
    exit 0
fi

wine "$INSTALLER" </dev/null >/dev/null 2>&1 &
installer=$!
driver expect window shown focus btnInstall >/dev/null
mkdir -p "$SCREENSHOTS"
import -window root "$SCREENSHOTS/demo-ready.png"
driver keys main Return
for _ in $(seq 300); do
    box=$(report_value box)
    [[ -n $box && $box != none ]] && break
    sleep 0.1
done
import -window root "$SCREENSHOTS/demo-finished.png"

echo
echo "---- log ----"
printf '%b\n' "$(report_value log)" | tr -d '\r'
echo "---- message box: ${box%%|*} ----"
printf '%b\n' "${box#*|}" | tr -d '\r'
echo "-------------"

driver keys box Return
driver keys main Escape || true
wait "$installer" || true

# The products read what was installed.
for product in "${kProducts[@]}"; do
    wine "$kFolder\\$product\\$product.exe" </dev/null >/dev/null 2>&1 &
done
driver wait TfrmTrovimo Trovimo >/dev/null
driver wait TfrmLunesca Lunesca >/dev/null
sleep 1
import -window root "$SCREENSHOTS/demo-products.png"
echo "Screenshots: $SCREENSHOTS/demo-ready.png, demo-finished.png, demo-products.png"
