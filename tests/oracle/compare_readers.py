#!/usr/bin/env python3
"""Three readers of a Jet file compared: ours (tests/oracle/jet_driver dump), libmdb (mdb-schema,
mdb-export) and the mdb-reader package (tests/oracle/jet_dump.mjs). For every table the three
read, the columns (name, type; the text size where two readers give it) and the rows (as a
multiset, each value in one canonical form per type) must be the same.

    compare_readers.py --driver PATH FILE...        compares the files, prints each difference
    compare_readers.py --driver PATH --samples      every Jet 4 sample of tests/data/jet; the
                                                    differences listed in KNOWN are facts about
                                                    a reader, reported but not failures

Exit status 0 agreement, 1 differences, 77 a reader cannot run here (the test is skipped).
Also a module: jet_random.py uses read_all() and compare().
"""

import argparse
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
from decimal import Decimal, InvalidOperation
from datetime import datetime, timedelta, timezone

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "data", "jet")
NULL = "@@NULL@@"

# What the readers get differently on Access's own files, each settled against the bytes of the
# file (see docs/jet-files.md, "How it is checked"): ([file,] table, kind) and which reader is
# wrong.
# Facts about the readers, not about ours: reported, not failures.
LIBMDB_CUTS_AT_ZERO = ("libmdb cuts a Binary value at its first zero byte and a text at its "
                       "first NUL character; the row's offsets give the whole value, as ours "
                       "and mdb-reader read it")
KNOWN = {
    ("MSysACEs", "rows:libmdb"): LIBMDB_CUTS_AT_ZERO + " (SID)",
    ("MSysNameMap", "rows:libmdb"): LIBMDB_CUTS_AT_ZERO + " (Name ends in a stored NUL)",
    ("MSysQueries", "rows:libmdb"): (
        "libmdb gives Null for every 4-byte Binary Order and cuts Expression at its stored "
        "NUL; ours and mdb-reader give the bytes the row holds"),
    ("MSysAccessObjects", "error"): (
        "mdb-reader refuses the column type 0x11 of MSysAccessObjects.Data (3,992 bytes, "
        "a type the format notes do not name); ours and libmdb read it as bytes"),
    ("overflowTestV2000.mdb", "MSysObjects", "rows:libmdb"): (
        "two dates exactly half a second past (17:49:34.500); libmdb "
        "prints the second below, ours and mdb-reader the one above: a tie, neither wrong"),
}


class Unavailable(Exception):
    pass


def run(command, env=None):
    result = subprocess.run(command, capture_output=True, env=env)
    if result.returncode != 0:
        raise RuntimeError(
            "%s: %s" % (" ".join(command), result.stderr.decode("utf-8", "replace").strip()[:500])
        )
    return result.stdout.decode("utf-8")


def check_readers(driver):
    if not driver or not os.access(driver, os.X_OK):
        raise Unavailable("no jet_driver (%s)" % driver)
    if not shutil.which("mdb-export") or not shutil.which("mdb-schema"):
        raise Unavailable("mdbtools not installed (scripts/install-deps.sh)")
    if not shutil.which("node"):
        raise Unavailable("node not installed (scripts/install-deps.sh)")
    if not os.path.isdir(os.path.join(HERE, "node_modules", "mdb-reader")):
        raise Unavailable(
            "mdb-reader not installed (scripts/install-deps.sh runs npm ci in tests/oracle)")


# --- each reader, as {table: {"system", "columns": [(name, type, size)], "rows": [[...]]}} ---


def read_ours(driver, path):
    doc = json.loads(run([driver, "dump", path]))
    return {t["name"]: t for t in doc["tables"]}


def read_mdb_reader(path):
    env = dict(os.environ, TZ="UTC")
    doc = json.loads(
        run(["node", os.path.join(HERE, "jet_dump.mjs"), path, "--system"], env=env)
    )
    return {t["name"]: t for t in doc["tables"]}


LIBMDB_TYPES = {
    "Boolean": "boolean",
    "Byte": "byte",
    "Integer": "integer",
    "Long Integer": "long",
    "Currency": "currency",
    "Single": "float",
    "Double": "double",
    "DateTime": "datetime",
    "Binary": "binary",
    "Text": "text",
    "OLE": "ole",
    "Memo/Hyperlink": "memo",
    "Replication ID": "repid",
    "Numeric": "numeric",
}

COLUMN_LINE = re.compile(r"^\t\[(.*)\]\t+([A-Za-z/ ]+?)(?: \((\d+)(?:, *\d+)?\))?( NOT NULL)?,? ?$")


