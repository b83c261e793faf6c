#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   ./test.sh             the normal build, in build/
#   ./test.sh --sanitize  with AddressSanitizer and UBSan, in build-asan/
#   ./test.sh --fuzz      builds the libFuzzer targets with clang in build-fuzz/
#                         and runs each for FUZZ_SECONDS (60) on a copy of its
#                         seed corpus in fuzz-out/
#   ./test.sh --windows   cross-builds the Windows programs and their tests in
#                         build-win/ and runs the tests under Wine on Xvfb, with
#                         the ANSI code pages 936 (Chinese) and 1252 (Western),
#                         against the Linux virtual device built in build-devsim/;
#                         packs dist/qrv-idtool-windows-x64.zip and starts its
#                         window in a fresh Wine prefix (picture in
#                         build-win-release/)
#   ./test.sh --package   makes the Debian packages dist/qrv-idtool_VERSION_amd64.deb
#                         and dist/qrv-idtool-devsim_VERSION_amd64.deb from a
#                         release build in build-package/, checks them with
#                         lintian, and installs and uses them in a fresh Debian
#                         12 root (scripts/debian_install_test.sh; as root)
set -euo pipefail
cd "$(dirname "$0")"
. scripts/ensure_packages.sh

mode=${1:-}
case "$mode" in
"") dir=build; flags=() ;;
--sanitize) dir=build-asan; flags=(-DQRV_SANITIZE=ON) ;;
--fuzz | --windows | --package) ;;
*) echo "usage: $0 [--sanitize | --fuzz | --windows | --package]" >&2; exit 2 ;;
esac

