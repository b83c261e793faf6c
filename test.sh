#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   ./test.sh             the normal build, in build/
#   ./test.sh --sanitize  with AddressSanitizer and UBSan, in build-asan/
set -euo pipefail
cd "$(dirname "$0")"
. scripts/ensure_packages.sh

mode=${1:-}
case "$mode" in
"") dir=build; flags=() ;;
--sanitize) dir=build-asan; flags=(-DQRV_SANITIZE=ON) ;;
*) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
esac

ensure_packages "${build_packages[@]}" "${test_packages[@]}"

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug "${flags[@]}"
cmake --build "$dir" -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$dir" --output-on-failure --timeout 120
