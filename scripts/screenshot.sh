#!/usr/bin/env bash
# Makes the README's pictures of the window, drawn by a virtual X server as a user's display
# draws it (fonts, focus mark, message boxes), on a small demo prefix: an installed program folder
# with its models and the default data folder with a few databases.
#   docs/screenshot.png           the window at its design size, the focus on the drive list
#   docs/screenshot-enlarged.png  the window enlarged: the working controls in view, the hidden
#                                 ones (the driver, the progress panel) still hidden
#   docs/screenshot-first-run.png the first start on a prefix without the catalogs: one message
# Usage: scripts/screenshot.sh [BUILD_DIR] (default build/release; built when the window program
# is missing there).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
build=$(realpath -m "${1:-build/release}")

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
mkdir -p "$here/docs"

# One picture: starts the window with the given arguments on a fresh virtual display, waits until
# it has drawn itself, captures what it shows (window and message box, without a window manager's
# frames), ends it.
shoot() {
    local out=$1
    shift
    xvfb-run -a -s "-screen 0 1600x1200x24 -br" bash -c '
        out=$1; shift
        env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 "$@" &
        pid=$!
        for _ in $(seq 100); do
            xwininfo -name Actualiz >/dev/null 2>&1 && break
            sleep 0.1
        done
        sleep 1.5
        # The screen is black around what the program shows; trimming keeps just that.
        import -window root "$out"
        convert "$out" -trim +repage "$out"
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    ' shoot "$out" "$@"
    echo "wrote $out"
}

# Started from its own folder, as an installed program is: the drive list then shows c:.
program=("$build/actualiz" --program-dir "c:\\archivos de programa\\Mirto 2000\\actualiz")
cd "$mirto/actualiz"

# The first run, before the catalogs exist.
shoot "$here/docs/screenshot-first-run.png" "${program[@]}"

"$build/actualiz-cli" catalogs init >/dev/null
shoot "$here/docs/screenshot.png" "${program[@]}"
# 16000 x 9500 twips at 96 dpi, doubled by the scale factor.
shoot "$here/docs/screenshot-enlarged.png" "${program[@]}" -qwindowgeometry 1067x633+0+0
