#!/usr/bin/env bash
# Makes docs/screenshot.png: the window at its design size, on a small demo prefix (an installed
# program folder with its models and the default data folder with a few databases), drawn by a
# virtual X server. Usage: scripts/screenshot.sh [BUILD_DIR] (default build/release; built when
# the window program is missing there).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
build=$(realpath -m "${1:-build/release}")
out="$here/docs/screenshot.png"

if [[ ! -x "$build/actualiz" ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DACTUALIZ_TESTS=OFF
    cmake --build "$build" -j"$(nproc)" --target actualiz actualiz-cli
fi

demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
export WINEPREFIX="$demo"
mirto="$demo/drive_c/archivos de programa/Mirto 2000"
mkdir -p "$mirto/bases/copias" "$mirto/actualiz/modelos"
# The lists only show names, so empty files do for the picture.
for name in almacen.mdb clientes.mdb contabilidad.mdb; do : >"$mirto/bases/$name"; done
for name in almacen.mdb clientes.mdb contabilidad.mdb nominas.mdb; do
    : >"$mirto/actualiz/modelos/$name"
done
# The catalogs the window opens when it loads; without them it starts by reporting each one.
if [[ -x "$build/actualiz-cli" ]]; then
    "$build/actualiz-cli" catalogs init >/dev/null
fi

mkdir -p "$here/docs"
# Started from its own folder, as an installed program is: the drive list then shows c:.
cd "$mirto/actualiz"
# Twice the size, so that the small design window reads well in the README.
xvfb-run -a -s "-screen 0 1280x1024x24" \
    env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 \
    "$build/actualiz" --program-dir "c:\\archivos de programa\\Mirto 2000\\actualiz" \
    --screenshot "$out"
echo "wrote $out"
