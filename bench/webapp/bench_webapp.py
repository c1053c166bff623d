#!/usr/bin/env python3
"""Benchmark of the web application model (not a test):

1. generating the application for 1 000 tables of 30 columns (quorvin-cli generate --data, whole
   process, best of --runs);
2. the generated list page of a 100 000-row table: first page, a later page, sorted by a column
   without an index, and searched by text containing and by a number range (median of --requests
   requests each, the server a real process on localhost), on SQLite and, with --pg URL (an empty
   PostgreSQL database the benchmark may fill), on PostgreSQL.

Usage: bench_webapp.py --app-dir build/quorvin [--pg postgresql://...] [--runs 3] [--requests 20]
"""

import argparse
import json
import os
import resource
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "webapp"))
import webapp_support as ws  # noqa: E402


def kv(key, value):
    return {"key": key, "value": value}


KINDS = [  # CL_TYPE, CL_TYPE2, length, length2, dbtype, update, search codes
    ("long", "numeric", "10", "10", "integer", "4", "4"),
    ("VarWChar", "string", "50", "50", "varchar(50)", "1", "1"),
    ("Numeric", "numeric", "12", "12,2", "numeric(12,2)", "4", "4"),
    ("DBDate", "date", "", "", "date", "3", "3"),
    ("Boolean", "boolean", "", "", "boolean", "6", "5"),
    ("LongVarWChar", "string", "", "", "text", "2", "0"),
]


def column(name, kind, pk=False, fk="", caption=""):
    t, t2, length, length2, dbtype, update, search = kind
    return {"key": name, "cols": [
        kv("CL_NAME", name), kv("CL_PKMARK", "1" if pk else ""), kv("CL_CNAME", caption),
        kv("CL_CNAME2", caption or name), kv("CL_DESC", ""), kv("CL_PK", "1" if pk else "0"), kv("CL_FK", fk),
        kv("CL_NULL", "0" if pk else "1"), kv("CL_TYPE", t), kv("CL_TYPE2", t2), kv("CL_LENGTH", length),
        kv("CL_LENGTH2", length2), kv("CL_UPDATE_TYPE", update), kv("CL_SEARCH_TYPE", search),
        kv("CL_MAIN_TYPE", "4"), kv("CL_SHOW_TYPE", "1"), kv("CL_DEFAULT", ""), kv("CL_CONVERT_CAPTION", ""),
        kv("CL_CONVERT_VALUE", ""), kv("CL_CONVERTS", {"tag": "COLUMN_CONVERTS", "rows": []}),
        kv("CL_DBTYPE", dbtype), kv("CL_DBBASE", dbtype), kv("CL_DBKIND", ""), kv("CL_IDENTITY", "0"),
        kv("CL_GENERATED", "0"), kv("CL_GENEXPR", ""),
    ]}


def table(name, columns, fks=()):
    def listed(code):
        return {"tag": code.split(":")[0], "rows": [c for c in columns if dict(
            (x["key"], x["value"]) for x in c["cols"])[code.split(":")[1]] not in ("", "0")]}
    return {"key": name, "cols": [
        kv("TABLE_CATALOG", ""), kv("TABLE_SCHEMA", ""), kv("TABLE_NAME", name), kv("TABLE_TYPE", "TABLE"),
        kv("DESCRIPTION", ""), kv("TL_NAME", name), kv("TL_CNAME", ""), kv("TL_CNAME2", name), kv("TL_USER", ""),
        kv("TL_DATE", "2026-01-01"), kv("TL_DESC", "Table " + name), kv("TL_PK", columns[0]["key"]),
        kv("TL_PKTYPE", "1"), kv("COLUMNS", {"tag": "COLUMNS", "rows": columns}), kv("TL_SCHEMA", ""),
        kv("TL_OBJECT", name),
        kv("UPDATE_COLUMNS", listed("UPDATE_COLUMNS:CL_UPDATE_TYPE")),
        kv("SEARCH_COLUMNS", listed("SEARCH_COLUMNS:CL_SEARCH_TYPE")),
        kv("MAIN_COLUMNS", listed("MAIN_COLUMNS:CL_MAIN_TYPE")),
        kv("SHOW_COLUMNS", listed("SHOW_COLUMNS:CL_SHOW_TYPE")),
        kv("FOREIGN_KEYS", {"tag": "FOREIGN_KEYS", "rows": list(fks)}),
    ]}


def many_tables(n, width):
    rows = []
    for i in range(n):
        cols = [column("id", KINDS[0], pk=True)]
        cols += [column("c%02d" % j, KINDS[j % len(KINDS)], caption="Column %d" % j) for j in range(1, width)]
        rows.append(table("table_%04d" % i, cols))
    return {"tag": "TABLES", "rows": rows}


def cli(app_dir, work, *args):
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_DATA_HOME=os.path.join(work, "data"))
    subprocess.run([os.path.join(app_dir, "quorvin-cli"), *args], env=env, check=True, capture_output=True)


