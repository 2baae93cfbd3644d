#!/usr/bin/env python3
"""Randomized test of the Jet writer: copies of the Jet 4 samples of tests/data/jet get random
sequences of writer operations through the test driver (tests/oracle/jet_driver), and after
every sequence

  - `actualiz-cli check` passes on the copy (exit 0);
  - our reader, libmdb and the mdb-reader package agree on every table the sequence changed and
    on MSysObjects, and their rows are the ones the operations leave (inserted rows added, deleted
    ones gone);
  - every other table exports (mdb-export) byte for byte as before;
  - the saved queries libmdb lists (mdb-queries) are those the sequence leaves.

An operation the writer refuses is an outcome (the driver checks that it left the bytes as they
were). A failing sequence is printed with its seed and its steps, shrunk to fewer steps where
dropping one keeps the failure; the steps replay with `jet_driver apply COPY STEPS`.

    scripts/jet_random.py --driver build/werror/tests/jet_driver \\
        --cli build/werror/actualiz-cli [--seed N] [--sequences N] [--steps N] [--sample NAME]

Exit status 0 every sequence sound, 1 a failure, 77 a reader cannot run here.

New operations are one entry each: a generator in GENERATORS (with its weight) and its line in
the driver's table of operations; `effect` keeps the expected rows when it changes them.
"""

import argparse
import collections
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "oracle"))
import compare_readers as readers  # noqa: E402

# Types a new table may have (those the writer creates) and characters of random text (each with
# a known sort weight: letters, digits, Latin-1 accents, and the apostrophe and hyphen that sort
# by place).
NEW_TABLE_TYPES = ["boolean", "byte", "integer", "long", "currency", "double", "datetime", "text"]
TEXT_CHARS = (
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 " + "áéíóúñüÁÉÑç" + "'-"
)


class Failure(Exception):
    pass


# --- state: the tables a sequence may touch, with the rows expected in them ---


class Table:
    def __init__(self, name, columns, rows):
        self.name = name
        self.columns = columns  # [{"name", "type", "size", "autoLong"}]
        self.rows = collections.Counter(rows)  # canonical rows (compare_readers.canonical_rows)

    def kinds(self):
        return [c["type"] for c in self.columns]


class State(dict):
    """The tables by name, and the names of the saved queries."""

    queries = None


def saved_queries(path):
    listed = subprocess.run(["mdb-queries", "-1", path], capture_output=True, text=True).stdout
    return set(n for n in listed.splitlines() if n)


def initial_state(driver, path):
    """User tables as our reader reads them: columns and canonical rows; the saved queries."""
    state = State()
    state.queries = saved_queries(path)
    for name, t in readers.read_ours(driver, path).items():
        if t.get("system") or "error" in t:
            continue
        kinds = [c["type"] for c in t["columns"]]
        state[name] = Table(name, t["columns"], readers.canonical_rows(kinds, t["rows"]))
    return state


# --- random values, as the driver takes them and as the readers give them back ---


def random_text(rng, most):
    return "".join(rng.choice(TEXT_CHARS) for _ in range(rng.randint(0, max(0, most))))


