#!/usr/bin/env bash
# Runs Vornex.exe under Wine on a demo prefix seeded with a few redirections.
# With a usable X display it opens there until you close the window; without
# one it runs on a virtual display, writes a screenshot and prints its path.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target Vornex

# shellcheck source=wine-env.sh
source scripts/wine-env.sh
demo=$root/demo
mkdir -p "$demo"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export WINE_ENV_USE_DISPLAY=1
fi
trap wine_env_stop EXIT
echo "preparing the demo Wine prefix in $demo (about 15 s)"
wine_env_start "$demo/env"

ifeo='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options'
seed() {  # name, value name, command
    wine reg add "$ifeo\\$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null 2>&1
}
seed notepad.exe Debugger 'C:\Windows\Temp\svch0st.exe'
seed taskmgr.exe Debugger '"C:\Program Files\Fake Tools\block.exe" /silent'
seed MsMpEng.exe DEBUGGER 'ntsd -d'
seed regedit.exe Debugger 'C:\Users\Public\rg.exe'
wine reg add "$ifeo\\chrome.exe" /v MitigationOptions /t REG_SZ /d 1 /f >/dev/null 2>&1

exe=$root/build/win64/Vornex.exe
if [ -n "${WINE_ENV_USE_DISPLAY:-}" ]; then
    echo "starting Vornex.exe on $DISPLAY; close its window to end the demo"
    wine "$exe" || true
else
    wine "$exe" &
    sleep 4
    shot=$demo/vornex-demo.png
    wine_env_screenshot "$shot"
    echo "no X display: Vornex.exe ran on a virtual display; screenshot: $shot"
fi
