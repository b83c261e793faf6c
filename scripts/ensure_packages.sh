# Installs the Debian packages named as arguments that are not installed yet;
# the package lists are refreshed only when something is missing.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_packages=(cmake make g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev)
# The window's texts are Chinese: without a CJK font they show as boxes. Where
# 宋体 is missing, the log box takes this one's monospace, and the window's
# tests measure its lines with it.
window_packages=(fonts-noto-cjk)
test_packages=(libgtest-dev libmodbus-dev)
fuzz_packages=(cmake make clang libclang-rt-14-dev llvm-14)
