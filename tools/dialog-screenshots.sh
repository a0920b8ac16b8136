#!/usr/bin/env bash
# Pictures of both action dialogs as Windows draws them (Wine on a virtual
# display), saved as docs/dialog-101.png and docs/dialog-399.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
# Wine draws the caption's buttons with its Marlett font (fonts-wine); without
# it the close box shows as the letter "r". ImageMagick converts the pictures.
missing=()
for p in imagemagick fonts-wine; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build-win64 --target win32_dialog_snapshot quorvia_conduit
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export WINEPREFIX=$PWD/build-win64/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Without a window manager Wine draws the frames and captions itself.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
/usr/lib/wine/wineserver -w
# Debian's Wine 8 looks for its own fonts at a path that does not resolve
# ("\usr\share\wine\../fonts"), so the prefix gets Marlett in its Fonts folder.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
xvfb-run -a -s "-screen 0 1024x768x24" /usr/lib/wine/wine64 \
  build-win64/bin/win32_dialog_snapshot.exe build-win64/bin/quorvia_conduit.dll \
  "Z:${out//\//\\}\\101.bmp" "Z:${out//\//\\}\\399.bmp"
mkdir -p docs
# Without time stamps, so that a retake of the same dialogs is the same file.
for id in 101 399; do
  convert "$out/$id.bmp" -strip -define png:exclude-chunks=date,time "docs/dialog-$id.png"
done
echo "written: docs/dialog-101.png docs/dialog-399.png"
