#!/usr/bin/env bash
# Installs the two Debian packages in dist/ into a fresh Debian 12 root, as a
# technician would on a machine that has never seen Qt, and uses them there
# as an ordinary user: qrv-idctl's version and help, a read and a change
# against qrv-devsim on a pseudo-terminal, the window started offscreen with
# its port opened and a change made, the day log in the user's
# ~/.local/share/qrv-idtool and nothing beside /usr/bin, the manual pages as
# the programs' help says; then the packages removed and the user's files
# left. Runs as root (chroot and mounts). The bare root is made once by
# mmdebstrap and kept, with the packages apt fetched for it, in
# $QRV_CACHE (~/.cache/qrv-idtool).
set -euo pipefail
cd "$(dirname "$0")/.."

cache=${QRV_CACHE:-$HOME/.cache/qrv-idtool}
base=$cache/bookworm-minbase.tar
mkdir -p "$cache/archives"

# A base older than a week is made again: by then the mirror may have
# dropped what its package lists name. --base makes it and stops: test.sh
# has it fetched while the release build runs.
if [ -z "$(find "$base" -mtime -7 2>/dev/null)" ]; then
    echo "== a bare Debian 12 root, once (kept in $base)"
    # The window's libraries are fetched with it, not installed, into the
    # packages kept for apt: apt-get install finds them there, and still has
    # to work out and install them from the package's Depends.
    mmdebstrap --quiet --format=tar --variant=minbase --include=passwd --skip=cleanup/apt/lists \
        --customize-hook='chroot "$1" apt-get -q -y -d install libqt6widgets6 libqt6serialport6 >/dev/null || true' \
        --customize-hook="sync-out /var/cache/apt/archives $cache/archives" \
        bookworm "$base.$$.part"
    mv "$base.$$.part" "$base"
fi
[ "${1:-}" = --base ] && exit 0
idtool=$(ls dist/qrv-idtool_*_amd64.deb)
devsim=$(ls dist/qrv-idtool-devsim_*_amd64.deb)
version=$(dpkg-deb -f "$idtool" Version)

