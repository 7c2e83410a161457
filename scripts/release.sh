#!/usr/bin/env bash
# Builds the Windows program and packs what a user gets: the exe, lang.ini (Russian, the built-in
# texts) and lang.en.ini (English), the WinUSB driver INF and the user guide, as a folder and a
# zip in build/dist (VQZ_DIST_DIR). The build folder can be chosen with VQZ_WIN64_BUILD.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
win_build="${VQZ_WIN64_BUILD:-$root/build/win64}"
dist="${VQZ_DIST_DIR:-$root/build/dist}"

bash "$root/scripts/setup.sh"
command -v zip >/dev/null || { echo "release: zip is needed (apt-get install zip)" >&2; exit 1; }

cmake --preset win64 -B "$win_build" >/dev/null
cmake --build "$win_build" -j2 --target vqz_downloader

version="$(sed -n 's/^project(vqz_downloader VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
name="vqz_downloader-$version"
folder="$dist/$name"
rm -rf "$folder" "$dist/$name.zip"
mkdir -p "$folder/driver"

x86_64-w64-mingw32-strip -o "$folder/vqz_downloader.exe" "$win_build/app/vqz_downloader.exe"

# Windows line ends, UTF-16 with a byte-order mark: read right on every code page, and by Notepad.
windows_text() {
  { printf '\xff\xfe'; sed 's/$/\r/' "$1" | iconv -f UTF-8 -t UTF-16LE; } >"$2"
}
windows_text "$root/release/lang.ru.ini" "$folder/lang.ini"
windows_text "$root/release/lang.en.ini" "$folder/lang.en.ini"

sed 's/$/\r/' "$root/driver/vqz_dfu.inf" >"$folder/driver/vqz_dfu.inf"
sed 's/$/\r/' "$root/docs/USER-GUIDE.md" >"$folder/USER-GUIDE.md"

(cd "$dist" && zip -q -r -X "$name.zip" "$name")

echo "release: $folder"
echo "release: $dist/$name.zip"
(cd "$folder" && find . -type f | sort | while read -r f; do printf '  %8d  %s\n' "$(stat -c %s "$f")" "${f#./}"; done)
