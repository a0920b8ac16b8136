#!/usr/bin/env bash
# Pictures of both action dialogs as Windows draws them (Wine on a virtual
# display), saved as docs/dialog-101.png and docs/dialog-399.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
command -v magick >/dev/null || dpkg -s imagemagick >/dev/null 2>&1 || apt-get install -y -qq imagemagick >/dev/null
cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build-win64 --target win32_dialog_snapshot quorvia_conduit
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export WINEPREFIX=$PWD/build-win64/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Without a window manager Wine draws the frames and captions itself.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
/usr/lib/wine/wineserver -w
xvfb-run -a -s "-screen 0 1024x768x24" /usr/lib/wine/wine64 \
  build-win64/bin/win32_dialog_snapshot.exe build-win64/bin/quorvia_conduit.dll \
  "Z:${out//\//\\}\\101.bmp" "Z:${out//\//\\}\\399.bmp"
mkdir -p docs
convert "$out/101.bmp" docs/dialog-101.png
convert "$out/399.bmp" docs/dialog-399.png
echo "written: docs/dialog-101.png docs/dialog-399.png"
