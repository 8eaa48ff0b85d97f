#!/usr/bin/env bash
# Cross-builds qm320 for 64-bit Windows on Debian 12 and packs it:
#   $QM320_WIN_BUILD_DIR (default build-win)/qm320.exe, qm320-cli.exe, tests
#   .../qm320-3.03-win64.zip        the program folder, to unpack anywhere
#   .../qm320-3.03-win64-setup.exe  the installer (per user, no admin rights)
# The Qt and QCustomPlot built for Windows come from the archive
# qt6.4.2-mingw64.tar.xz in ../shared/windows beside the repository, or from
# QM320_MINGW_QT (that archive, or the folder holding it); they are unpacked
# into the build folder. Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=$(realpath -m "${QM320_WIN_BUILD_DIR:-build-win}")

# --- what the build and its tests need from Debian ---
./scripts/install-deps.sh --windows

# --- the Qt for Windows, unpacked into the build folder ---
archive=${QM320_MINGW_QT:-$(dirname "$repo")/shared/windows}
[[ -d "$archive" ]] && archive=$archive/qt6.4.2-mingw64.tar.xz
if [[ ! -f "$archive" ]]; then
    echo "windows-build: no Qt for Windows at $archive (set QM320_MINGW_QT)" >&2
    exit 1
fi
qt=$build/qt6-mingw64
stamp="$(stat -c '%s %Y' "$archive") $archive"
mkdir -p "$build"
if [[ ! -f "$qt/.unpacked" || "$(cat "$qt/.unpacked")" != "$stamp" ]]; then
    rm -rf "$qt"
    tar -C "$build" -xJf "$archive"
    echo "$stamp" > "$qt/.unpacked"
fi

# --- the build ---
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
    -DQM320_MINGW_PREFIX="$qt" -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQM320_BUILD_TESTS=ON -DQM320_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"

# --- the program folder: the programs and exactly the DLLs they load ---
version=$(sed -n 's/^project(qm320 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=qm320-$version-win64
stage=$build/stage/$name
rm -rf "$build/stage"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/fonts"
cp "$build/qm320.exe" "$build/qm320-cli.exe" "$stage/"
# The platform and the style the window uses; print support, the PDF writer
# and the bitmap and PNG formats are built into Qt's own DLLs.
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
runtime_dirs=("$qt/bin")
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    runtime_dirs+=("$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)")")
done
runtime_dirs+=(/usr/x86_64-w64-mingw32/lib)
# Follows the import tables from the programs and plugins: every DLL that is
# not Windows' own is found in Qt's or the compiler's folders and copied.
queue=("$stage/qm320.exe" "$stage/qm320-cli.exe" "$stage/platforms/qwindows.dll" "$stage/styles/qwindowsvistastyle.dll")
while [[ ${#queue[@]} -gt 0 ]]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    while read -r dll; do
        [[ -f "$stage/$dll" ]] && continue
        for dir in "${runtime_dirs[@]}"; do
            if [[ -f "$dir/$dll" ]]; then
                cp "$dir/$dll" "$stage/"
                queue+=("$stage/$dll")
                break
            fi
        done
    done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.dll "$stage"/*/*.dll "$stage"/*.exe
# The design's font files, as the build put them beside the programs (see
# cmake/windows.cmake), and their licences.
cp "$build/fonts/"* "$stage/fonts/"
cp /usr/share/doc/fonts-liberation/copyright "$stage/fonts/LICENSE-Liberation.txt"
cp /usr/share/doc/fonts-dejavu-core/copyright "$stage/fonts/LICENSE-DejaVu.txt"
cp "$build/packaging/windows/qm320.ico" "$stage/"
# The same bytes from the same sources: file times from the last commit.
epoch=$(git log -1 --format=%ct 2>/dev/null || date +%s)
find "$build/stage" -exec touch -h -d "@$epoch" {} +

# --- the zip and the installer ---
zipfile=$build/$name.zip
rm -f "$zipfile"
(cd "$build/stage" && find "$name" -print | LC_ALL=C sort | zip -qX -9 "$zipfile" -@)
setup=$build/$name-setup.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" \
    -DICON="$stage/qm320.ico" packaging/windows/qm320.nsi
ls -l "$zipfile" "$setup" | awk '{ printf "%s: %d bytes\n", $NF, $5 }'
