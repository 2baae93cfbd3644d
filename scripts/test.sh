#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test, then builds the
# tests again with AddressSanitizer + UndefinedBehaviorSanitizer and runs them once more.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
./scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== build (warnings are errors)"
cmake -S . -B build/werror -G Ninja -DCMAKE_BUILD_TYPE=Debug -DACTUALIZ_WERROR=ON
cmake --build build/werror -j"$jobs"
(cd build/werror && ctest --output-on-failure -j"$jobs")

echo "== fault harness (a few kills; scripts/faults.sh 200 for a long campaign)"
ACTUALIZ_CLI=build/werror/actualiz-cli ./scripts/faults.sh 3

echo "== Debian package of the build just tested, unpacked and checked"
# scripts/package.sh makes the one to hand out, from a Release build of its own; the package of
# this build holds the same files, so the check costs no second build.
deb=$(cd build/werror && rm -f actualiz_*.deb && cpack -G DEB >&2 && ls "$PWD"/actualiz_*.deb)
./scripts/check-package.sh "$deb"

echo "== build with AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DACTUALIZ_WERROR=ON -DACTUALIZ_SANITIZE=ON
cmake --build build/sanitize -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build/sanitize && ctest --output-on-failure -j"$jobs")
echo "== all tests passed"
