#!/usr/bin/env python3
"""Folder benchmark: a whole `transform` against a plain SQLite script doing the same changes.

Generates a data folder of old databases and their models (tables, fields, indexes, relations,
queries; rows in the old tables), then, on fresh copies and interleaved, times
`actualiz-cli transform --no-backup` and `raw_upgrade` below, which makes the same structural
changes with plain SQLite and the same durability (journal DELETE, synchronous FULL, one commit per
change). Prints the median ratio, commits and opens per database (counted with strace), peak
resident memory, the time to append one field to a table of 0 / 100k / 1M rows, `schema` of a
200-table database against `sqlite3 .schema`, and `import` against `mdb-export`. Apart
(--tables-only): the time and memory of a transform that creates most of a model's thousands of
tables, at two sizes, to show how the cost grows with the number of tables.
"""

import argparse
import json
import os
import re
import resource
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

TYPES = [(4, 4), (10, 50), (7, 8), (8, 8), (12, 0)]  # (type code, size) in turn
DECLARED = {4: "INTEGER", 10: "VARCHAR(50) COLLATE NOCASE", 7: "DOUBLE", 8: "DATETIME",
            12: "TEXT COLLATE NOCASE"}
PROGRAM = r"c:\programa"
DATA = r"c:\datos"


def field_doc(name, code, size):
    return {"name": name, "type": code, "size": size, "allowZeroLength": code in (10, 12),
            "required": False}


def table_doc(name, fields, indexes):
    return {"name": name, "fields": fields, "indexes": indexes}


def schema(tables, fields, extra_fields, extra_tables, model, indexed=True):
    """The structure document of an old database (model=False) or its model."""
    docs = []
    for t in range(tables + (extra_tables if model else 0)):
        n = fields + (extra_fields if model else 0)
        fs = [field_doc("f%d" % i, *TYPES[i % len(TYPES)]) for i in range(n)]
        ix = [{"name": "PrimaryKey", "fields": ["f0"], "primary": True, "unique": True},
              {"name": "ix_f1", "fields": ["f1"], "primary": False, "unique": False}]
        if model:
            ix.append({"name": "ix_f2_f3", "fields": ["f2", "f3"], "primary": False,
                       "unique": False})
        if not indexed:
            ix = []
        docs.append(table_doc("t%d" % t, fs, ix))
    relations = []
    for r in range(1, min(tables, 6 if model else 5)):
        relations.append({"name": "r%d" % r, "table": "t0", "foreignTable": "t%d" % r,
                          "attributes": 2 if model and r % 2 else 0,
                          "fields": [{"name": "f0", "foreignName": "f0"}]})
    queries = [{"name": "q%d" % q, "sql": "SELECT f0, f1 FROM t%d WHERE f0 > %d" % (q, q + (
        1 if model else 0))} for q in range(min(tables, 6 if model else 5))]
    return {"tables": docs, "relations": relations, "queries": queries}


def fill_rows(path, tables, fields, rows):
    con = sqlite3.connect(path)
    con.execute("PRAGMA synchronous = OFF")
    con.execute("PRAGMA journal_mode = OFF")
    for t in range(tables):
        cols = ", ".join('"f%d"' % i for i in range(fields))
        marks = ", ".join("?" * fields)

        def value(i, r):
            code = TYPES[i % len(TYPES)][0]
            if i == 0:
                return r
            if code == 4:
                return r % 1000
            if code == 7:
                return r * 0.5
            if code == 8:
                return "2024-01-01 10:00:00"
            return "texto %d" % (r % 977)
        con.executemany('INSERT INTO "t%d" (%s) VALUES (%s)' % (t, cols, marks),
                        ([value(i, r) for i in range(fields)] for r in range(rows)))
    con.commit()
    con.close()


