#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool.
#   ./run.sh              with the virtual device (ID 17) on port 9
#   ./run.sh --no-device  the tool alone, for real hardware
set -euo pipefail
cd "$(dirname "$0")"
. scripts/ensure_packages.sh

device=1
case "${1:-}" in
"") ;;
--no-device) device=0 ;;
*) echo "usage: $0 [--no-device]" >&2; exit 2 ;;
esac

# Without a display Qt aborts the window; say why before building anything.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    cat >&2 <<EOF
The tool is a window and needs a desktop session: no DISPLAY or WAYLAND_DISPLAY
is set here (over SSH, for example). Run ./run.sh in a terminal on the desktop.
To check without a desktop that the tool builds and starts, its window unseen:
    QT_QPA_PLATFORM=offscreen ./run.sh
To change IDs without a window, use the command-line tool: ./test.sh builds
it, then build/bin/qrv-idctl --help.
EOF
    exit 1
fi

ensure_packages "${build_packages[@]}" "${test_packages[@]}" "${window_packages[@]}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug
cmake --build build -j"$(nproc)" --target qrv-idset qrv-idctl qrv-devsim

if [ "$device" = 1 ]; then
    build/bin/qrv-devsim --id 17 --link build/bin/ports/COM9 &
    devsim=$!
    trap 'kill "$devsim" 2>/dev/null; wait "$devsim" 2>/dev/null' EXIT
    for _ in $(seq 50); do [ -L build/bin/ports/COM9 ] && break; sleep 0.1; done
fi
# With QT_QPA_PLATFORM=offscreen nothing shows the window: say that it runs.
echo "qrv-idset is running$([ "$device" = 1 ] && echo ", with the virtual device on port 9"); close its window or press Ctrl-C here to stop"
build/bin/qrv-idset
