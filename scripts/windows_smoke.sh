#!/usr/bin/env bash
# qrv-idset.exe from the zip as a technician meets it: unpacked into C: of a
# fresh Wine prefix (the zip holds one folder, qrv-idtool-VERSION), with the
# virtual device (ID 17) on COM9. Times the start until the window shows,
# reads the memory it holds, takes its picture, then opens the port and
# changes the ID with the keyboard alone, as X key presses: Tab Tab Enter
# (打开串口), Tab Tab Tab Enter (更改ID), and takes its picture again. Then the
# adapter is pulled (the device stopped) while the port stands idle: the
# window says so, and a log-off with the message on screen ends the program.
# It follows the process it started and that process's windows alone, so
# that other Wine programs on the machine, such as a second run of this
# script, are none of its business.
#   scripts/windows_smoke.sh ZIP QRV-DEVSIM OUT_DIR   (DISPLAY must be set)
set -euo pipefail
zip=$(realpath "$1") devsim=$(realpath "$2") out=$(realpath "$3")
wine=/usr/lib/wine
scratch=$(mktemp -d -p "$out" smoke.XXXXXX)
export WINEPREFIX=$scratch/prefix TMPDIR=$scratch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
devsim_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    "$wine/wineserver" -k 2>/dev/null || true
    [ -n "$devsim_pid" ] && kill "$devsim_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
# Until a file holds a text, for at most 20 s.
wait_for() {
    for _ in $(seq 200); do
        grep -qF "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "windows_smoke: $3" >&2
    return 1
}
# Whether the process is there and not yet ended.
running() {
    [ -e "/proc/$1" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}
# The program's visible windows titled QRV ID设置软件: its window, and its
# message box when one is up.
app_windows() {
    xdotool search --onlyvisible --pid "$app_pid" --name '^QRV ID' 2>/dev/null || true
}

mkdir "$WINEPREFIX"
"$wine/wineserver" -p >/dev/null 2>&1
"$wine/wine64" wineboot -i >/dev/null 2>&1
# Without a window manager Wine draws the windows' frames itself.
"$wine/wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
folder=$(unzip -Z1 "$zip" | cut -d/ -f1 | sort -u)
[[ $folder == qrv-idtool-* && $folder != *$'\n'* ]] || { echo "windows_smoke: the zip is not one folder" >&2; exit 1; }
unzip -q "$zip" -d "$WINEPREFIX/drive_c"
tool=$WINEPREFIX/drive_c/$folder
"$devsim" --id 17 --link "$WINEPREFIX/dosdevices/com9" >"$scratch/devsim.log" 2>&1 &
devsim_pid=$!
wait_for "$scratch/devsim.log" ' -> ' "the virtual device did not come up"

start=$(date +%s%N)
# Wine takes the ANSI code page from the locale's name: 936, as on a Chinese system.
# Wine's loader becomes the program: the process started is the window's.
LC_ALL=zh_CN.UTF-8 "$wine/wine64" "C:\\$folder\\qrv-idset.exe" >/dev/null 2>&1 &
app_pid=$!
# Asked every 20 ms: xdotool's own --sync asks only every half second.
window=
for _ in $(seq 1000); do
    window=$(app_windows | head -n1)
    [ -n "$window" ] && break
    sleep 0.02
done
[ -n "$window" ] || { echo "windows_smoke: no window within 30 s" >&2; exit 1; }
up_ms=$((($(date +%s%N) - start) / 1000000))
sleep 1 # painted
rss_kib=$(awk '/^VmRSS/ {print $2}' "/proc/$app_pid/status")
import -window "$window" "$out/window-windows.png"

xdotool mousemove --window "$window" 1 1 key --delay 150 Tab Tab Return
wait_for "$tool/parameter.txt" '"8","4"' "the port did not open"
xdotool key --delay 150 Tab Tab Tab Return
wait_for "$scratch/devsim.log" 'ID 1 (was 17)' "the device did not take ID 1"
sleep 1.5 # the wait for the reply, then the verdict
# 设置成功 in GBK, the day log's encoding under code page 936
wait_for "$(ls "$tool"/20*.txt)" "$(printf '\xC9\xE8\xD6\xC3\xB3\xC9\xB9\xA6')" "no success in the day log"
import -window "$window" "$out/window-windows-changed.png"

kill "$devsim_pid" && wait "$devsim_pid" 2>/dev/null || true
devsim_pid=
# The window checks its open port twice a second: its message box comes up.
pulled=$(date +%s%N)
for _ in $(seq 200); do
    [ "$(app_windows | wc -l)" -ge 2 ] && break
    sleep 0.05
done
[ "$(app_windows | wc -l)" -ge 2 ] || { echo "windows_smoke: the pulled adapter was not said" >&2; exit 1; }
said_ms=$((($(date +%s%N) - pulled) / 1000000))
sleep 0.5
"$wine/wine64" wineboot -e >/dev/null 2>&1 || true
for _ in $(seq 100); do running "$app_pid" || break; sleep 0.1; done
! running "$app_pid" || { echo "windows_smoke: the log-off did not end the window" >&2; exit 1; }
app_pid=
echo "qrv-idset.exe from the zip: window up ${up_ms} ms after the start, ${rss_kib} KiB resident;" \
    "port opened and ID 17 changed to 1 from the keyboard alone; the adapter pulled while idle" \
    "said ${said_ms} ms later; the log-off during that message ended the window"