mkdir -p build-package
root=$(mktemp -d -p "$PWD/build-package" root.XXXXXX)
mounts=()
cleanup() {
    local m
    # A process the test left running keeps the mounts busy: end those it started.
    if [ -n "${device:-}" ]; then kill "$device" 2>/dev/null; wait "$device" 2>/dev/null || true; fi
    for ((m = ${#mounts[@]} - 1; m >= 0; m--)); do umount "${mounts[m]}" 2>/dev/null || umount -l "${mounts[m]}"; done
    rmdir "$root"
}
trap cleanup EXIT
# In memory: unpacked and thrown away in moments, where a disk takes a minute.
mount -t tmpfs -o mode=0755 tmpfs "$root" && mounts+=("$root")
tar -C "$root" -xf "$base"
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
# The root's own pseudo-terminals, whatever the host's /dev/pts allows.
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts" && mounts+=("$root/dev/pts")
rm -f "$root/dev/ptmx" && ln -s pts/ptmx "$root/dev/ptmx"
# The packages fetched before, copied in and the new ones back: apt locks
# the folder it downloads into, and another run may be using the cache.
cp -n "$cache"/archives/*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "$idtool" "$devsim" "$root/tmp/"

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
# chroot runs the command as the user itself, no process between: the
# device's pid is the device's.
as_user() { chroot --userspec="$user" "$root" env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME=/home/tech "$@"; }
fail() { echo "debian install test: $*" >&2; exit 1; }

echo "== apt-get install ./$(basename "$idtool") ./$(basename "$devsim") in the fresh root"
in_root dpkg -s libqt6core6 >/dev/null 2>&1 && fail "the bare root already has Qt"
started=$SECONDS
install_packages() {
    in_root env DEBIAN_FRONTEND=noninteractive apt-get -q -y --no-install-recommends \
        -o DPkg::Options::=--force-unsafe-io install \
        "/tmp/$(basename "$idtool")" "/tmp/$(basename "$devsim")" >"$root/tmp/apt.log" 2>&1
}
# The base's package lists are at most a week old; when the mirror has moved
# on from them since, they are fetched again.
install_packages || { in_root apt-get -q update >/dev/null && install_packages; } ||
    { tail -n 30 "$root/tmp/apt.log"; fail "apt-get install failed"; }
echo "installed with $(grep -c '^Setting up ' "$root/tmp/apt.log") packages in $((SECONDS - started)) s"
cp -n "$root"/var/cache/apt/archives/*.deb "$cache/archives/" 2>/dev/null || true
in_root useradd -m -s /bin/bash tech
user=$(in_root id -u tech):$(in_root id -g tech)
programs_folder=$(ls -A "$root/usr/bin")

echo "== qrv-idctl as the user tech"
[ "$(as_user qrv-idctl --version)" = "qrv-idctl $version" ] || fail "qrv-idctl --version"
# Its first run made the user's folder.
folder=/home/tech/.local/share/qrv-idtool
[ "$(stat -c %u:%a "$root$folder")" = "$(in_root id -u tech):700" ] ||
    fail "$folder was not made for the user alone"
as_user qrv-idctl --help | grep -qx "工具文件夹（日志、parameter.txt、ports/）：$folder" ||
    fail "qrv-idctl --help does not name $folder"
python3 scripts/make_manual.py --check "$root/usr/share/man/man1/qrv-idset.1.gz" README.md "$version" ||
    fail "the manual page of qrv-idset"
for page in qrv-idctl qrv-devsim; do
    python3 scripts/make_manual.py --check "$root/usr/share/man/man1/$page.1.gz" README.md "$version" \
        -- chroot --userspec="$user" "$root" env HOME=/home/tech "$page" || fail "the manual page of $page"
done

# Two devices on port 9: ID 20 for qrv-idctl, ID 17 for the window.
# Started as a plain command, not through as_user: a function run in the
# background is a subshell, and $! would be the subshell's pid.
chroot --userspec="$user" "$root" env -i HOME=/home/tech qrv-devsim --id 17 --id 20 \
    --link "$folder/ports/COM9" >/dev/null 2>&1 &
device=$!
for _ in $(seq 100); do [ -L "$root$folder/ports/COM9" ] && break; sleep 0.1; done
[ -L "$root$folder/ports/COM9" ] || fail "qrv-devsim made no link at $folder/ports/COM9"
as_user qrv-idctl read --port 9 --baud 115200 --id 20 | grep -q "寄存器10 = 20" || fail "qrv-idctl read"
as_user qrv-idctl change --port 9 --baud 115200 --from 20 --to 21 || fail "qrv-idctl change"

echo "== qrv-idset offscreen: 打开串口, 更改ID (17 to 1)"
said=$(as_user env QT_QPA_PLATFORM=offscreen QRV_IDSET_PRESS=port,change timeout 30 qrv-idset 2>&1) ||
    fail "qrv-idset: $said"
echo "$said"
as_user qrv-idctl read --port 9 --baud 115200 --id 1 | grep -q "寄存器10 = 1" || fail "the window's change"

# Root may write to /usr/bin, and still gets a folder of its own.
in_root env HOME=/root qrv-idctl change --port "$(readlink "$root$folder/ports/COM9")" --baud 115200 \
    --from 21 --to 22 >/dev/null || fail "qrv-idctl change as root"
ls "$root"/root/.local/share/qrv-idtool/????-??-??.txt >/dev/null || fail "no day log in root's folder"

log=$(ls "$root$folder"/????-??-??.txt)
[ "$(grep -c "设置成功" "$log")" -ge 2 ] || fail "the day log lacks a change: $(cat "$log")"
[ -f "$root$folder/parameter.txt" ] || fail "no parameter.txt in $folder"
[ "$(ls -A "$root/usr/bin")" = "$programs_folder" ] ||
    fail "written beside the programs: $(diff <(echo "$programs_folder") <(ls -A "$root/usr/bin"))"
kill "$device"
wait "$device" || true
device=
# The device is gone with its pid, and its link with it.
[ ! -L "$root$folder/ports/COM9" ] || fail "qrv-devsim outlived its pid"

echo "== apt-get remove"
in_root apt-get -q -y remove qrv-idtool qrv-idtool-devsim >/dev/null
[ ! -e "$root/usr/bin/qrv-idctl" ] || fail "qrv-idctl is still there"
[ -f "$log" ] && [ -f "$root$folder/parameter.txt" ] || fail "the user's files went with the package"
echo "debian install test: passed (qrv-idtool $version)"