def bench_generation(app_dir, work, runs):
    data = os.path.join(work, "tables.json")
    with open(data, "w") as f:
        json.dump(many_tables(1000, 30), f)
    best = cpu_best = None
    for r in range(runs):
        out = os.path.join(work, "gen%d" % r)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        cli(app_dir, work, "generate", "--model", os.path.join(app_dir, "models", "webapp.qvnm"), "--data", data,
            "--out", out)
        elapsed = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
        best = elapsed if best is None else min(best, elapsed)
        cpu_best = cpu if cpu_best is None else min(cpu_best, cpu)
    size = os.path.getsize(os.path.join(work, "gen0", "webapp", "schema.py"))
    # The application reads that description when it starts.
    start = time.perf_counter()
    subprocess.run([ws.PYTHON, "-c", "import webapp.schema, webapp.runtime.model as m; m.link(m.load(webapp.schema.TABLES))"],
                   cwd=os.path.join(work, "gen0"), check=True)
    load = time.perf_counter() - start
    print("generation, 1 000 tables x 30 columns: %.2f s wall, %.2f s processor (best of %d), schema.py %.1f MB; "
          "loading it in the application %.2f s" % (best, cpu_best, runs, size / 1e6, load))
    print("(load average %.1f on %d processors)" % (os.getloadavg()[0], os.cpu_count()))


BIG_COLUMNS = [("id", 0, True), ("name", 1, False), ("amount", 2, False), ("day", 3, False), ("flag", 4, False),
               ("note", 5, False)]


def big_table_set():
    return {"tag": "TABLES", "rows": [table("big", [column(n, KINDS[k], pk=pk) for n, k, pk in BIG_COLUMNS])]}


def fill_sqlite(path, rows):
    with sqlite3.connect(path) as conn:
        conn.execute("CREATE TABLE big (id INTEGER PRIMARY KEY, name VARCHAR(50), amount NUMERIC(12,2), day DATE, "
                     "flag BOOLEAN, note TEXT)")
        conn.executemany("INSERT INTO big VALUES (?, ?, ?, ?, ?, ?)", (
            (i, "name %06d" % ((i * 7919) % rows), (i * 37 % 100000) / 100, "2024-%02d-%02d" % (1 + i % 12, 1 + i % 28),
             i % 2, "note for row %d" % i) for i in range(1, rows + 1)))


def fill_postgres(url, rows):
    import psycopg2

    with psycopg2.connect(url) as conn, conn.cursor() as cur:
        cur.execute("DROP TABLE IF EXISTS big")
        cur.execute("CREATE TABLE big (id integer PRIMARY KEY, name varchar(50), amount numeric(12,2), day date, "
                    "flag boolean, note text)")
        cur.execute("INSERT INTO big SELECT i, 'name ' || lpad(((i * 7919) %% %d)::text, 6, '0'), "
                    "(i * 37 %% 100000) / 100.0, make_date(2024, 1 + i %% 12, 1 + i %% 28), i %% 2 = 1, "
                    "'note for row ' || i FROM generate_series(1, %d) i" % (rows, rows))
        cur.execute("ANALYZE big")


def process_cpu(pid):
    """User + system time of a process so far, in seconds (Linux)."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def bench_list(app_dir, work, label, connection, requests):
    data = os.path.join(work, "big.json")
    with open(data, "w") as f:
        json.dump(big_table_set(), f)
    out = os.path.join(work, "big-" + label)
    cli(app_dir, work, "generate", "--model", os.path.join(app_dir, "models", "webapp.qvnm"), "--data", data,
        "--out", out)
    server = ws.Server(out, connection)
    try:
        cases = [("first page", "/t/big/"), ("page 1 000", "/t/big/?page=1000"),
                 ("sorted by an unindexed column", "/t/big/?sort=1&dir=desc"),
                 ("text containing", "/t/big/?s1=name+0123"),
                 ("number range", "/t/big/?s2_from=10&s2_to=20")]
        for name, path in cases:
            urllib.request.urlopen(server.base + path).read()  # warm
            times = []
            cpu = process_cpu(server.process.pid)
            for _ in range(requests):
                start = time.perf_counter()
                body = urllib.request.urlopen(server.base + path).read()
                times.append(time.perf_counter() - start)
            cpu = (process_cpu(server.process.pid) - cpu) / requests
            assert b"row-count" in body
            print("list page, 100 000 rows, %s, %s: median %.1f ms, max %.1f ms; application's processor time "
                  "%.1f ms a page" % (label, name, statistics.median(times) * 1000, max(times) * 1000, cpu * 1000))
    finally:
        server.stop()


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--app-dir", default="build/quorvin")
    p.add_argument("--pg", help="an empty PostgreSQL database (postgresql:// address) to fill and measure")
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--requests", type=int, default=20)
    p.add_argument("--rows", type=int, default=100000)
    a = p.parse_args()
    work = tempfile.mkdtemp(prefix="quorvin-webapp-bench-")
    try:
        bench_generation(os.path.abspath(a.app_dir), work, a.runs)
        db = os.path.join(work, "big.db")
        fill_sqlite(db, a.rows)
        bench_list(os.path.abspath(a.app_dir), work, "SQLite", db, a.requests)
        if a.pg:
            fill_postgres(a.pg, a.rows)
            bench_list(os.path.abspath(a.app_dir), work, "PostgreSQL", a.pg, a.requests)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