class Bench:
    def __init__(self, args):
        self.args = args
        self.cli = os.path.abspath(args.cli)
        self.root = tempfile.mkdtemp(prefix="actualiz-bench-")
        self.template = os.path.join(self.root, "template")

    def host(self, windows_path, prefix):
        rel = windows_path[3:].replace("\\", "/")
        return os.path.join(prefix, "drive_c", rel)

    def run_cli(self, prefix, *argv, check=True):
        env = dict(os.environ, WINEPREFIX=prefix)
        return subprocess.run([self.cli, *argv], env=env, check=check, capture_output=True,
                              text=True)

    def create(self, prefix, path, doc):
        doc_path = os.path.join(self.root, "doc-%d.json" % os.getpid())
        with open(doc_path, "w") as f:
            json.dump(doc, f)
        self.run_cli(prefix, "create", path, "--from", doc_path)

    def generate(self, dbs, tables, fields, rows, extra_fields=2, extra_tables=2, indexed=True):
        """A prefix with catalogs, dbs old databases with rows and their models."""
        prefix = self.template
        os.makedirs(os.path.join(prefix, "drive_c"), exist_ok=True)
        self.run_cli(prefix, "catalogs", "init")
        os.makedirs(self.host(PROGRAM + "\\modelos", prefix), exist_ok=True)
        os.makedirs(self.host(DATA, prefix), exist_ok=True)
        old_doc = schema(tables, fields, extra_fields, extra_tables, False, indexed)
        model_doc = schema(tables, fields, extra_fields, extra_tables, True, indexed)
        first_old = self.host(DATA + "\\db0.mdb", prefix)
        first_model = self.host(PROGRAM + "\\modelos\\db0.mdb", prefix)
        self.create(prefix, DATA + "\\db0.mdb", old_doc)
        self.create(prefix, PROGRAM + "\\modelos\\db0.mdb", model_doc)
        fill_rows(first_old, tables, fields, rows)
        for d in range(1, dbs):
            shutil.copyfile(first_old, self.host(DATA + "\\db%d.mdb" % d, prefix))
            shutil.copyfile(first_model, self.host(PROGRAM + "\\modelos\\db%d.mdb" % d, prefix))
        return prefix

    def fresh_copy(self, name):
        target = os.path.join(self.root, name)
        shutil.rmtree(target, ignore_errors=True)
        shutil.copytree(self.template, target)
        # The copy's pages go to disk now, not during the run that is timed next (its first
        # fsync would otherwise write back the whole copy, a cost that grows with the rows).
        os.sync()
        return target

    def timed(self, argv, env=None):
        start = time.perf_counter()
        proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
        return elapsed, usage.ru_maxrss / 1024.0, os.waitstatus_to_exitcode(status)

    def transform_argv(self):
        return [self.cli, "transform", "--no-backup", "--program-dir", PROGRAM, "--data-dir",
                DATA]

    def run_transform(self, prefix):
        env = dict(os.environ, WINEPREFIX=prefix)
        return self.timed(self.transform_argv(), env)

    def run_raw(self, prefix):
        argv = [sys.executable, os.path.abspath(__file__), "--raw",
                self.host(PROGRAM + "\\modelos", prefix), self.host(DATA, prefix)]
        return self.timed(argv)

    def counts(self, prefix):
        """Commits (journal deletions) and opens per old database during one transform."""
        trace = os.path.join(self.root, "strace.txt")
        env = dict(os.environ, WINEPREFIX=prefix)
        subprocess.run(["strace", "-f", "-qq", "-e", "trace=openat,unlink,unlinkat", "-o", trace,
                        *self.transform_argv()], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return count_trace(trace, self.host(DATA, prefix), self.host(r"c:\ActMirto", prefix),
                           self.args.dbs)

    def raw_counts(self, prefix):
        trace = os.path.join(self.root, "strace-raw.txt")
        subprocess.run(["strace", "-f", "-qq", "-e", "trace=openat,unlink,unlinkat", "-o", trace,
                        sys.executable, os.path.abspath(__file__), "--raw",
                        self.host(PROGRAM + "\\modelos", prefix), self.host(DATA, prefix)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return count_trace(trace, self.host(DATA, prefix), self.host(r"c:\ActMirto", prefix),
                           self.args.dbs)


def count_trace(trace, data_dir, catalog_dir, dbs):
    """Median commits and SQLite opens per old database; the catalogs' commits are shared out
    over the databases, since every database of the run writes them."""
    commits, opens, catalog_commits = {}, {}, 0
    pattern = re.compile(r'(openat|unlink|unlinkat)\(.*?"([^"]+)"')
    with open(trace) as f:
        for line in f:
            m = pattern.search(line)
            if not m or "= -1" in line:
                continue
            call, path = m.groups()
            name = os.path.basename(path)
            if call.startswith("unlink") and name.endswith(".mdb-journal"):
                if path.startswith(catalog_dir):
                    catalog_commits += 1
                elif path.startswith(data_dir):
                    key = name[:-len("-journal")]
                    commits[key] = commits.get(key, 0) + 1
            elif call == "openat" and name.endswith(".mdb") and "O_RDWR" in line and \
                    path.startswith(data_dir):
                opens[name] = opens.get(name, 0) + 1
    per = lambda d: statistics.median(d.values()) if d else 0
    return per(commits) + catalog_commits / dbs, per(opens)


# ---- the plain SQLite upgrade -------------------------------------------------------------

def raw_upgrade(models_dir, data_dir):
    """What transform does, written directly against SQLite: one commit per change."""
    for name in sorted(os.listdir(data_dir)):
        model_path = os.path.join(models_dir, name)
        if not name.endswith(".mdb") or not os.path.exists(model_path):
            continue
        model = sqlite3.connect(model_path)
        old = sqlite3.connect(os.path.join(data_dir, name), isolation_level=None)
        old.execute("PRAGMA journal_mode = DELETE")
        old.execute("PRAGMA synchronous = FULL")
        upgrade_one(model, old)
        model.close()
        old.close()


def objects(con):
    return {n: i for i, n in con.execute("SELECT Id, Name FROM MSysObjects WHERE Type = 1")}


def columns(con, object_id):
    return list(con.execute("SELECT Name, Type, Size, AllowZeroLength, Required, Position FROM "
                            "MSysColumns WHERE ObjectId = ? ORDER BY Position", (object_id,)))


def quote(name):
    return '"' + name.replace('"', '""') + '"'


def declared(code, size):
    if code == 10:
        return "VARCHAR(%d) COLLATE NOCASE" % size
    return DECLARED.get(code, "TEXT")


def change(con, statements):
    con.execute("BEGIN IMMEDIATE")
    for sql, params in statements:
        con.execute(sql, params)
    con.execute("COMMIT")


def upgrade_one(model, old):
    model_tables = objects(model)
    old_tables = objects(old)
    next_id = lambda: old.execute("SELECT coalesce(max(Id), 0) + 1 FROM MSysObjects").fetchone()[0]
    # Missing tables, one commit each.
    for name, mid in sorted(model_tables.items()):
        if name.startswith("MSys") or name in old_tables:
            continue
        cols = columns(model, mid)
        new_id = next_id()
        stmts = [("CREATE TABLE %s (%s)" % (quote(name), ", ".join(
            "%s %s" % (quote(c[0]), declared(c[1], c[2])) for c in cols)), ()),
            ("INSERT INTO MSysObjects (Id, Name, Type) VALUES (?, ?, 1)", (new_id, name))]
        stmts += [("INSERT INTO MSysColumns (ObjectId, Position, Name, Type, Size, AllowZeroLength, "
                   "Required) VALUES (?, ?, ?, ?, ?, ?, ?)",
                   (new_id, c[5], c[0], c[1], c[2], c[3], c[4])) for c in cols]
        change(old, stmts)
        old_tables[name] = new_id
    # Missing fields, one commit each.
    for name, mid in sorted(model_tables.items()):
        if name.startswith("MSys"):
            continue
        have = {c[0] for c in columns(old, old_tables[name])}
        position = old.execute("SELECT coalesce(max(Position), 0) FROM MSysColumns WHERE "
                               "ObjectId = ?", (old_tables[name],)).fetchone()[0]
        for c in columns(model, mid):
            if c[0] in have:
                continue
            position += 1
            change(old, [("ALTER TABLE %s ADD COLUMN %s %s" % (quote(name), quote(c[0]),
                                                              declared(c[1], c[2])), ()),
                         ("INSERT INTO MSysColumns (ObjectId, Position, Name, Type, Size, AllowZeroLength, "
                   "Required) VALUES (?, ?, ?, ?, ?, ?, ?)",
                          (old_tables[name], position, c[0], c[1], c[2], c[3], c[4]))])
    # Indexes: every old one dropped, every model one created, one commit each.
    for iid, sql_name in list(old.execute("SELECT Id, SqlName FROM MSysIndexes")):
        change(old, [("DROP INDEX %s" % quote(sql_name), ()),
                     ("DELETE FROM MSysIndexColumns WHERE IndexId = ?", (iid,)),
                     ("DELETE FROM MSysIndexes WHERE Id = ?", (iid,))])
    for row in list(model.execute("SELECT i.Id, o.Name, i.Name, i.SqlName, i.IsUnique, "
                                  "i.IsPrimary, i.IgnoreNulls FROM MSysIndexes i JOIN MSysObjects "
                                  "o ON o.Id = i.ObjectId ORDER BY i.Id")):
        iid, table, name, sql_name, unique, primary, ignore = row
        cols = [c[0] for c in model.execute("SELECT Name FROM MSysIndexColumns WHERE IndexId = ? "
                                            "ORDER BY Position", (iid,))]
        new_id = old.execute("SELECT coalesce(max(Id), 0) + 1 FROM MSysIndexes").fetchone()[0]
        stmts = [("CREATE %sINDEX %s ON %s (%s)" % ("UNIQUE " if unique or primary else "",
                                                    quote(sql_name), quote(table),
                                                    ", ".join(quote(c) for c in cols)), ()),
                 ("INSERT INTO MSysIndexes (Id, ObjectId, Name, SqlName, IsUnique, IsPrimary, "
                  "IgnoreNulls) VALUES (?, ?, ?, ?, ?, ?, ?)",
                  (new_id, old_tables[table], name, sql_name, unique, primary, ignore))]
        stmts += [("INSERT INTO MSysIndexColumns (IndexId, Position, Name, Descending) "
                   "VALUES (?, ?, ?, 0)", (new_id, p + 1, c))
                  for p, c in enumerate(cols)]
        change(old, stmts)
    # Relations: the old ones and their triggers dropped, the model's created, one commit each.
    for (name,) in list(old.execute("SELECT DISTINCT Name FROM MSysRelationships")):
        stmts = [("DROP TRIGGER IF EXISTS %s" % quote(name + "." + k), ())
                 for k in ("insert", "update", "delete", "change")]
        stmts.append(("DELETE FROM MSysRelationships WHERE Name = ?", (name,)))
        change(old, stmts)
    relations = {}
    for row in model.execute("SELECT Id, Name, TableName, ForeignTableName, Attributes, "
                             "Position, FieldName, ForeignName FROM MSysRelationships "
                             "ORDER BY Id"):
        relations.setdefault(row[1], []).append(row)
    for name, rows in relations.items():
        _, _, table, foreign, attributes, _, field, foreign_field = rows[0]
        stmts = [("INSERT INTO MSysRelationships (Name, TableName, ForeignTableName, Attributes, "
                  "Position, FieldName, ForeignName) VALUES (?, ?, ?, ?, ?, ?, ?)", r[1:])
                 for r in rows]
        if not attributes & 2:
            t, f, a, b = quote(table), quote(foreign), quote(field), quote(foreign_field)
            stmts += [
                ("CREATE TRIGGER %s BEFORE INSERT ON %s FOR EACH ROW WHEN NEW.%s IS NOT NULL AND "
                 "NOT EXISTS (SELECT 1 FROM %s WHERE %s = NEW.%s) BEGIN SELECT RAISE(ABORT, "
                 "'3201|x'); END" % (quote(name + ".insert"), f, b, t, a, b), ()),
                ("CREATE TRIGGER %s BEFORE UPDATE OF %s ON %s FOR EACH ROW WHEN NEW.%s IS NOT "
                 "NULL AND NOT EXISTS (SELECT 1 FROM %s WHERE %s = NEW.%s) BEGIN SELECT "
                 "RAISE(ABORT, '3201|x'); END" % (quote(name + ".update"), b, f, b, t, a, b), ()),
                ("CREATE TRIGGER %s BEFORE DELETE ON %s FOR EACH ROW WHEN EXISTS (SELECT 1 FROM "
                 "%s WHERE %s = OLD.%s) BEGIN SELECT RAISE(ABORT, '3200|x'); END" % (
                     quote(name + ".delete"), t, f, b, a), ()),
                ("CREATE TRIGGER %s BEFORE UPDATE OF %s ON %s FOR EACH ROW WHEN EXISTS (SELECT 1 "
                 "FROM %s WHERE %s = OLD.%s) BEGIN SELECT RAISE(ABORT, '3200|x'); END" % (
                     quote(name + ".change"), a, t, f, b, a), ())]
        # The check the engine makes before an enforced relation: every foreign key present.
        old.execute("SELECT count(*) FROM %s WHERE %s IS NOT NULL AND %s NOT IN (SELECT %s FROM "
                    "%s)" % (quote(foreign), quote(foreign_field), quote(foreign_field),
                             quote(field), quote(table))).fetchone()
        change(old, stmts)
    # Queries: the old ones deleted, the model's stored, one commit each.
    for oid, in list(old.execute("SELECT Id FROM MSysObjects WHERE Type = 5")):
        change(old, [("DELETE FROM MSysQueries WHERE ObjectId = ?", (oid,)),
                     ("DELETE FROM MSysObjects WHERE Id = ?", (oid,))])
    for name, sql in list(model.execute("SELECT o.Name, q.SQL FROM MSysQueries q JOIN "
                                        "MSysObjects o ON o.Id = q.ObjectId ORDER BY o.Name")):
        new_id = next_id()
        change(old, [("INSERT INTO MSysObjects (Id, Name, Type) VALUES (?, ?, 5)", (new_id, name)),
                     ("INSERT INTO MSysQueries (ObjectId, SQL) VALUES (?, ?)", (new_id, sql))])


# ---- the measurements ----------------------------------------------------------------------

def folder(bench, args):
    print("Carpeta: %d bases x %d tablas x %d campos x %d filas" % (
        args.dbs, args.tables, args.fields, args.rows), flush=True)
    bench.generate(args.dbs, args.tables, args.fields, args.rows)
    ratios, ours, raws, rss = [], [], [], []
    for rep in range(args.reps):
        a = bench.fresh_copy("run-ours")
        b = bench.fresh_copy("run-raw")
        # Interleaved, the order swapped every repetition, so that a busy machine weighs on both.
        pair = [("ours", a), ("raw", b)] if rep % 2 == 0 else [("raw", b), ("ours", a)]
        result = {}
        for kind, prefix in pair:
            result[kind] = bench.run_transform(prefix) if kind == "ours" else bench.run_raw(prefix)
        t_ours, m_ours, code = result["ours"]
        t_raw, _, code_raw = result["raw"]
        if code_raw != 0:
            sys.exit("el guion de SQLite directo falló (salida %d)" % code_raw)
        ours.append(t_ours)
        raws.append(t_raw)
        rss.append(m_ours)
        ratios.append(t_ours / t_raw)
        print("  repetición %d: transform %.2f s (salida %d), SQLite directo %.2f s, razón %.2f" % (
            rep + 1, t_ours, code, t_raw, t_ours / t_raw), flush=True)
    commits, opens = bench.counts(bench.fresh_copy("run-trace"))
    raw_commits, _ = bench.raw_counts(bench.fresh_copy("run-trace-raw"))
    print("transform: mediana %.2f s; SQLite directo: mediana %.2f s; razón mediana %.2f" % (
        statistics.median(ours), statistics.median(raws), statistics.median(ratios)))
    print("commits por base: transform %.0f, SQLite directo %.0f; aperturas por base: %d" % (
        commits, raw_commits, opens))
    print("memoria residente máxima de transform: %.1f MB" % max(rss))


def append_field(bench_args, rows):
    """transform of one database whose one table of rows rows (no indexes, so that nothing is
    rebuilt) lacks one field of its model; the same change by the plain script."""
    args = argparse.Namespace(**vars(bench_args))
    bench = Bench(args)
    bench.generate(1, 1, 10, rows, extra_fields=1, extra_tables=0, indexed=False)
    times, raws, rss = [], [], []
    for _ in range(args.reps):
        t, m, _ = bench.run_transform(bench.fresh_copy("run"))
        times.append(t)
        rss.append(m)
        raws.append(bench.run_raw(bench.fresh_copy("run-raw"))[0])
    shutil.rmtree(bench.root, ignore_errors=True)
    return statistics.median(times), max(rss), statistics.median(raws)


def schema_200(bench):
    prefix = bench.fresh_copy("schema")
    doc = schema(200, 10, 0, 0, False)
    bench.create(prefix, DATA + "\\grande.mdb", doc)
    path = bench.host(DATA + "\\grande.mdb", prefix)
    ours, raw = [], []
    for _ in range(max(5, bench.args.reps)):
        ours.append(bench.timed([bench.cli, "schema", path],
                                dict(os.environ, WINEPREFIX=prefix))[0])
        raw.append(bench.timed(["sqlite3", path, ".schema"])[0])
    return statistics.median(ours), statistics.median(raw)


def print_schema_200(bench):
    ours, raw = schema_200(bench)
    print("schema de 200 tablas: %.1f ms; sqlite3 .schema %.1f ms; razón %.2f" % (
        ours * 1000, raw * 1000, ours / raw), flush=True)


def many_tables(args, tables):
    """transform of one old database holding the first of a model's tables (less one field) against
    a model of `tables` tables of 5 fields: "Igualar BBDD" creates all the others, then the walk,
    the indexes, relations and queries go over all of them. Medians of wall and processor time,
    peak resident memory."""
    bench = Bench(args)
    try:
        bench.generate(1, 1, 5, 0, extra_fields=1, extra_tables=tables - 1)
        walls, cpus, rss = [], [], []
        for _ in range(args.reps):
            prefix = bench.fresh_copy("run")
            env = dict(os.environ, WINEPREFIX=prefix)
            start = time.perf_counter()
            proc = subprocess.Popen(bench.transform_argv(), env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            _, status, usage = os.wait4(proc.pid, 0)
            walls.append(time.perf_counter() - start)
            cpus.append(usage.ru_utime + usage.ru_stime)
            rss.append(usage.ru_maxrss / 1024.0)
            if os.waitstatus_to_exitcode(status) != 0:
                sys.exit("transform de %d tablas: salida %d" % (
                    tables, os.waitstatus_to_exitcode(status)))
        return statistics.median(walls), statistics.median(cpus), max(rss)
    finally:
        shutil.rmtree(bench.root, ignore_errors=True)


def print_many_tables(args):
    sizes = [int(n) for n in args.table_counts.split(",") if n]
    per_table = {}
    for n in sizes:
        wall, cpu, rss = many_tables(args, n)
        per_table[n] = cpu / n
        print("transform de %d tablas (faltan %d): %.2f s (%.2f s de procesador, %.2f ms por "
              "tabla), %.1f MB" % (n, n - 1, wall, cpu, cpu / n * 1000, rss), flush=True)
    if len(sizes) > 1:
        print("procesador por tabla, %d frente a %d tablas: %.2f veces (1 = coste lineal)" % (
            sizes[-1], sizes[0], per_table[sizes[-1]] / per_table[sizes[0]]))


def cpu_of(argv, stdout=subprocess.DEVNULL):
    """Wall seconds, processor seconds (user + system, the program's and its children's) and
    the exit status of one run."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    return (time.perf_counter() - start, usage.ru_utime + usage.ru_stime,
            os.waitstatus_to_exitcode(status))


def import_files(bench, files):
    """`actualiz-cli import FILE` against `mdb-export FILE TABLE` of every table, interleaved run
    by run; per file the medians of wall and processor time. Returns the sums of the medians."""
    ours_wall = ours_cpu = raw_wall = raw_cpu = 0.0
    for f in files:
        tables = [t for t in subprocess.run(["mdb-tables", "-1", f], capture_output=True,
                                            text=True).stdout.split("\n") if t]
        runs = {"ours_wall": [], "ours_cpu": [], "raw_wall": [], "raw_cpu": []}
        out = os.path.join(bench.root, "import.mdb")
        for _ in range(max(5, bench.args.reps)):
            wall, cpu, code = cpu_of([bench.cli, "import", f, out])
            if code != 0:
                raise SystemExit("import de %s: salida %d" % (f, code))
            os.remove(out)
            runs["ours_wall"].append(wall)
            runs["ours_cpu"].append(cpu)
            wall = cpu = 0.0
            for t in tables:
                w, c, _ = cpu_of(["mdb-export", f, t])
                wall += w
                cpu += c
            runs["raw_wall"].append(wall)
            runs["raw_cpu"].append(cpu)
        m = {k: statistics.median(v) for k, v in runs.items()}
        print("import de %s (%d tablas): %.1f ms (%.1f ms de procesador); mdb-export de cada "
              "tabla %.1f ms (%.1f ms); razón %.2f (procesador %.2f)" % (
                  os.path.basename(f), len(tables), m["ours_wall"] * 1000, m["ours_cpu"] * 1000,
                  m["raw_wall"] * 1000, m["raw_cpu"] * 1000, m["ours_wall"] / m["raw_wall"],
                  m["ours_cpu"] / m["raw_cpu"]), flush=True)
        ours_wall += m["ours_wall"]
        ours_cpu += m["ours_cpu"]
        raw_wall += m["raw_wall"]
        raw_cpu += m["raw_cpu"]
    return ours_wall, ours_cpu, raw_wall, raw_cpu


def print_import(bench, files):
    ours_wall, ours_cpu, raw_wall, raw_cpu = import_files(bench, files)
    print("import de %d archivos: %.3f s (%.3f s de procesador); mdb-export de cada tabla "
          "%.3f s (%.3f s); razón %.2f (procesador %.2f)" % (
              len(files), ours_wall, ours_cpu, raw_wall, raw_cpu, ours_wall / raw_wall,
              ours_cpu / raw_cpu), flush=True)


def jet_files(paths):
    files = []
    for p in paths:
        if os.path.isdir(p):
            files += sorted(os.path.join(p, f) for f in os.listdir(p) if f.endswith(".mdb"))
        elif p:
            files.append(p)
    return files


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--raw":
        raw_upgrade(sys.argv[2], sys.argv[3])
        return
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--cli", required=True)
    p.add_argument("--dbs", type=int, default=20)
    p.add_argument("--tables", type=int, default=40)
    p.add_argument("--fields", type=int, default=25)
    p.add_argument("--rows", type=int, default=10000)
    p.add_argument("--reps", type=int, default=5)
    p.add_argument("--append-rows", default="0,100000,1000000")
    p.add_argument("--jet-dir", default="", help="Jet files (a folder, or files separated by ,)")
    p.add_argument("--import-only", action="store_true",
                   help="only `import` of the --jet-dir files against `mdb-export`")
    p.add_argument("--schema-only", action="store_true",
                   help="only `schema` of a 200-table database against `sqlite3 .schema`")
    p.add_argument("--tables-only", action="store_true",
                   help="only `transform` of a database lacking most of a model's many tables")
    p.add_argument("--table-counts", default="1000,8000",
                   help="model sizes for --tables-only, separated by ,")
    args = p.parse_args()
    bench = Bench(args)
    try:
        if args.import_only:
            print_import(bench, jet_files(args.jet_dir.split(",")))
            return
        if args.tables_only:
            print_many_tables(args)
            return
        if args.schema_only:
            os.makedirs(bench.host(DATA, bench.template), exist_ok=True)
            print_schema_200(bench)
            return
        folder(bench, args)
        for rows in [int(r) for r in args.append_rows.split(",") if r]:
            t, m, raw = append_field(args, rows)
            print("añadir un campo a una tabla de %d filas: transform %.3f s, %.1f MB; "
                  "SQLite directo %.3f s" % (rows, t, m, raw), flush=True)
        print_schema_200(bench)
        if args.jet_dir and shutil.which("mdb-export"):
            print_import(bench, jet_files(args.jet_dir.split(",")))
    finally:
        shutil.rmtree(bench.root, ignore_errors=True)


if __name__ == "__main__":
    main()
