#!/usr/bin/env python3
"""Jet benchmark: `transform` of a data folder of real Jet 4 files against the same folder in our
own format, with the same models.

For each row count, the old databases are Jet 4 samples, each with a table of that many rows
added by `jet_rows` (through the Jet writer); the models (our own format) are their structure
plus a new table and a new field in two tables. The same folder converted with `actualiz-cli
import` is the comparison. Both are upgraded on fresh copies, interleaved, REPS times; then each
upgraded folder once more (the second run, which changes nothing). User processor time and peak
resident memory come from /usr/bin/time -v; the ratio is of the medians of user time.
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

PROGRAM = r"c:\programa"
DATA = r"c:\datos"


def host(prefix, windows_path):
    return os.path.join(prefix, "drive_c", windows_path[3:].replace("\\", "/"))


class JetBench:
    def __init__(self, args):
        self.args = args
        self.cli = os.path.abspath(args.cli)
        self.rows_tool = os.path.abspath(args.jet_rows)
        self.root = tempfile.mkdtemp(prefix="actualiz-jetbench-")

    def run(self, prefix, *argv):
        env = dict(os.environ, WINEPREFIX=prefix)
        return subprocess.run([self.cli, *argv], env=env, check=True, capture_output=True,
                              text=True)

    def prefix(self, name):
        prefix = os.path.join(self.root, name)
        os.makedirs(os.path.join(prefix, "drive_c"), exist_ok=True)
        self.run(prefix, "catalogs", "init")
        os.makedirs(host(prefix, PROGRAM + "\\modelos"), exist_ok=True)
        os.makedirs(host(prefix, DATA), exist_ok=True)
        return prefix

    def model_doc(self, prefix, old):
        """The old database's structure with a new table, and a new field in its first two
        tables (the one of many rows among them)."""
        doc = json.loads(self.run(prefix, "schema", "--json", old).stdout)
        tables = sorted(doc["tables"], key=lambda t: t["name"] != "Filas")
        for t in tables[:2]:
            t["fields"].append({"name": "Nuevo", "type": 10, "size": 20, "required": False,
                                "allowZeroLength": True})
        doc["tables"].append({"name": "TablaNueva", "fields": [
            {"name": "Id", "type": 4, "size": 4, "required": True, "allowZeroLength": False},
            {"name": "Texto", "type": 10, "size": 50, "required": False,
             "allowZeroLength": True}],
            "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "primary": True,
                         "unique": True}]})
        return doc

    def generate(self, rows):
        """Two templates, "jet" and "own", of the same old databases and models."""
        jet = self.prefix("jet-%d" % rows)
        own = self.prefix("own-%d" % rows)
        for sample in self.args.samples:
            name = os.path.basename(sample)
            old = host(jet, DATA + "\\" + name)
            subprocess.run([self.rows_tool, sample, old, str(rows)], check=True)
            checked = subprocess.run([self.cli, "check", old], capture_output=True, text=True)
            if checked.returncode != 0:
                sys.exit("%s con %d filas no pasa check:\n%s" % (name, rows, checked.stdout))
            self.run(own, "import", old, host(own, DATA + "\\" + name))
            doc = os.path.join(self.root, "modelo.json")
            with open(doc, "w") as f:
                json.dump(self.model_doc(jet, old), f)
            model = PROGRAM + "\\modelos\\" + name
            self.run(jet, "create", model, "--from", doc)
            shutil.copyfile(host(jet, model), host(own, model))
        return jet, own

    def fresh(self, template):
        target = template + "-run"
        shutil.rmtree(target, ignore_errors=True)
        shutil.copytree(template, target)
        os.sync()
        return target

    def transform(self, prefix):
        """User seconds and peak resident MB of one `transform --no-backup`."""
        out = os.path.join(self.root, "time.txt")
        env = dict(os.environ, WINEPREFIX=prefix)
        proc = subprocess.run(["/usr/bin/time", "-v", "-o", out, self.cli, "transform",
                               "--no-backup", "--program-dir", PROGRAM, "--data-dir", DATA],
                              env=env, capture_output=True, text=True)
        if proc.returncode != 0:
            sys.exit("transform en %s: salida %d\n%s%s" % (prefix, proc.returncode, proc.stdout,
                                                          proc.stderr))
        user = rss = None
        with open(out) as f:
            for line in f:
                if "User time (seconds)" in line:
                    user = float(line.split(":")[-1])
                elif "Maximum resident set size" in line:
                    rss = int(line.split(":")[-1]) / 1024.0
        return user, rss

    def measure(self, rows):
        jet, own = self.generate(rows)
        runs = {"jet": [], "own": []}
        second = {}
        for rep in range(self.args.reps):
            order = [("jet", jet), ("own", own)] if rep % 2 == 0 else [("own", own), ("jet", jet)]
            for kind, template in order:
                prefix = self.fresh(template)
                runs[kind].append(self.transform(prefix))
                if rep == self.args.reps - 1:
                    second[kind] = self.transform(prefix)
        for kind in ("jet", "own"):
            for user, rss in runs[kind]:
                print("  %d filas, %s: %.2f s de usuario, %.1f MB" % (
                    rows, "Jet 4" if kind == "jet" else "propio", user, rss), flush=True)
        med = {k: statistics.median(u for u, _ in v) for k, v in runs.items()}
        peak = {k: max(m for _, m in v) for k, v in runs.items()}
        print("%d filas por archivo, %d archivos: Jet 4 %.2f s, %.1f MB; formato propio %.2f s, "
              "%.1f MB; razón %.2f" % (rows, len(self.args.samples), med["jet"], peak["jet"],
                                      med["own"], peak["own"], med["jet"] / med["own"]))
        print("  segunda pasada (no cambia nada): Jet 4 %.2f s, %.1f MB; formato propio %.2f s, "
              "%.1f MB" % (second["jet"][0], second["jet"][1], second["own"][0],
                           second["own"][1]), flush=True)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--cli", required=True)
    p.add_argument("--jet-rows", required=True, help="the jet_rows program")
    p.add_argument("--rows", default="10000,100000")
    p.add_argument("--reps", type=int, default=3)
    p.add_argument("samples", nargs="+", help="Jet 4 files to start from")
    args = p.parse_args()
    bench = JetBench(args)
    try:
        for rows in [int(r) for r in args.rows.split(",") if r]:
            bench.measure(rows)
    finally:
        shutil.rmtree(bench.root, ignore_errors=True)


if __name__ == "__main__":
    main()
