#!/usr/bin/env python3
"""Damaged Jet files: how long and how much memory `actualiz-cli import` spends on each.

Makes COUNT damaged copies of real Jet files (a deterministic seed: the same files each run) and
imports each one, timing it. A damaged copy may import (the damage was in unused bytes) or be
refused with exit status 1; anything else (a crash, a signal, no answer in time) is a fault.
Prints the outcome counts, the slowest files and those that used the most memory, and exits 1
when any import faulted or went beyond --max-seconds or --max-mb.

    scripts/jet_mutants.py --cli build/werror/actualiz-cli [--count 300] [--seed 1]
                           [--max-seconds S] [--max-mb M] [--keep DIR] [FILE_OR_FOLDER ...]

The damage, one kind per copy: a few bytes changed at random; a 32-bit or 16-bit number of a
page's first bytes (where page numbers, counts and offsets live) set to an extreme or random
value; a whole page copied over another (chains that loop back, rows that point elsewhere).
Memory is the peak resident size of the import and of the reading process it starts.
"""

import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

def jet_files(paths):
    files = []
    for p in paths:
        if os.path.isdir(p):
            files += sorted(os.path.join(p, f) for f in os.listdir(p) if f.endswith(".mdb"))
        else:
            files.append(p)
    return files


def page_size(data):
    return 2048 if data[0x14] == 0 else 4096  # Jet 3 (version byte 0), else Jet 4 and later


def used_pages(data, size):
    return [n for n in range(1, len(data) // size) if any(data[n * size:n * size + 64])]


def mutate(data, rng):
    data = bytearray(data)
    size = page_size(data)
    pages = used_pages(data, size) or [0]
    kind = rng.choice(["bytes", "word", "short", "page"])
    page = rng.choice(pages)
    base = page * size
    if kind == "bytes":
        for _ in range(rng.randint(1, 4)):
            at = base + rng.randrange(size)
            data[at] ^= rng.randint(1, 255)
        what = "bytes in page %d" % page
    elif kind == "word":
        at = base + rng.randrange(0, min(size, 256) - 4)
        value = rng.choice([0xFFFFFFFF, 0x7FFFFFFF, 0x3FFFFFFF, len(data) // size + rng.randint(0, 64),
                            rng.randrange(1 << 32), rng.choice(pages), page])
        struct.pack_into("<I", data, at, value)
        what = "u32 %#x at %#x" % (value, at)
    elif kind == "short":
        at = base + rng.randrange(0, min(size, 256) - 2)
        value = rng.choice([0xFFFF, 0x7FFF, 0x1FFF, 0x0FFF, rng.randrange(1 << 16)])
        struct.pack_into("<H", data, at, value)
        what = "u16 %#x at %#x" % (value, at)
    else:
        source = rng.choice([n for n in pages if n != page] or pages)
        data[base:base + size] = data[source * size:source * size + size]
        what = "page %d over page %d" % (source, page)
    return bytes(data), what


def run(cli, file, out, timeout, errors):
    """Exit status (None when killed for lack of an answer), wall and processor seconds, and
    the peak resident megabytes of the import and of every process it waited for."""
    with open(errors, "wb") as err:
        proc = subprocess.Popen([cli, "import", file, out], stdout=subprocess.DEVNULL, stderr=err)
    start = time.monotonic()
    killed = False
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid == proc.pid:
            break
        if not killed and time.monotonic() - start > timeout:
            os.kill(proc.pid, 9)
            killed = True
        time.sleep(0.002)
    wall = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    code = None if killed else proc.returncode
    return code, wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--cli", required=True)
    p.add_argument("--count", type=int, default=300)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--timeout", type=float, default=300)
    p.add_argument("--max-seconds", type=float, default=0)
    p.add_argument("--max-mb", type=float, default=0)
    p.add_argument("--keep", default="", help="folder where the slowest damaged copies are kept")
    p.add_argument("files", nargs="*")
    args = p.parse_args()
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    files = jet_files(args.files or [os.path.join(here, "tests", "data", "jet")])
    if not files:
        sys.exit("jet_mutants.py: no Jet files")
    originals = [(f, open(f, "rb").read()) for f in files]
    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="actualiz-mutants.")
    results = []
    try:
        for i in range(args.count):
            name, data = originals[i % len(originals)]
            damaged, what = mutate(data, rng)
            copy = os.path.join(work, "m%04d.mdb" % i)
            with open(copy, "wb") as f:
                f.write(damaged)
            out = os.path.join(work, "out.mdb")
            errors = os.path.join(work, "errors.txt")
            code, wall, cpu, rss = run(args.cli, copy, out, args.timeout, errors)
            if os.path.exists(out):
                os.remove(out)
            last = open(errors, "rb").read().decode("utf-8", "replace").strip().splitlines()[-1:]
            results.append({"i": i, "file": os.path.basename(name), "what": what, "code": code,
                            "wall": wall, "cpu": cpu, "rss": rss, "copy": copy, "err": last})
        report(results, args)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def report(results, args):
    imported = sum(1 for r in results if r["code"] == 0)
    refused = sum(1 for r in results if r["code"] == 1)
    faults = [r for r in results if r["code"] not in (0, 1)]
    print("%d copias dañadas: %d importadas, %d rechazadas, %d fallos" % (
        len(results), imported, refused, len(faults)))
    worst_wall = max(results, key=lambda r: r["wall"])
    worst_cpu = max(results, key=lambda r: r["cpu"])
    print("peor tiempo: %.2f s (%.2f s de procesador), %s de %s (%s)" % (
        worst_wall["wall"], worst_wall["cpu"], "m%04d" % worst_wall["i"], worst_wall["file"],
        worst_wall["what"]))
    print("peor procesador: %.2f s, m%04d de %s (%s)" % (
        worst_cpu["cpu"], worst_cpu["i"], worst_cpu["file"], worst_cpu["what"]))
    peak = max(r["rss"] for r in results)
    print("memoria máxima: %.0f MB" % peak)
    for r in sorted(results, key=lambda r: -r["wall"])[:5]:
        print("  %.2f s  m%04d  %-28s %-26s salida %s %s" % (
            r["wall"], r["i"], r["file"], r["what"], r["code"], " ".join(r["err"])[:100]))
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
        for r in sorted(results, key=lambda r: -r["wall"])[:5]:
            shutil.copy(r["copy"], os.path.join(args.keep, "m%04d-%s" % (r["i"], r["file"])))
    for r in faults:
        print("FALLO m%04d %s (%s): salida %s%s" % (r["i"], r["file"], r["what"], r["code"],
                                                     " (sin respuesta)" if r["code"] is None else ""))
    over = [r for r in results
            if (args.max_seconds and r["wall"] > args.max_seconds) or
            (args.max_mb and r["rss"] > args.max_mb)]
    for r in over:
        print("DEMASIADO m%04d %s (%s): %.2f s, %.0f MB" % (r["i"], r["file"], r["what"],
                                                            r["wall"], r["rss"]))
    sys.exit(1 if faults or over else 0)


if __name__ == "__main__":
    main()
