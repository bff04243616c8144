# shellcheck shell=bash
# A private Wine 8 test environment: its own Xvfb display, zh_CN.UTF-8
# locale and win64 prefix, all under one run folder.
#
# Source it, then (set the trap first, so a failed start is cleaned up too):
#   trap wine_env_stop EXIT        # stops only what wine_env_start started
#   wine_env_start RUN_DIR [DPI]   # e.g. DPI 144; default: Wine's 96
#                                  # (the virtual desktop, 1024x768 at 96,
#                                  # grows with the DPI: the same inches)
#   wine "$build/Test.exe"         # plain wine; its exit code comes through
#   wine_env_screenshot FILE.png
#   wine_env_winpath /unix/path    # prints Z:\unix\path, for arguments
# wine_env_start exports TMPDIR, LOCPATH, LANG, LC_ALL, DISPLAY, WINEPREFIX,
# WINEARCH, WINEDEBUG and WINEDLLOVERRIDES. RUN_DIR gets env.log (what was
# done, with timings), prefix/, tmp/, locale/, xvfb.pid and xvfb.log.
# stdout stays quiet; errors go to stderr. Safe under `set -euo pipefail`.

WINE_ENV_RUN_DIR=${WINE_ENV_RUN_DIR:-}
WINE_ENV_LOG=${WINE_ENV_LOG:-}
WINE_ENV_XVFB_PID=${WINE_ENV_XVFB_PID:-}
WINE_ENV_DISPLAY_NUM=${WINE_ENV_DISPLAY_NUM:-}
WINE_ENV_ACTIVE=${WINE_ENV_ACTIVE:-}
WINE_ENV_DESKTOP=${WINE_ENV_DESKTOP:-}

_wine_env_log() {
    if [ -n "$WINE_ENV_LOG" ]; then
        printf '%s %s\n' "$(date +%H:%M:%S.%3N)" "$*" >>"$WINE_ENV_LOG"
    fi
}

_wine_env_err() {
    printf 'wine-env: %s\n' "$*" >&2
    _wine_env_log "ERROR: $*"
}

# Runs a command with its output in the log, and logs how long it took.
_wine_env_q() {
    local t0 rc=0
    t0=$(date +%s%N)
    _wine_env_log "+ $*"
    "$@" >>"$WINE_ENV_LOG" 2>&1 || rc=$?
    _wine_env_log "  rc=$rc in $(( ($(date +%s%N) - t0) / 1000000 )) ms"
    return "$rc"
}

