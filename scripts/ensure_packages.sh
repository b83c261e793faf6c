# Installs the Debian packages named as arguments that are not installed yet;
# the package lists are refreshed only when something is missing. apt's many
# lines are added to packages.log, under a line naming the install, so that
# they do not bury the build's and the tests' output; meanwhile a line every
# few seconds says how far the install has come, and the log's tail is shown
# when installing fails.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=() log=$PWD/packages.log
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
        sudo -v # a password is asked here, before the output goes to the log
    fi
    echo "Installing ${missing[*]} (output in $log)"
    echo "== $(date '+%F %T') installing ${missing[*]}" >>"$log"
    local from
    from=$(($(wc -l <"$log") + 1))
    # env inside sudo: sudo drops the caller's environment, and a question
    # from a package would wait unseen behind the log.
    {
        "${sudo[@]}" apt-get update &&
            "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
                apt-get install -y --no-install-recommends "${missing[@]}"
    } >>"$log" 2>&1 &
    local apt=$! started=$SECONDS
    while kill -0 "$apt" 2>/dev/null; do
        sleep 5
        kill -0 "$apt" 2>/dev/null || break
        local got unpacked set_up
        got=$(tail -n +"$from" "$log" | grep -cE '^Get:[0-9]+ ([^ ]+ ){6}\[' || true)
        unpacked=$(tail -n +"$from" "$log" | grep -c '^Unpacking ' || true)
        set_up=$(tail -n +"$from" "$log" | grep -c '^Setting up ' || true)
        echo "  ... $((SECONDS - started)) s: $got packages downloaded, $unpacked unpacked, $set_up set up"
    done
    if ! wait "$apt"; then
        tail -n 20 "$log" >&2
        echo "Installing failed; apt's whole output is in $log" >&2
        return 1
    fi
    echo "Installed in $((SECONDS - started)) s"
}

build_packages=(cmake make g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev)
# The window's texts are Chinese: without a CJK font they show as boxes. Where
# 宋体 is missing, the log box takes this one's monospace, and the window's
# tests measure its lines with it.
window_packages=(fonts-noto-cjk)
test_packages=(libgtest-dev libmodbus-dev)
fuzz_packages=(cmake make clang libclang-rt-14-dev llvm-14)
# g++: the serial test's virtual device is a Linux program. xvfb: the window's
# display; xdotool and imagemagick find, drive and photograph it, and the CJK
# fonts draw its Chinese texts in the pictures; zip packs it.
# The Debian packages: ccache keeps their release build quick, dpkg-shlibdeps
# finds their dependencies, lintian checks them, mmdebstrap makes the fresh
# root they are installed into; python3 draws the icons and writes the manual
# pages.
package_packages=(ccache python3 dpkg-dev fakeroot file lintian mmdebstrap)
windows_packages=(cmake make g++ g++-mingw-w64-x86-64-posix googletest wine64 xvfb xdotool
    imagemagick fonts-noto-cjk zip unzip)
