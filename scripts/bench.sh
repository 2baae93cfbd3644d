#!/usr/bin/env bash
# The folder benchmark: a whole transform against a plain SQLite script making the same changes.
#   scripts/bench.sh [SCALE] [REPS]
#   scripts/bench.sh --schema-only [REPS]     only `schema` of a 200-table database
#   scripts/bench.sh --import [REPS] [FILE...] only `import` of real Jet files against `mdb-export`
#                                              of each of their tables, run for run in turn
#   scripts/bench.sh --tables [REPS] [N,M]     only `transform` of a database that lacks all but
#                                              one of a model's N and then M tables (default
#                                              1000,8000; one run each): time, processor time
#                                              per table and peak memory at both sizes
#   scripts/bench.sh --jet [REPS] [ROWS,ROWS]  only `transform` of a folder of Jet 4 files (samples
#                                              with a table of 10 000 and then 100 000 rows
#                                              added) against the same folder imported into our
#                                              own format, same models: user time and peak
#                                              memory (/usr/bin/time -v), interleaved runs, and a
#                                              second run of each
# SCALE 1 is the full folder (20 databases x 40 tables x 25 fields x 10 000 rows); the default 0.25
# keeps a run to a few minutes (5 databases x 10 tables x 25 fields x 10 000 rows). The append
# measurements always use tables of 0, 100 000 and 1 000 000 rows. Needs python3, strace, sqlite3
# (and mdb-export for the import comparison). The import files are by default the real files with
# the most rows: testIndexCodesV1997.mdb (29 tables, 1 536 rows) and compIndexTestV2000.mdb (512
# rows) of ../shared/fixtures/jet (or ../../shared/...) when there, else tests/data/jet; times are
# medians of wall and of processor time (user + system, children included).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
only=()
jet_dir="$here/tests/data/jet"
if [ "${1:-}" = "--schema-only" ]; then
    only=(--schema-only)
    shift
    set -- 0.25 "$@"
elif [ "${1:-}" = "--tables" ]; then
    only=(--tables-only --table-counts "${3:-1000,8000}")
    set -- 0.25 "${2:-1}"
elif [ "${1:-}" = "--import" ]; then
    shift
    reps=${1:-9}
    shift || true
    if [ $# -gt 0 ]; then
        jet_dir=$(IFS=,; echo "$*")
    else
        fixtures=$here/tests/data/jet
        for shared in "$here/../shared/fixtures/jet" "$here/../../shared/fixtures/jet"; do
            [ -d "$shared" ] && fixtures=$(cd "$shared" && pwd) && break
        done
        jet_dir="$fixtures/testIndexCodesV1997.mdb"
        [ -f "$fixtures/compIndexTestV2000.mdb" ] && jet_dir="$jet_dir,$fixtures/compIndexTestV2000.mdb"
    fi
    only=(--import-only)
    set -- 0.25 "$reps"
fi
# The Jet case: its own program to make the files, and its own script.
if [ "${1:-}" = "--jet" ]; then
    cli=${ACTUALIZ_BENCH_CLI:-$here/build/release/actualiz-cli}
    rows_tool=${ACTUALIZ_BENCH_JET_ROWS:-$here/build/release/jet_rows}
    if [ -z "${ACTUALIZ_BENCH_CLI:-}" ] || [ -z "${ACTUALIZ_BENCH_JET_ROWS:-}" ]; then
        cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DACTUALIZ_GUI=OFF -DACTUALIZ_TESTS=OFF -DACTUALIZ_BENCH=ON >/dev/null
        cmake --build "$here/build/release" --target actualiz-cli jet_rows >/dev/null
    fi
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) núcleos, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
    exec python3 "$here/bench/jet_bench.py" --cli "$cli" --jet-rows "$rows_tool" \
        --reps "${2:-3}" --rows "${3:-10000,100000}" \
        "$here/tests/data/jet/blankV2000.mdb" "$here/tests/data/jet/indexTestV2000.mdb"
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
    --fields 25 --rows 10000 --reps "$reps" --jet-dir "$jet_dir" "${only[@]}"