if [ "$mode" = --fuzz ]; then
    ensure_packages "${fuzz_packages[@]}"
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRV_FUZZ=ON
    cmake --build build-fuzz -j"$(nproc)"

    seconds=${FUZZ_SECONDS:-60}
    export ASAN_OPTIONS=detect_leaks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    symbolizer=/usr/lib/llvm-14/bin/llvm-symbolizer
    [ -x "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH=$symbolizer
    passed=0 failed=0
    for target in fuzz_text fuzz_reply; do
        # A copy, so that what the fuzzer learns never grows the seeds.
        out=fuzz-out/$target
        rm -rf "$out"
        mkdir -p "$out/corpus" "$out/crashes"
        # Scratch files on tmpfs when there is one: the settings target
        # rewrites its file for every input.
        tmp=$(mktemp -d -p /dev/shm qrv-fuzz.XXXXXX 2>/dev/null) || tmp=$(mktemp -d -p "$PWD/$out")
        cp fuzz/corpus/$target/* "$out/corpus/"
        echo "== $target: ${seconds} s"
        status=0
        TMPDIR=$tmp "build-fuzz/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$out/crashes/" "$out/corpus" \
            >"$out/log" 2>&1 || status=$?
        rm -rf "$tmp"
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/log" | tail -n1)
        # A report the sanitizers let the run survive still fails it.
        if [ "$status" -eq 0 ] && ! grep -qE 'runtime error:|ERROR: [A-Za-z]+Sanitizer|^SUMMARY: ' "$out/log"; then
            passed=$((passed + 1))
            echo "$target: passed, ${runs:-?} executions in ${seconds} s"
        else
            failed=$((failed + 1))
            tail -n 40 "$out/log"
            echo "$target: FAILED (exit $status), ${runs:-?} executions; log and inputs in $out/"
        fi
    done
    echo "$passed passed, $failed failed"
    exit $((failed > 0))
fi

if [ "$mode" = --windows ]; then
    ensure_packages "${windows_packages[@]}"
    cmake -S . -B build-devsim -DQRV_DEVSIM_ONLY=ON -DCMAKE_BUILD_TYPE=Debug
    cmake --build build-devsim -j"$(nproc)" --target qrv-devsim
    cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=Debug -DQRV_DEVSIM="$PWD/build-devsim/bin/qrv-devsim"
    cmake --build build-win -j"$(nproc)"
    scripts/package_windows.sh

    # A throw-away Wine prefix, no prompts for Mono or Gecko. Debian's
    # wineserver keeps its socket in a new folder under $TMPDIR, never
    # removed: in here, it goes with the prefix.
    wine=/usr/lib/wine # Debian keeps Wine off PATH
    scratch=$(mktemp -d -p "$PWD/build-win" wine.XXXXXX)
    export WINEPREFIX=$scratch/prefix TMPDIR=$scratch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir "$WINEPREFIX"
    # The window's tests need a display: a virtual one, on a free number,
    # there before Wine's first program, which picks the display for all.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
    xvfb=$!
    trap '"$wine/wineserver" -k 2>/dev/null || true; kill $xvfb 2>/dev/null; rm -rf "$scratch"' EXIT
    for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
    export DISPLAY=:$(cat "$scratch/display")
    unset WAYLAND_DISPLAY
    # Wine's services, if the first test started them, would hold ctest's
    # output open: start them, and keep the server up, before any test. The
    # server takes the first serial port a test opens for its controlling
    # terminal, and dumps all its objects (megabytes) at each hang-up when a
    # virtual device stops: its output goes nowhere.
    "$wine/wineserver" -p >/dev/null 2>&1
    "$wine/wine64" wineboot -i >/dev/null 2>&1
    # Without a window manager, Wine waits 2 s for one at every window it
    # hides; windows it manages itself, frame and all, it hides at once.
    "$wine/wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    # Wine takes the ANSI code page from the locale's name.
    for run in zh_CN.UTF-8:936 en_US.UTF-8:1252; do
        echo "== under Wine, ANSI code page ${run#*:} (LC_ALL=${run%:*})"
        LC_ALL=${run%:*} QRV_ANSI_CODE_PAGE=${run#*:} \
            ctest --test-dir build-win --output-on-failure --timeout 120
    done
    echo "== qrv-idset.exe from the zip, in a fresh Wine prefix"
    scripts/windows_smoke.sh dist/qrv-idtool-windows-x64.zip build-devsim/bin/qrv-devsim build-win-release
    exit 0
fi

if [ "$mode" = --package ]; then
    ensure_packages "${build_packages[@]}" "${package_packages[@]}"
    # The bare Debian root is fetched while the release build runs: one waits
    # on the network, the other on the processor.
    mkdir -p build-package
    scripts/debian_install_test.sh --base >build-package/base.log 2>&1 &
    base=$!
    trap 'kill "$base" 2>/dev/null || true' EXIT
    # ccache, its paths taken relative to the tree, keeps the release build
    # quick in a fresh clone too (CI's).
    export CCACHE_DIR=${QRV_CACHE:-$HOME/.cache/qrv-idtool}/ccache CCACHE_BASEDIR=$PWD
    # Hardened as Debian hardens its own packages (dpkg-buildflags' flags,
    # without those naming the tree's path, which ccache would see).
    # -O2, as Debian builds its own packages.
    cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DQRV_TESTS=OFF -DQRV_PACKAGE=ON \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
        -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection -fcf-protection" \
        -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" >/dev/null
    cmake --build build-package -j"$(nproc)"
    rm -f dist/qrv-idtool_*.deb dist/qrv-idtool-devsim_*.deb
    (cd build-package && cpack)
    echo "== lintian"
    lintian --fail-on error dist/qrv-idtool_*_amd64.deb dist/qrv-idtool-devsim_*_amd64.deb
    wait "$base" || { cat build-package/base.log; exit 1; }
    cat build-package/base.log
    scripts/debian_install_test.sh
    exit 0
fi

ensure_packages "${build_packages[@]}" "${test_packages[@]}" "${window_packages[@]}"

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug "${flags[@]}"
cmake --build "$dir" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$dir" --output-on-failure --timeout 120