def read_libmdb_table(path, name):
    schema = run(["mdb-schema", "-T", name, "--no-indexes", "--no-relations", path, "access"])
    columns = []
    inside = False
    for line in schema.splitlines():
        if line.startswith("CREATE TABLE ["):
            inside = line[len("CREATE TABLE [") : -1] == name
            continue
        if not inside:
            continue
        m = COLUMN_LINE.match(line)
        if m:
            columns.append(
                {
                    "name": m.group(1),
                    "type": LIBMDB_TYPES.get(m.group(2), m.group(2)),
                    "size": int(m.group(3)) if m.group(3) else None,
                    "notNull": bool(m.group(4)),
                }
            )
        elif line.startswith(");"):
            inside = False
    text = run(
        ["mdb-export", "-0", NULL, "-T", "%Y-%m-%d %H:%M:%S", "-D", "%Y-%m-%d %H:%M:%S",
         "-b", "hex", path, name]
    )
    reader = csv.reader(io.StringIO(text, newline=""))
    header = next(reader, [])
    rows = [[None if v == NULL else v for v in row] for row in reader]
    return {"columns": columns, "header": header, "rows": rows, "csv": text}


def read_libmdb(path, names):
    tables = {}
    for name in names:
        try:
            tables[name] = read_libmdb_table(path, name)
        except RuntimeError as e:
            tables[name] = {"error": str(e)}
    return tables


def libmdb_table_names(path, system):
    out = run(["mdb-tables", "-1"] + (["-S"] if system else []) + [path])
    return [n for n in out.splitlines() if n]


# --- canonical values ---

EPOCH = datetime(1899, 12, 30, tzinfo=timezone.utc)


def canon(kind, value):
    """One text per value, the same whichever reader gave it."""
    if value is None:
        return None
    try:
        if kind == "boolean":
            return "1" if value in (True, "1", 1) else "0"
        if kind in ("byte", "integer", "long"):
            return str(int(value))
        if kind in ("currency", "numeric"):
            return str(Decimal(str(value)).quantize(Decimal("0.0001")))
        if kind == "double":
            # libmdb prints a double with 15 significant digits at most.
            return "%.15g" % float(value)
        if kind == "float":
            return "%.7g" % float(value)
        if kind == "datetime":
            if "T" in value:  # ISO with milliseconds: the nearest second, as libmdb prints it
                moment = datetime.fromisoformat(value.replace("Z", "+00:00"))
                moment = (moment + timedelta(milliseconds=500)).replace(microsecond=0)
                return moment.strftime("%Y-%m-%d %H:%M:%S")
            return value
        if kind in ("binary", "ole"):
            return value.lower()
        if kind == "repid":
            text = value
            if len(text) > 64 and text[:2] in ("7B", "7b"):  # mdb-export -b hex: its text in hex
                text = bytes.fromhex(text).decode("ascii")
            # The 32 digits alone: libmdb prints a GUID in braces without its fourth dash
            # ({8-4-4-16}), the others as 8-4-4-4-12.
            return text.strip("{}").replace("-", "").upper()
    except (ValueError, InvalidOperation, TypeError):
        return "?" + str(value)
    return value


def canonical_rows(kinds, rows, empty_as_null=False):
    """Each row as canonical JSON text, sorted. With empty_as_null a zero-length text or binary
    value is Null, as mdb-export prints it (it cannot tell them apart)."""
    out = []
    for row in rows:
        values = [canon(k, v) for k, v in zip(kinds, row)]
        if empty_as_null:
            values = [None if v == "" else v for v in values]
        out.append(json.dumps(values, ensure_ascii=False))
    return sorted(out)


# --- comparison ---


def read_all(driver, path, tables=None, system=True):
    """The three readings of the file, limited to the tables named (all when None)."""
    ours = read_ours(driver, path)
    mdbr = read_mdb_reader(path)
    names = sorted(set(ours) | set(mdbr))
    if tables is not None:
        names = [n for n in names if n in tables]
    libmdb = read_libmdb(path, [n for n in names if n in ours])
    return {"ours": ours, "mdb-reader": mdbr, "libmdb": libmdb, "names": names}


class Difference(tuple):
    """(table, kind, text); a difference of rows also keeps the rows only one side has."""

    def __new__(cls, table, kind, text, rows=None):
        self = super().__new__(cls, (table, kind, text))
        self.rows = rows
        return self

    def within(self, before):
        """Whether it is no more than a difference seen before (the same rows or fewer)."""
        if (self[0], self[1]) != (before[0], before[1]):
            return False
        if self.rows is None or before.rows is None:
            return self.rows is None and before.rows is None
        return self.rows[0] <= before.rows[0] and self.rows[1] <= before.rows[1]


def settle_absent(kinds, ours, rows, empty_as_null=False):
    """The other reader's rows with the fields a row does not have (appended after it was
    written: numbered at or past the row's count of columns, `absent` in our dump) as Access reads
    them, Null or False. libmdb and mdb-reader take a row's fixed fields as its columns less its
    variable ones, deleted ones counted, and so read such a field of a table with deleted fixed
    fields from the bytes past the row's fixed part, its null bit from past the row's mask. Only
    a row equal to ours in every other field is settled: rows that do not line up stay as read."""
    rows = [list(r) for r in rows]

    def same(a, b, kind):
        a, b = canon(kind, a), canon(kind, b)
        if empty_as_null:
            a, b = (None if a == "" else a), (None if b == "" else b)
        return a == b

    for place, fields in ours.get("absent", []):
        if place >= len(rows) or place >= len(ours["rows"]):
            continue
        mine, theirs = ours["rows"][place], rows[place]
        if all(same(mine[i], theirs[i], kinds[i]) for i in range(len(kinds)) if i not in fields):
            for i in fields:
                theirs[i] = mine[i]
    return rows


