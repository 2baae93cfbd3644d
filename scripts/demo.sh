#!/usr/bin/env bash
# The main job on a demo set-up: installs what is missing, builds, makes a demo prefix in ./demo
# (drive C with an installed program, its model databases, an older data folder and the three
# catalogs), previews the upgrade with a dry run, then upgrades the data folder and prints the report.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
./scripts/install-deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DACTUALIZ_TESTS=OFF
cmake --build build/release -j"$(nproc)"

demo="$here/demo"
rm -rf "$demo"
./build/release/actualiz-cli demo "$demo"
export WINEPREFIX="$demo"
program="c:\\archivos de programa\\Mirto 2000\\actualiz"

echo
echo "== Vista previa (--dry-run): nada cambia todavía"
./build/release/actualiz-cli transform --program-dir "$program" --dry-run --no-backup || true
echo
echo "== Actualización real"
status=0
./build/release/actualiz-cli transform --program-dir "$program" || status=$?
echo
echo "Para abrir la ventana sobre la misma demo:"
echo "  WINEPREFIX=\"$demo\" ./build/release/actualiz --program-dir \"$program\""
exit "$status"
