#!/usr/bin/env bash
# Builds the two Windows programs for a technician, optimised and stripped, in
# build-win-release/, and packs them with their read-me into
# dist/qrv-idtool-windows-x64.zip, inside one folder qrv-idtool-VERSION, so
# that unpacking never scatters them. Checks that each needs no DLL beyond
# Windows' own and that the zip stays within 5 MB.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-win-release
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQRV_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target qrv-idset qrv-idctl

# What every Windows since 7 has in System32.
system_dlls='^(kernel32|user32|gdi32|comctl32|advapi32|shell32|msvcrt)\.dll$'
for exe in qrv-idset qrv-idctl; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$build/bin/$exe.exe" | sed -n 's/.*DLL Name: //p'); do
        if ! [[ ${dll,,} =~ $system_dlls ]]; then
            echo "$exe.exe needs $dll, which Windows does not have" >&2
            exit 1
        fi
    done
done

version=$(sed -n 's/^project(qrv_idset VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
folder=qrv-idtool-$version
stage=$build/zip/$folder
rm -rf "$build/zip" && mkdir -p "$stage" dist
for exe in qrv-idset qrv-idctl; do
    x86_64-w64-mingw32-strip -o "$stage/$exe.exe" "$build/bin/$exe.exe"
done
# Notepad reads UTF-8 with a byte order mark and CR LF line ends everywhere.
{ printf '\xEF\xBB\xBF'; sed 's/$/\r/' app/win32/README-windows.txt; } >"$stage/README.txt"
zip=dist/qrv-idtool-windows-x64.zip
rm -f "$zip"
(cd "$build/zip" && zip -q -9 -X "../../$zip" "$folder" "$folder"/qrv-idset.exe "$folder"/qrv-idctl.exe \
    "$folder"/README.txt)
size=$(stat -c %s "$zip")
if [ "$size" -gt $((5 * 1024 * 1024)) ]; then
    echo "$zip is $size bytes, over 5 MB" >&2
    exit 1
fi
echo "$zip: $((size / 1024)) KiB"