def random_value(rng, column, long_texts=False):
    """(the driver's JSON value, the reader's form) for a column; long_texts: texts up to the
    column's size (keys long enough that few fit a page)."""
    kind = column["type"]
    if kind == "boolean":  # never Null: its value is its bit in the row's null mask
        v = rng.random() < 0.5
        return v, v
    if not column.get("autoLong") and rng.random() < 0.15:
        return None, None
    if kind == "byte":
        v = rng.randint(0, 255)
        return v, v
    if kind == "integer":
        v = rng.randint(-32768, 32767)
        return v, v
    if kind == "long":
        low = 1 if column.get("autoLong") else -(2**31)
        v = rng.randint(low, 2**31 - 1)
        return v, v
    if kind == "currency":
        v = "%s%d.%04d" % (rng.choice(["", "-"]), rng.randint(0, 10**9), rng.randint(0, 9999))
        return v, v
    if kind == "double":
        v = rng.choice([rng.randint(-1000, 1000), round(rng.uniform(-1e6, 1e6), 3)])
        return float(v), float(v)
    if kind == "datetime":
        days = rng.randint(1, 73000)  # 1899-12-31 .. 2099
        seconds = rng.randint(0, 86399)
        value = days + seconds / 86400.0
        moment = readers.EPOCH + readers.timedelta(days=days, seconds=seconds)
        return value, moment.strftime("%Y-%m-%dT%H:%M:%S.000Z")
    if kind == "text":
        if long_texts:  # a letter first: an empty text has no key
            v = rng.choice("abcdefgh") + random_text(rng, column["size"] // 2 - 1)
        else:
            v = random_text(rng, min(column["size"] // 2, 24))
        return v, v
    if kind == "memo":
        v = random_text(rng, 80)
        return v, v
    if kind in ("binary", "ole"):
        most = column["size"] if kind == "binary" else 40
        v = bytes(rng.randint(0, 255) for _ in range(rng.randint(0, min(most, 16)))).hex()
        return v, v
    if kind == "repid":
        b = bytes(rng.randint(0, 255) for _ in range(16))
        text = "{%s-%s-%s-%s-%s}" % (
            b[3::-1].hex(), b[5:3:-1].hex(), b[7:5:-1].hex(), b[8:10].hex(), b[10:].hex())
        return b.hex(), text.upper()
    return None, None  # a type no random value is made for: left Null


# --- operations: a generator each, and what a successful one does to the expected rows ---


def gen_insert(rng, state):
    if not state:
        return None
    table = state[rng.choice(sorted(state))]
    values, shown = {}, []
    for column in table.columns:
        driven, read = random_value(rng, column)
        if driven is not None:
            values[column["name"]] = driven
        shown.append(read)
    expected = readers.canonical_rows(table.kinds(), [shown])[0]
    return {"op": "insert", "table": table.name, "values": values}, ("insert", table.name, expected)


def gen_delete(rng, state):
    full = [n for n in sorted(state) if sum(state[n].rows.values())]
    if not full:
        return None
    name = rng.choice(full)
    return {"op": "delete", "table": name, "nth": rng.randint(0, 10**6)}, ("delete", name, None)


def gen_grow(rng, state):
    """Enough rows at once that a table's indexes grow to trees of two or three levels."""
    if not state:
        return None
    made = sorted(n for n in state if n.startswith("R"))
    table = state[rng.choice(made or sorted(state))]
    rows, expected = [], []
    size = 0  # the step is one argument of the driver's command line: kept under 100 KB
    for _ in range(rng.randint(60, 320)):
        if size > 100000:
            break
        values, shown = {}, []
        for column in table.columns:
            driven, read = random_value(rng, column, long_texts=True)
            if driven is not None:
                values[column["name"]] = driven
            shown.append(read)
        rows.append(values)
        size += len(json.dumps(values))
        expected.append(readers.canonical_rows(table.kinds(), [shown])[0])
    return {"op": "grow", "table": table.name, "rows": rows}, ("grow", table.name, expected)


def gen_thin(rng, state):
    """Most rows of a table deleted at once: its trees shrink back."""
    full = [n for n in sorted(state) if sum(state[n].rows.values()) >= 20]
    if not full:
        return None
    made = [n for n in full if n.startswith("R")]  # the grown ones, deep trees among them
    name = rng.choice(made or full)
    return {"op": "thin", "table": name, "keep": rng.randint(2, 40)}, ("thin", name, None)


def gen_create_table(rng, state):
    name = "R" + "".join(rng.choice("abcdefghijklmnopqrstuvwxyz0123456789") for _ in range(6))
    columns = []
    for i in range(rng.randint(1, 8)):
        kind = rng.choice(NEW_TABLE_TYPES)
        column = {"name": "c%d%s" % (i, rng.choice(["", "_x", "Nombre", "ñ"])), "type": kind}
        if kind == "text":
            column["size"] = rng.choice([1, 10, 50, 255])
        columns.append(column)
    if rng.random() < 0.9 and not any(c["type"] == "text" for c in columns):
        columns.append({"name": "texto", "type": "text", "size": 40})
    long_key = rng.random() < 0.3  # a long text with its own index: deep trees when it grows
    if long_key:
        columns.append({"name": "largo", "type": "text", "size": 255})
    op = {"op": "create_table", "name": name, "columns": columns, "created": 45000.5}
    if long_key:
        op["indexes"] = [{"name": "PorLargo", "fields": ["largo"],
                          "descending": rng.random() < 0.5}]
    elif rng.random() < 0.5:  # a primary key and an index, as a model's new table has them
        names = [c["name"] for c in columns]
        op["indexes"] = [{"name": "PrimaryKey", "fields": [rng.choice(names)], "primary": True}]
        if len(names) > 1:
            op["indexes"].append({"name": "Ix", "fields": rng.sample(names, 2),
                                  "unique": rng.random() < 0.3,
                                  "descending": rng.random() < 0.3})
    return op, ("create", name, columns)


def gen_pages(rng, state):
    count = rng.randint(1, 6)
    order = list(range(count))
    rng.shuffle(order)
    return {"op": "pages", "count": count, "free": order[: rng.randint(0, count)]}, ("none",)


def gen_append_column(rng, state):
    if not state:
        return None
    table = state[rng.choice(sorted(state))]
    kind = rng.choice(NEW_TABLE_TYPES)
    column = {"name": "n%d%s" % (rng.randint(0, 999), rng.choice(["", "_y", "ñ"])), "type": kind}
    if kind == "text":
        column["size"] = rng.choice([1, 10, 50, 255])
    op = {"op": "append_column", "table": table.name, "column": column}
    return op, ("append_column", table.name, column)


def gen_delete_column(rng, state):
    if not state:
        return None
    table = state[rng.choice(sorted(state))]
    if not table.columns:
        return None
    column = rng.choice(table.columns)["name"]
    op = {"op": "delete_column", "table": table.name, "column": column}
    return op, ("delete_column", table.name, column)


def gen_set_property(rng, state):
    if not state:
        return None
    table = state[rng.choice(sorted(state))]
    column = rng.choice([""] + [c["name"] for c in table.columns])
    op = {"op": "set_property", "table": table.name, "column": column}
    if column and rng.random() < 0.5:
        op.update({"name": rng.choice(["Required", "AllowZeroLength"]), "yes": rng.random() < 0.5})
    else:
        op.update({"name": rng.choice(["Description", "DefaultValue", "ValidationText"]),
                   "text": random_text(rng, rng.choice([10, 200, 3000]))})
    return op, ("property",)


# Names as the classic engine's SQL writes them: bare when plain, [bracketed] otherwise.
RESERVED = set("""ALL AND AS ASC BETWEEN BY COLUMN CREATE DATABASE DATE DELETE DESC DISTINCT DROP
    EXISTS FROM FULL GROUP HAVING IN INDEX INNER INSERT INTO IS JOIN KEY LEFT LIKE NAME NOT NULL ON
    OR ORDER OUTER PARAMETERS PERCENT PIVOT RIGHT SELECT SET TABLE TIME TOP TRANSFORM UNION UNIQUE
    UPDATE VALUE VALUES WHERE""".split())


def sql_name(name):
    plain = name and not name[0].isdigit() and all(
        c.isascii() and (c.isalnum() or c == "_") or ord(c) >= 0x80 for c in name)
    return name if plain and name.upper() not in RESERVED else "[%s]" % name


def gen_create_query(rng, state):
    """A query of one of the kinds the writer stores, on a table of the file; now and then a
    name a table or query has already (refused)."""
    tables = [t for t in sorted(state) if state[t].columns]
    if not tables:
        return None
    table = state[rng.choice(tables)]
    t = sql_name(table.name)
    column = rng.choice(table.columns)["name"]
    c = "[%s].[%s]" % (table.name, column)
    other = "Otra.[%s]" % column
    name = "Q" + "".join(rng.choice("abcdefghijklmnopqrstuvwxyz0123456789") for _ in range(6))
    if rng.random() < 0.1:
        name = rng.choice(sorted(state.queries | set(state)))
    sql = rng.choice([
        "SELECT %s.*\r\nFROM %s;" % (t, t),
        "SELECT DISTINCT %s AS Valor\r\nFROM %s\r\nWHERE (((%s) Is Not Null))\r\n"
        "ORDER BY %s DESC;" % (c, t, c, c),
        "PARAMETERS [Desde] Long;\r\nSELECT TOP 10 %s\r\nFROM %s\r\nWHERE (((%s)>[Desde]));"
        % (c, t, c),
        "DELETE %s.*\r\nFROM %s\r\nWHERE (((%s) Is Null));" % (t, t, c),
        "SELECT %s\r\nFROM %s\r\nUNION SELECT %s\r\nFROM %s;" % (c, t, c, t),
        "SELECT Count(*) AS Filas, %s\r\nFROM %s AS Otra\r\nGROUP BY %s\r\n"
        "HAVING (((Count(*))>1));" % (other, t, other),
        "CREATE TABLE %s (a CHAR);" % sql_name(name + "T"),
    ])
    return {"op": "create_query", "name": name, "sql": sql}, ("create_query", name)


def gen_delete_query(rng, state):
    if not state.queries:
        return None
    name = rng.choice(sorted(state.queries))
    return {"op": "delete_query", "name": name}, ("delete_query", name)


INDEX_NAMES = ["ix0", "ix1", "Ix", "PrimaryKey", "id"]


def gen_create_index(rng, state):
    if not state:
        return None
    table = state[rng.choice(sorted(state))]
    names = [c["name"] for c in table.columns]
    if not names:
        return None
    fields = []
    for name in rng.sample(names, rng.randint(1, min(3, len(names)))):
        fields.append({"name": name, "descending": True} if rng.random() < 0.3 else name)
    op = {"op": "create_index", "table": table.name, "name": rng.choice(INDEX_NAMES[:3]),
          "fields": fields, "unique": rng.random() < 0.3, "primary": rng.random() < 0.1,
          "ignore_nulls": rng.random() < 0.2, "required": rng.random() < 0.1}
    return op, ("index", table.name)


def gen_delete_index(rng, state):
    if not state:
        return None
    table = state[rng.choice(sorted(state))]
    op = {"op": "delete_index", "table": table.name, "name": rng.choice(INDEX_NAMES)}
    return op, ("index", table.name)


# Tables an operation changes whose rows the readers cannot agree on: libmdb's export cuts a binary
# value at its first zero byte, and every SID of MSysACEs has one. They are read by our checker and
# no longer compared with the sample's export.
NOT_COMPARED = {"MSysACEs"}

RELATION_NAMES = ["rel0", "rel1", "Table2Table1", "Table3Table1"]


def gen_create_relation(rng, state):
    names = sorted(state)
    if len(names) < 2:
        return None
    primary, foreign = (state[n] for n in rng.sample(names, 2))
    pairs = [(p["name"], f["name"]) for p in primary.columns for f in foreign.columns
             if p["type"] == f["type"] and p["type"] not in ("memo", "ole")]
    if not pairs:
        return None
    op = {"op": "create_relation", "name": rng.choice(RELATION_NAMES[:2]),
          "table": primary.name, "foreign_table": foreign.name,
          "attributes": rng.choice([0, 2, 256, 4096, 4352]),
          "fields": [list(rng.choice(pairs))]}
    return op, ("relation", primary.name, foreign.name)


def gen_delete_relation(rng, state):
    names = sorted(state)
    if not names:
        return None
    op = {"op": "delete_relation", "name": rng.choice(RELATION_NAMES)}
    return op, ("relation",) + tuple(names)


def gen_reference_maps(rng, state):
    """A table's maps made type 1 (0x05 pages), as the writer makes a map that cannot grow
    inline: the rows stay, and later steps write through them."""
    if not state:
        return None
    name = rng.choice(sorted(state))
    return {"op": "reference_maps", "table": name}, ("index", name)


GENERATORS = [  # (weight, generator)
    (50, gen_insert),
    (25, gen_delete),
    (12, gen_create_table),
    (8, gen_pages),
    (8, gen_append_column),
    (5, gen_delete_column),
    (6, gen_set_property),
    (5, gen_create_query),
    (3, gen_delete_query),
    (6, gen_grow),
    (6, gen_thin),
    (10, gen_create_index),
    (6, gen_delete_index),
    (10, gen_create_relation),
    (6, gen_delete_relation),
    (3, gen_reference_maps),
]


def reshape_rows(table, change):
    """The expected rows after a field was appended or deleted: change(values) on each."""
    reshaped = collections.Counter()
    for row, count in table.rows.items():
        values = json.loads(row)
        change(values)
        reshaped[json.dumps(values, ensure_ascii=False)] += count
    table.rows = reshaped


def effect(state, touched, what, result):
    """What a successful operation changes in the expected state."""
    kind = what[0]
    if kind == "insert":
        state[what[1]].rows[what[2]] += 1
        touched.add(what[1])
    elif kind == "delete":
        table = state[what[1]]
        if "deleted" in result:
            row = readers.canonical_rows(table.kinds(), [result["deleted"]])[0]
            if table.rows[row] <= 0:
                raise Failure("the driver deleted a row the table should not hold: %s" % row)
            table.rows[row] -= 1
            touched.add(what[1])
    elif kind == "grow":
        for row in what[2]:
            state[what[1]].rows[row] += 1
        touched.add(what[1])
    elif kind == "thin":
        table = state[what[1]]
        for values in result.get("deletedRows", []):
            row = readers.canonical_rows(table.kinds(), [values])[0]
            if table.rows[row] <= 0:
                raise Failure("the driver deleted a row the table should not hold: %s" % row)
            table.rows[row] -= 1
        touched.add(what[1])
    elif kind == "property":
        touched.add("MSysObjects")
    elif kind == "relation":
        # The rows stay; both tables' definitions and the catalog changed.
        touched.update(what[1:])
        touched.update(["MSysObjects", "MSysRelationships", "MSysACEs"])
    elif kind == "index":
        # The rows stay; the table is read again by every reader.
        touched.add(what[1])
    elif kind == "append_column":
        # Rows written before read the new field as Null (a Boolean as False).
        table = state[what[1]]
        c = what[2]
        table.columns.append({"name": c["name"], "type": c["type"],
                              "size": c.get("size", 0) * 2 if c["type"] == "text" else None,
                              "autoLong": False})
        old = None if c["type"] != "boolean" else False
        reshape_rows(table, lambda values: values.append(readers.canon(c["type"], old)))
        touched.add(what[1])
    elif kind == "delete_column":
        table = state[what[1]]
        at = [c["name"] for c in table.columns].index(what[2])
        table.columns.pop(at)
        reshape_rows(table, lambda values: values.pop(at))
        touched.add(what[1])
    elif kind in ("create_query", "delete_query"):
        if kind == "create_query":
            state.queries.add(what[1])
        else:
            state.queries.discard(what[1])
        touched.update({"MSysObjects", "MSysQueries", "MSysACEs"})
    elif kind == "create":
        columns = [{"name": c["name"], "type": c["type"],
                    "size": c.get("size", 0) * 2 if c["type"] == "text" else None,
                    "autoLong": False} for c in what[2]]
        state[what[1]] = Table(what[1], columns, [])
        touched.add(what[1])
        touched.add("MSysObjects")


# --- one sequence ---


def driver_op(driver, path, op):
    result = subprocess.run([driver, "op", path, json.dumps(op)], capture_output=True, text=True)
    lines = result.stdout.strip().splitlines()
    if result.returncode != 0 or not lines:
        detail = lines[-1] if lines else result.stderr.strip()
        raise Failure("driver failed on %s: %s" % (json.dumps(op), detail))
    return json.loads(lines[-1])


class Baseline:
    """What a sample reads as before any change."""

    def __init__(self, driver, path):
        self.path = path
        self.tables = readers.libmdb_table_names(path, system=True)
        self.exports = {n: export(path, n) for n in self.tables}
        readings = readers.read_all(driver, path, tables=set(self.tables))
        self.known = readers.compare(readings, path, tables=set(self.tables))


def export(path, table):
    return subprocess.run(["mdb-export", path, table], capture_output=True).stdout


# Rows libmdb misreads in every row of these tables (compare_readers.KNOWN), new rows too: their
# comparison is ours against mdb-reader only.
LIBMDB_MISREADS = {("MSysQueries", "rows:libmdb"), ("MSysACEs", "rows:libmdb")}


def check_sequence(args, baseline, copy, state, touched):
    result = subprocess.run([args.cli, "check", copy], capture_output=True, text=True)
    if result.returncode != 0:
        raise Failure("check exit %d:\n%s" % (result.returncode, result.stdout.strip()[:2000]))
    compared = (set(touched) | {"MSysObjects"}) - NOT_COMPARED
    readings = readers.read_all(args.driver, copy, tables=compared)
    diffs = [d for d in readers.compare(readings, copy, tables=compared)
             if not any(d.within(known) for known in baseline.known)
             and (d[0], d[1]) not in LIBMDB_MISREADS]
    if diffs:
        raise Failure("the readers disagree:\n" + "\n".join("  %s %s: %s" % d for d in diffs))
    for name in sorted(touched):
        if name not in state:
            continue
        ours = readings["ours"].get(name)
        if ours is None or "error" in ours:
            raise Failure("table %s not read back: %s" % (name, ours and ours.get("error")))
        got = collections.Counter(readers.canonical_rows(state[name].kinds(), ours["rows"]))
        want = +state[name].rows
        if got != want:
            raise Failure("table %s: rows missing %s, rows extra %s" % (
                name, list((want - got).elements())[:3], list((got - want).elements())[:3]))
    if saved_queries(copy) != state.queries:
        raise Failure("queries now %s, expected %s" % (sorted(saved_queries(copy)),
                                                       sorted(state.queries)))
    now = set(readers.libmdb_table_names(copy, system=True))
    created = {n for n in touched if n not in baseline.exports and n != "MSysObjects"}
    if now != set(baseline.tables) | created:
        expected = sorted(set(baseline.tables) | created)
        raise Failure("tables now %s, expected %s" % (sorted(now), expected))
    for name in baseline.tables:
        if name in touched:
            continue
        if export(copy, name) != baseline.exports[name]:
            raise Failure("untouched table %s exports differently" % name)


def run_steps(args, baseline, ops, workdir):
    """Applies the steps to a fresh copy and checks it; the outcome of each step."""
    copy = os.path.join(workdir, "copia.mdb")
    shutil.copyfile(baseline.path, copy)
    state = initial_state(args.driver, copy)
    touched = set()
    outcomes = []
    for op, what in ops:
        result = driver_op(args.driver, copy, op)
        outcomes.append(result)
        if result.get("ok"):
            effect(state, touched, what, result)
    check_sequence(args, baseline, copy, state, touched)
    return outcomes


def generate(rng, args, baseline, workdir):
    """Random steps, each made against the state the earlier ones left, applied as made; then
    the copy is checked. The steps and their outcomes."""
    copy = os.path.join(workdir, "copia.mdb")
    shutil.copyfile(baseline.path, copy)
    state = initial_state(args.driver, copy)
    touched = set()
    ops, outcomes = [], []
    weights = [w for w, _ in GENERATORS]
    try:
        for _ in range(rng.randint(1, args.steps)):
            made = None
            while made is None:
                made = rng.choices([g for _, g in GENERATORS], weights)[0](rng, state)
            op, what = made
            ops.append((op, what))
            result = driver_op(args.driver, copy, op)
            outcomes.append(result)
            if args.verbose:
                print("  %s -> %s" % (json.dumps(op, ensure_ascii=False)[:160],
                                      json.dumps(result, ensure_ascii=False)[:200]))
            if result.get("ok"):
                effect(state, touched, what, result)
        check_sequence(args, baseline, copy, state, touched)
    except Failure as failure:
        failure.ops = ops
        raise
    return ops, outcomes


def shrink(args, baseline, ops, workdir, failure):
    """Drops one step at a time while the sequence still fails the same way."""
    kind = str(failure).split(":")[0]
    i = 0
    while i < len(ops) and len(ops) > 1:
        fewer = ops[:i] + ops[i + 1 :]
        try:
            run_steps(args, baseline, fewer, workdir)
            i += 1
        except Failure as again:
            if str(again).split(":")[0] == kind:
                ops = fewer
            else:
                i += 1
    return ops


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--driver", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--seed", type=int, default=20261207)
    parser.add_argument("--sequences", type=int, default=300)
    parser.add_argument("--steps", type=int, default=12, help="most steps in a sequence")
    parser.add_argument("--sample", action="append", help="only these samples (file names)")
    parser.add_argument("--keep-going", action="store_true", help="run every sequence")
    parser.add_argument("--verbose", action="store_true", help="print every step and outcome")
    args = parser.parse_args()
    try:
        readers.check_readers(args.driver)
    except readers.Unavailable as e:
        print("skipped: " + str(e))
        return 77
    paths = readers.samples()
    if args.sample:
        paths = [p for p in paths if os.path.basename(p) in args.sample]
    baselines = {}
    failures = 0
    refused = collections.Counter()
    done = collections.Counter()
    levels = collections.Counter()
    with tempfile.TemporaryDirectory(prefix="jet_random_") as workdir:
        for number in range(args.sequences):
            rng = random.Random("%d/%d" % (args.seed, number))
            path = rng.choice(paths)
            if path not in baselines:
                baselines[path] = Baseline(args.driver, path)
            baseline = baselines[path]
            try:
                ops, outcomes = generate(rng, args, baseline, workdir)
                for (op, _), result in zip(ops, outcomes):
                    if result.get("ok"):
                        done[op["op"]] += 1
                        if "levels" in result:  # how deep the trees grew or shrank
                            levels["%s %d" % (op["op"], result["levels"])] += 1
                    else:
                        refused["%s %s" % (op["op"], result.get("error"))] += 1
                if (number + 1) % 50 == 0:
                    print("%d sequences, %d failed" % (number + 1, failures), flush=True)
            except Failure as failure:
                failures += 1
                first = str(failure)
                ops = failure.ops
                try:
                    ops = shrink(args, baseline, ops, workdir, failure)
                except Exception:  # keep the unshrunk steps
                    pass
                print("FAIL seed %d sequence %d on %s: %s" % (args.seed, number,
                                                            os.path.basename(path), first))
                print("  steps (%d, replay with jet_driver apply COPY STEPS):" % len(ops))
                for op, _ in ops:
                    print("    " + json.dumps(op, ensure_ascii=False))
                if not args.keep_going:
                    break
    print("%d sequences, seed %d: %d failed; done %s; refused %s; deepest tree after %s" % (
        number + 1, args.seed, failures, dict(done), dict(refused), dict(sorted(levels.items()))))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
