#!/usr/bin/env python3
"""Writes the benchmark's data set in quorvin-cli's JSON data format: a TABLES row set of 200 tables,
each with about 25 table fields and a COLUMNS row set of 30 columns of about 15 fields each.

Usage: make_data.py OUT.json [TABLES] [COLUMNS]   (deterministic: the same arguments give the same file)
"""
import json
import random
import sys

TYPES = [("long", "numeric", "int"), ("text", "varchar", "String"), ("double", "float", "double"),
         ("date", "timestamp", "Date"), ("bool", "bit", "boolean")]


def table(t, ncols, rnd):
    name = "table_%03d" % t
    cls = "Table%03d" % t
    columns = []
    for c in range(ncols):
        kind = TYPES[rnd.randrange(len(TYPES))]
        cname = "column_%02d_%s" % (c, rnd.choice(["id", "name", "code", "amount", "created", "flag"]))
        cols = [
            {"key": "CL_NAME", "value": cname},
            {"key": "CL_PROP", "value": "Column%02d" % c},
            {"key": "CL_CNAME", "value": "列 %d 的标题" % c},
            {"key": "CL_DESC", "value": "Description of %s in %s" % (cname, name)},
            {"key": "CL_PK", "value": "1" if c == 0 else "0"},
            {"key": "CL_FK", "value": "1" if c % 7 == 3 else "0"},
            {"key": "CL_NULL", "value": "0" if c % 3 == 0 else "1"},
            {"key": "CL_TYPE", "value": kind[0]},
            {"key": "CL_TYPE2", "value": kind[1]},
            {"key": "CL_JTYPE", "value": kind[2]},
            {"key": "CL_LENGTH", "value": str(rnd.choice([4, 8, 10, 50, 255]))},
            {"key": "CL_DEFAULT", "value": ""},
            {"key": "CL_UPDATE_TYPE", "value": str(rnd.randrange(1, 5))},
            {"key": "CL_SEARCH_TYPE", "value": str(rnd.randrange(1, 5))},
            {"key": "CL_SHOW_TYPE", "value": str(rnd.randrange(0, 2))},
        ]
        columns.append({"key": cname, "cols": cols})
    fields = [
        ("TL_NAME", name), ("TL_CLASS", cls), ("TL_CNAME", "表 %d" % t), ("TL_CNAME2", "Table number %d" % t),
        ("TL_DESC", "Generated table %d for the benchmark" % t), ("TL_USER", "bench"), ("TL_DATE", "2024-03-01"),
        ("TL_PK", columns[0]["key"]), ("TL_PKTYPE", "1"), ("TL_SCHEMA", "public"), ("TL_CATALOG", "bench"),
        ("TL_PACKAGE", "com.example.bench"), ("TL_MODULE", "module%d" % (t % 10)), ("TL_PREFIX", "tb_"),
        ("TL_SEQUENCE", "seq_%s" % name), ("TL_VIEW", "v_%s" % name), ("TL_FORM", "Frm_%s" % cls),
        ("TL_SERVICE", "%sService" % cls), ("TL_DAO", "%sDao" % cls), ("TL_URL", "/api/%s" % name),
        ("TL_ORDER", columns[1]["key"]), ("TL_AUTHOR", "Quorvin"), ("TL_VERSION", "1.0"),
        ("TL_COUNT", str(ncols)), ("TL_REMARK", "none"),
    ]
    cols = [{"key": k, "value": v} for k, v in fields]
    cols.append({"key": "COLUMNS", "value": {"tag": "COLUMNS", "rows": columns}})
    return {"key": name, "cols": cols}


def main():
    out = sys.argv[1]
    ntables = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    ncols = int(sys.argv[3]) if len(sys.argv) > 3 else 30
    rnd = random.Random(20240301)
    data = {"tag": "TABLES", "rows": [table(t, ncols, rnd) for t in range(1, ntables + 1)]}
    with open(out, "w", encoding="utf-8") as f:
        json.dump(data, f, ensure_ascii=False, indent=1)


if __name__ == "__main__":
    main()
