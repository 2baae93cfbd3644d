#!/usr/bin/env bash
# The folder benchmark: a whole transform against a plain SQLite script making the same changes.
#   scripts/bench.sh [SCALE] [REPS]
#   scripts/bench.sh --schema-only [REPS]     only `schema` of a 200-table database
# SCALE 1 is the full folder (20 databases x 40 tables x 25 fields x 10 000 rows); the default 0.25
# keeps a run to a few minutes (5 databases x 10 tables x 25 fields x 10 000 rows). The append
# measurements always use tables of 0, 100 000 and 1 000 000 rows. Needs python3, strace, sqlite3
# (and mdb-export for the import comparison).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
only=()
if [ "${1:-}" = "--schema-only" ]; then
    only=(--schema-only)
    shift
    set -- 0.25 "$@"
fi
scale=${1:-0.25}
reps=${2:-5}
cli=${ACTUALIZ_BENCH_CLI:-}
if [ -z "$cli" ]; then
    cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DACTUALIZ_GUI=OFF -DACTUALIZ_TESTS=OFF >/dev/null
    cmake --build "$here/build/release" --target actualiz-cli >/dev/null
    cli="$here/build/release/actualiz-cli"
fi
dbs=$(python3 -c "print(max(1, round(20 * $scale)))")
tables=$(python3 -c "print(max(2, round(40 * $scale)))")
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) núcleos, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
exec python3 "$here/bench/folder_bench.py" --cli "$cli" --dbs "$dbs" --tables "$tables" \
    --fields 25 --rows 10000 --reps "$reps" --jet-dir "$here/tests/data/jet" "${only[@]}"
