#!/usr/bin/env bash
# Numbers a box of new devices against the virtual device, which plugs one
# in at ID 17 about every 3 s (at every phase of the tool's half-second
# asking), and times each: how long after it was connected
# qrv-idctl assign heard it, and from then until its new ID was read back,
# beside the same change made alone with qrv-idctl change.
#   bench/assign_bench.sh [DEVICES]     (after ./test.sh has built build/)
set -euo pipefail
cd "$(dirname "$0")/.."
devices=${1:-5}
dir=$(mktemp -d)
trap 'kill "$devsim" 2>/dev/null; wait "$devsim" 2>/dev/null; rm -rf "$dir"' EXIT

# Milliseconds of the day of each stamped line holding the pattern.
stamps() { grep -e "$1" "$2" | awk '{ split($1, t, /[:.]/); print ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4] }'; }
start_devsim() {
    build/bin/qrv-devsim --link "$dir/line" "$@" >"$dir/devsim.log" &
    devsim=$!
    for _ in $(seq 50); do [ -L "$dir/line" ] && break; sleep 0.1; done
}
stop_devsim() { kill "$devsim"; wait "$devsim" 2>/dev/null || true; }

# The change alone: from its first request to the answer at the new ID.
start_devsim --id 17
build/bin/qrv-idctl change --port "$dir/line" --baud 115200 --from 17 --to 20 --verbose 2>"$dir/change.log" >/dev/null
alone=$(( $(stamps 'RX 14 3 2 0 14' "$dir/change.log" | head -1) - $(stamps ' TX ' "$dir/change.log" | head -1) ))
stop_devsim

plugs=()
for i in $(seq "$devices"); do plugs+=(--id 17 --appear $((i * 3000 + i * 211 % 500))); done
start_devsim "${plugs[@]}"
build/bin/qrv-idctl assign --port "$dir/line" --baud 115200 --from 17 --to "20-$((19 + devices))" \
    --verbose 2>"$dir/assign.log" >"$dir/assign.out"
tail -1 "$dir/assign.out"
mapfile -t connected < <(stamps 'ID 17 connected' "$dir/devsim.log")
mapfile -t heard < <(stamps 'RX 11 3 2 0 11' "$dir/assign.log")
printf '%-8s%-14s%-32s%s\n' device "heard after" "from then to its new ID read" "the change alone"
for i in $(seq 0 $((devices - 1))); do
    id=$(printf '%X' $((20 + i)))
    confirmed=$(stamps "RX $id 3 2 0 $id" "$dir/assign.log" | head -1)
    printf '%-8s%-14s%-32s%s\n' $((i + 1)) "$((heard[i] - connected[i])) ms" \
        "$((confirmed - heard[i])) ms" "$alone ms"
done
