#!/usr/bin/env bash
# Makes the Debian package: a Release build of its own in build/package (or the folder given),
# with Debian's hardening flags, stripped by CPack, then cpack -G DEB. Prints the package's path
# on standard output (everything else goes to standard error).
#   scripts/package.sh [BUILD_DIR]
# scripts/check-package.sh checks the result.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/package}

# The flags Debian builds its own packages with (stack protector, fortified functions, full
# RELRO); CMake reads CXXFLAGS and LDFLAGS when it first configures a build folder.
eval "$(dpkg-buildflags --export=sh)"
export CXXFLAGS="$CXXFLAGS $CPPFLAGS" CFLAGS="$CFLAGS $CPPFLAGS" LDFLAGS

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DACTUALIZ_TESTS=OFF -DACTUALIZ_BENCH=OFF >&2
cmake --build "$build" -j"$(nproc)" >&2
(cd "$build" && rm -f actualiz_*.deb && cpack -G DEB >&2)
ls "$build"/actualiz_*.deb
