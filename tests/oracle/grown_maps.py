#!/usr/bin/env python3
"""Tables grown past what their usage maps reached, read by three readers.

A copy of testV2000.mdb (743 pages, its maps of type 0 reaching 512 or 768 pages) gets rows in a
table of its own until its maps must grow, then the same table's maps turned into type 1 maps
(0x05 pages) and more rows, and a new table with an index grown the same way. Afterwards
`actualiz-cli check` finds the copy sound, the three readers (compare_readers.py) agree on every
table, and each grown table holds exactly its old rows and the new ones.

    grown_maps.py --driver PATH --cli PATH

Exit status 0 done, 1 a difference, 77 a reader cannot run here (the test is skipped).
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

import compare_readers

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(HERE, "..", "data", "jet", "testV2000.mdb")
WIDE = {"column%d" % i: None for i in range(1, 9)}


def wide_rows(first, count):
    rows = []
    for n in range(first, first + count):
        row = dict(WIDE)
        for i in range(1, 9):
            row["column%d" % i] = ("fila %d campo %d " % (n, i)).ljust(50, "x")[:50]
        rows.append(row)
    return rows


def new_rows(first, count):
    return [{"Clave": n, "Texto": ("texto %d " % n).ljust(200, "y")} for n in range(first, first + count)]


def operations():
    return [
        {"op": "grow", "table": "Table2", "rows": wide_rows(0, 80)},
        {"op": "create_table", "name": "Crecida",
         "columns": [{"name": "Clave", "type": "long"}, {"name": "Texto", "type": "text", "size": 255}],
         "indexes": [{"name": "PrimaryKey", "fields": ["Clave"], "primary": True}]},
        {"op": "grow", "table": "Crecida", "rows": new_rows(0, 300)},
        {"op": "reference_maps", "table": "Table2"},
        {"op": "grow", "table": "Table2", "rows": wide_rows(80, 80)},
        {"op": "reference_maps", "table": "Crecida"},
        {"op": "grow", "table": "Crecida", "rows": new_rows(300, 100)},
    ]


def row_counts(driver, path):
    dump = json.loads(subprocess.run([driver, "dump", path], check=True, capture_output=True).stdout)
    return {t["name"]: len(t.get("rows", [])) for t in dump["tables"]}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--driver", required=True)
    parser.add_argument("--cli", required=True)
    args = parser.parse_args()
    try:
        compare_readers.check_readers(args.driver)
    except compare_readers.Unavailable as e:
        print("skipped: " + str(e))
        return 77
    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, "testV2000.mdb")
        shutil.copyfile(SAMPLE, copy)
        before = row_counts(args.driver, copy)
        ops = "".join(json.dumps(op) + "\n" for op in operations())
        applied = subprocess.run([args.driver, "apply", copy, "-"], input=ops.encode(),
                                 capture_output=True)
        results = [json.loads(line) for line in applied.stdout.decode().splitlines() if line]
        failed = applied.returncode != 0 or any(not r.get("ok", False) for r in results)
        for op, result in zip(operations(), results):
            print("%s %s: %s" % (op["op"], op.get("table", op.get("name")),
                                 json.dumps({k: v for k, v in result.items() if k != "ok"})))
        if failed:
            print(applied.stderr.decode())
            return 1
        pages = os.path.getsize(copy) // 4096
        print("%d pages (%d before)" % (pages, os.path.getsize(SAMPLE) // 4096))
        check = subprocess.run([args.cli, "check", copy], capture_output=True)
        if check.returncode != 0:
            print(check.stdout.decode() + check.stderr.decode())
            return 1
        after = row_counts(args.driver, copy)
        expected = dict(before, Table2=before["Table2"] + 160, Crecida=400,
                        MSysObjects=before["MSysObjects"] + 1)
        if after != expected:
            print("rows: %s, expected %s" % (after, expected))
            return 1
        diffs = compare_readers.compare(compare_readers.read_all(args.driver, copy), copy)
        base = os.path.basename(SAMPLE)
        for table, kind, text in diffs:
            known = compare_readers.KNOWN.get((base, table, kind)) or compare_readers.KNOWN.get(
                (table, kind))
            if known:
                print("%s %s (known: %s)" % (table, kind, known))
            else:
                failed = True
                print("%s %s: %s" % (table, kind, text))
        if failed:
            return 1
        print("check sound; the three readers agree; rows %s" % after)
    return 0


if __name__ == "__main__":
    sys.exit(main())
