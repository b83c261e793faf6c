#!/usr/bin/env bash
# Scans all 247 addresses at 115200 baud with a 50 ms answer window against
# the virtual device with one device (ID 42) on it: qrv-idctl, the same
# probes written on pymodbus, and, when ./test.sh --windows has built it,
# qrv-idctl.exe under Wine on the same device, side by side in one run.
# Prints each total, the time per probe beyond the answer window (without
# Wine's start-up and the program's last 0.4 s, when the line must fall
# quiet), and the processor time.
#   bench/scan_bench.sh [RUNS]     (after ./test.sh has built build/)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure_packages.sh
ensure_packages python3-pymodbus python3-serial python3-serial-asyncio
runs=${1:-3} timeout=50 probes=247
dir=$(mktemp -d)
exe=build-win/bin/qrv-idctl.exe wine=/usr/lib/wine
trap 'kill "$devsim" 2>/dev/null; wait "$devsim" 2>/dev/null
      [ -d "$dir/wine" ] && WINEPREFIX=$dir/wine/prefix "$wine/wineserver" -k 2>/dev/null
      rm -rf "$dir"' EXIT
build/bin/qrv-devsim --id 42 --link "$dir/line" >"$dir/devsim.log" &
devsim=$!
for _ in $(seq 50); do [ -L "$dir/line" ] && break; sleep 0.1; done

report() { # name wall cpu [seconds of the wall that are no probe's]
    awk -v n="$1" -v w="$2" -v c="$3" -v g="${4:-0}" -v t="$timeout" -v p="$probes" 'BEGIN {
        printf "%-10s total %6.2f s   beyond the window %5.2f ms a probe   processor %5.3f s\n",
               n, w, ((w - g) * 1000 / p) - t, c }'
}
if [ -x "$wine/wine64" ] && [ -f "$exe" ]; then
    mkdir -p "$dir/wine/prefix"
    export WINEPREFIX=$dir/wine/prefix TMPDIR=$dir/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    (unset DISPLAY; "$wine/wineserver" -p >/dev/null 2>&1; "$wine/wine64" wineboot -i >/dev/null 2>&1)
    ln -s "$(readlink -f "$dir/line")" "$WINEPREFIX/dosdevices/com9"
    cp "$exe" "$dir/wine/"
fi

for run in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S" -o "$dir/time" build/bin/qrv-idctl scan --port "$dir/line" \
        --baud 115200 --timeout "$timeout" --json >"$dir/scan.json"
    grep -q '"id":42' "$dir/scan.json" || { echo "qrv-idctl did not find ID 42" >&2; exit 1; }
    read -r wall user sys <"$dir/time"
    # qrv-idctl lets the line fall quiet for 0.4 s before it ends.
    report qrv-idctl "$wall" "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" 0.4
    out=$(/usr/bin/python3 bench/pymodbus_scan.py "$dir/line" 115200 "$timeout")
    [[ $out == "found [(42, 42)]"* ]] || { echo "pymodbus: $out" >&2; exit 1; }
    report pymodbus "$(awk '{ print $(NF-2) }' <<<"$out")" "$(awk '{ print $NF }' <<<"$out")"
    [ -f "$dir/wine/qrv-idctl.exe" ] || continue
    /usr/bin/time -f "%e" -o "$dir/time" "$wine/wine64" "$dir/wine/qrv-idctl.exe" --help >/dev/null
    start=$(cat "$dir/time")
    /usr/bin/time -f "%e %U %S" -o "$dir/time" "$wine/wine64" "$dir/wine/qrv-idctl.exe" scan \
        --port 9 --baud 115200 --timeout "$timeout" --json >"$dir/scan.json"
    grep -q '"id":42' "$dir/scan.json" || { echo "qrv-idctl.exe did not find ID 42" >&2; exit 1; }
    read -r wall user sys <"$dir/time"
    report "under Wine" "$wall" "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" \
        "$(awk -v s="$start" 'BEGIN { print s + 0.4 }')"
    echo "           (Wine's start-up: $start s)"
done