# True while PID is the Xvfb we started on our display (guards against
# a recycled PID belonging to someone else).
_wine_env_is_our_xvfb() {
    local pid=$1 cmd
    [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
    cmd=$( { tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null) || return 1
    case "$cmd" in
        *Xvfb*" :$WINE_ENV_DISPLAY_NUM "*) return 0 ;;
    esac
    return 1
}

_wine_env_locale() {
    local dir=$WINE_ENV_RUN_DIR/locale
    if locale -a 2>/dev/null | grep -qiE '^zh_CN\.utf-?8$'; then
        _wine_env_log "using the system-wide zh_CN.UTF-8 locale"
        unset LOCPATH
    else
        mkdir -p "$dir"
        # localedef exits 1 on mere warnings; the files it wrote are what count.
        _wine_env_q localedef -i zh_CN -f UTF-8 "$dir/zh_CN.UTF-8" || true
        if [ ! -f "$dir/zh_CN.UTF-8/LC_CTYPE" ]; then
            _wine_env_err "localedef could not build zh_CN.UTF-8 in $dir"
            return 1
        fi
        export LOCPATH=$dir
    fi
    # bash itself cannot load a LOCPATH locale and would warn on stderr.
    { export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8; } 2>/dev/null
}

# Starts Xvfb on a display number nobody uses. Xvfb's own lock file makes
# the final claim atomic, so a race with another run only costs a retry.
_wine_env_xvfb() {
    local base n try pid fdfile _ dw=${WINE_ENV_DESKTOP%x*} dh=${WINE_ENV_DESKTOP#*x}
    # The screen holds the whole virtual desktop.
    local screen="$(( dw > 1280 ? dw : 1280 ))x$(( dh > 1024 ? dh : 1024 ))x24"
    base=$(( 300 + (RANDOM % 600) ))
    for try in $(seq 0 59); do
        n=$(( 300 + (base - 300 + try) % 600 ))
        if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then
            continue
        fi
        fdfile=$WINE_ENV_RUN_DIR/xvfb.displayfd
        : >"$fdfile"
        _wine_env_log "starting Xvfb :$n"
        # -displayfd: Xvfb writes the number once it accepts connections.
        Xvfb ":$n" -screen 0 "$screen" -nolisten tcp -displayfd 3 \
            3>"$fdfile" </dev/null >>"$WINE_ENV_RUN_DIR/xvfb.log" 2>&1 &
        pid=$!
        for _ in $(seq 1 500); do
            if [ -s "$fdfile" ]; then break; fi
            if ! kill -0 "$pid" 2>/dev/null; then break; fi
            sleep 0.01
        done
        if [ -s "$fdfile" ] && kill -0 "$pid" 2>/dev/null; then
            WINE_ENV_XVFB_PID=$pid
            WINE_ENV_DISPLAY_NUM=$n
            echo "$pid" >"$WINE_ENV_RUN_DIR/xvfb.pid"
            export DISPLAY=":$n"
            for _ in $(seq 1 200); do
                if xdpyinfo >/dev/null 2>&1; then
                    _wine_env_log "Xvfb pid $pid answers on $DISPLAY"
                    return 0
                fi
                sleep 0.05
            done
            _wine_env_err "Xvfb :$n started but does not answer"
            return 1
        fi
        # Lost the display to someone else, or Xvfb failed: reap and retry.
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        _wine_env_log "Xvfb :$n failed, trying another number"
    done
    _wine_env_err "no free X display found"
    return 1
}

_wine_env_regfile() {
    # regedit reads UTF-16LE with a BOM without any code page guessing.
    local out=$1
    shift
    printf '%s\r\n' "$@" | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$out"
}

wine_env_start() {
    if [ $# -lt 1 ] || [ $# -gt 2 ]; then
        _wine_env_err "usage: wine_env_start RUN_DIR [DPI]"
        return 2
    fi
    local run_dir=$1 dpi=${2:-} t0 reg
    t0=$(date +%s%N)
    if [ -n "$dpi" ] && ! [[ "$dpi" =~ ^[0-9]+$ && "$dpi" -ge 48 && "$dpi" -le 480 ]]; then
        _wine_env_err "DPI must be a number from 48 to 480, got '$dpi'"
        return 2
    fi
    if [ -n "$WINE_ENV_ACTIVE" ]; then
        _wine_env_err "an environment is already running; call wine_env_stop first"
        return 1
    fi
    mkdir -p "$run_dir/tmp"
    WINE_ENV_ACTIVE=1
    WINE_ENV_RUN_DIR=$(cd "$run_dir" && pwd)
    WINE_ENV_LOG=$WINE_ENV_RUN_DIR/env.log
    # A window laid out in twips grows with the DPI; so does the desktop.
    WINE_ENV_DESKTOP="$(( 1024 * ${dpi:-96} / 96 ))x$(( 768 * ${dpi:-96} / 96 ))"
    _wine_env_log "wine_env_start $WINE_ENV_RUN_DIR dpi=${dpi:-default} desktop=$WINE_ENV_DESKTOP"
    # Debian's Wine keeps its server socket folder under TMPDIR.
    export TMPDIR=$WINE_ENV_RUN_DIR/tmp

    _wine_env_locale || return 1
    # WINE_ENV_USE_DISPLAY=1: show on the caller's X display instead of a virtual one.
    if [ -n "${WINE_ENV_USE_DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        _wine_env_log "using the caller's display $DISPLAY"
    else
        _wine_env_xvfb || return 1
    fi

    export WINEPREFIX=$WINE_ENV_RUN_DIR/prefix
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    if ! _wine_env_q wine wineboot -i; then
        _wine_env_err "wineboot -i failed (see $WINE_ENV_LOG)"
        return 1
    fi

    # Debian's Wine 8 never loads the fonts in its data folder (it builds
    # the path with "..", which the NT path lookup rejects), so the title
    # bar buttons would draw as "0 1 r" without Marlett in the prefix.
    local marlett=/usr/share/wine/fonts/marlett.ttf
    if [ -f "$marlett" ]; then
        mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
        cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
        _wine_env_log "copied $marlett into the prefix"
    else
        _wine_env_log "warning: $marlett missing (package fonts-wine); title bar buttons will show letters"
    fi

    reg=$WINE_ENV_RUN_DIR/env.reg
    local lines=(
        'Windows Registry Editor Version 5.00'
        ''
        '[HKEY_CURRENT_USER\Software\Wine\Explorer]'
        '"Desktop"="Default"'
        ''
        '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]'
        "\"Default\"=\"$WINE_ENV_DESKTOP\""
        ''
        # A crash prints a backtrace instead of waiting in a dialog.
        '[HKEY_CURRENT_USER\Software\Wine\WineDbg]'
        '"ShowCrashDialog"=dword:00000000'
        ''
    )
    if [ -n "$dpi" ]; then
        local hexdpi
        hexdpi=$(printf '%08x' "$dpi")
        lines+=(
            '[HKEY_CURRENT_USER\Control Panel\Desktop]'
            "\"LogPixels\"=dword:$hexdpi"
            ''
        )
    fi
    _wine_env_regfile "$reg" "${lines[@]}"
    if ! _wine_env_q wine regedit /S "$reg"; then
        _wine_env_err "regedit import failed (see $WINE_ENV_LOG)"
        return 1
    fi
    # Restart so explorer (the desktop) rereads the settings.
    _wine_env_q wineserver -k || true
    _wine_env_q wineserver -w || true
    _wine_env_log "environment ready in $(( ($(date +%s%N) - t0) / 1000000 )) ms"
}

wine_env_stop() {
    # Never fails: it runs from EXIT traps, possibly twice, and under set -e.
    if [ -z "$WINE_ENV_ACTIVE" ]; then
        return 0
    fi
    WINE_ENV_ACTIVE=
    _wine_env_log "wine_env_stop"
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        _wine_env_q wineserver -k || true
        _wine_env_q wineserver -w || true
    fi
    if [ -n "$WINE_ENV_XVFB_PID" ]; then
        if _wine_env_is_our_xvfb "$WINE_ENV_XVFB_PID"; then
            kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
            local _
            for _ in $(seq 1 300); do
                _wine_env_is_our_xvfb "$WINE_ENV_XVFB_PID" || break
                sleep 0.01
            done
            if _wine_env_is_our_xvfb "$WINE_ENV_XVFB_PID"; then
                kill -9 "$WINE_ENV_XVFB_PID" 2>/dev/null || true
            fi
            # Reaps it when it is our child; a no-op otherwise.
            wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
            _wine_env_log "Xvfb pid $WINE_ENV_XVFB_PID stopped"
        fi
        WINE_ENV_XVFB_PID=
    fi
    return 0
}

wine_env_screenshot() {
    if [ $# -ne 1 ]; then
        _wine_env_err "usage: wine_env_screenshot FILE.png"
        return 2
    fi
    if [ -z "$WINE_ENV_XVFB_PID" ]; then
        _wine_env_err "no environment is running"
        return 1
    fi
    _wine_env_q import -display ":$WINE_ENV_DISPLAY_NUM" -window root "$1"
}

wine_env_winpath() {
    # Wine maps the Unix root to drive Z:.
    local p
    p=$(realpath -m "$1")
    printf 'Z:%s\n' "${p//\//\\}"
}