def compare(readings, path, tables=None):
    """Differences (Difference: table, kind, text)."""
    diffs = []
    ours, mdbr, libmdb = readings["ours"], readings["mdb-reader"], readings["libmdb"]
    listed_libmdb = set(libmdb_table_names(path, system=False))
    user_ours = {n for n, t in ours.items() if not t.get("system")}
    user_mdbr = {n for n, t in mdbr.items() if not t.get("system")}
    if tables is None:
        for name in sorted(user_ours | user_mdbr | listed_libmdb):
            who = [r for r, s in (("ours", user_ours), ("mdb-reader", user_mdbr),
                                  ("libmdb", listed_libmdb)) if name in s]
            if len(who) != 3:
                diffs.append(
                    Difference(name, "listed", "user table listed only by " + ", ".join(who)))
    for name in readings["names"]:
        if tables is not None and name not in tables:
            continue
        o, m, l = ours.get(name), mdbr.get(name), libmdb.get(name)
        if o is None or m is None or l is None:
            missing = [r for r, t in (("ours", o), ("mdb-reader", m), ("libmdb", l)) if t is None]
            diffs.append(Difference(name, "missing", "not read by " + ", ".join(missing)))
            continue
        errors = [(r, t["error"]) for r, t in (("ours", o), ("mdb-reader", m), ("libmdb", l))
                  if "error" in t]
        if errors:
            diffs.append(Difference(name, "error", "; ".join("%s: %s" % e for e in errors)))
            continue
        oc = [(c["name"], c["type"]) for c in o["columns"]]
        mc = [(c["name"], c["type"]) for c in m["columns"]]
        lc = [(c["name"], c["type"]) for c in l["columns"]]
        if not (oc == mc == lc):
            diffs.append(Difference(
                name, "columns", "ours %s / mdb-reader %s / libmdb %s" % (oc, mc, lc)))
            continue
        for co, cm, cl in zip(o["columns"], m["columns"], l["columns"]):
            # mdb-reader gives every Boolean the size 0; the definitions hold 1.
            size_differs = co["size"] != cm["size"] and co["type"] != "boolean"
            if size_differs or co.get("nullable") != cm.get("nullable"):
                diffs.append(Difference(
                    name, "column", "%s: ours size %s nullable %s, mdb-reader size %s "
                    "nullable %s" % (co["name"], co["size"], co.get("nullable"), cm["size"],
                                     cm.get("nullable"))))
            if co["type"] == "text" and cl["size"] is not None and cl["size"] * 2 != co["size"]:
                diffs.append(Difference(
                    name, "column", "%s: libmdb says %s characters, ours %s bytes"
                    % (co["name"], cl["size"], co["size"])))
        kinds = [c["type"] for c in o["columns"]]
        ro = canonical_rows(kinds, o["rows"])
        rm = canonical_rows(kinds, settle_absent(kinds, o, m["rows"]))
        rl = canonical_rows(kinds, settle_absent(kinds, o, l["rows"], True), empty_as_null=True)
        for other, rows in (("mdb-reader", rm), ("libmdb", rl)):
            if other == "libmdb":
                ro = canonical_rows(kinds, o["rows"], empty_as_null=True)
            if rows != ro:
                only_ours = sorted(set(ro) - set(rows))[:3]
                only_other = sorted(set(rows) - set(ro))[:3]
                diffs.append(Difference(
                    name, "rows:" + other,
                    "%d rows ours, %d %s; only ours %s; only %s %s"
                    % (len(ro), len(rows), other, only_ours, other, only_other),
                    (frozenset(ro) - frozenset(rows), frozenset(rows) - frozenset(ro))))
    return diffs


def samples():
    out = []
    for name in sorted(os.listdir(SAMPLES)):
        path = os.path.join(SAMPLES, name)
        if name.endswith(".mdb"):
            with open(path, "rb") as f:
                head = f.read(0x15)
            if len(head) == 0x15 and head[0x14] == 1:  # Jet 4
                out.append(path)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--driver", required=True)
    parser.add_argument("--samples", action="store_true")
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    try:
        check_readers(args.driver)
    except Unavailable as e:
        print("skipped: " + str(e))
        return 77
    files = args.files + (samples() if args.samples else [])
    failed = False
    for path in files:
        base = os.path.basename(path)
        diffs = compare(read_all(args.driver, path), path)
        for table, kind, text in diffs:
            known = KNOWN.get((base, table, kind)) or KNOWN.get((table, kind))
            if known:
                print("%s %s %s (known: %s)" % (base, table, kind, known))
            else:
                failed = True
                print("%s %s %s: %s" % (base, table, kind, text))
        if not diffs:
            print("%s: the three readers agree" % base)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
