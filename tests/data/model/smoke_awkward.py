#!/usr/bin/env python3
"""Imports a generated Python package and drives every repository through a whole row's life
(insert, get, list, search, update, delete) against a database made by the generated SQL script.

Usage: smoke_awkward.py OUTPUT_FOLDER PACKAGE sqlite DB_FILE
       smoke_awkward.py OUTPUT_FOLDER PACKAGE postgresql "host=... port=... user=... dbname=..."
       smoke_awkward.py OUTPUT_FOLDER PACKAGE mariadb "mysql://USER@localhost/DB?unix_socket=PATH"
Prints one line per problem; exit code 1 when there is any.
"""
import dataclasses
import datetime
import importlib
import sys
import traceback
import uuid
from decimal import Decimal

TEXT = "R&D <b>'\""  # needs escaping wherever it goes


def sample(name, annotation, postgres, counter):
    """A value for a field declared with `annotation` (a text), or None when the type has none here."""
    a = annotation.replace("Optional[", "").rstrip("]")
    if a == "str" and ("uid" in name or name.endswith("public_id")):
        return str(uuid.UUID(int=counter))
    if name in ("area", "bbox"):
        return None  # a geometry: left to the database
    if name == "geom":  # a point as PostGIS writes it back (hex EWKB); plain text on SQLite
        return "0101000020E61000000000000000002A400000000000004A40"
    if name in ("last_ip", "actor"):
        return "192.0.2.1"
    if name == "attrs":
        return '"a"=>"1"'
    if name == "rating" and a == "Decimal":  # a score between 0 and 5
        return Decimal("4.5")
    if a == "str" and name == "cash":
        return "12.50"
    if a == "bool":
        return True
    if a == "int":
        return counter
    if a == "Decimal":
        return Decimal("12.5")
    if a == "float":
        return 2.5
    if a == "datetime.datetime":
        return datetime.datetime(2024, 5, 6, 7, 8, 9, tzinfo=datetime.timezone.utc if postgres else None)
    if a == "datetime.date":
        return datetime.date(2024, 5, 6)
    if a == "datetime.time":
        return datetime.time(7, 8, 9)
    if a == "bytes":
        return b"\x00\x01&<"
    if a == "str":
        return "a<"
    if a == "datetime.timedelta":
        return datetime.timedelta(days=14, seconds=5)
    if a == "list" and name == "tags":
        return ["a", "b<"]
    return None  # other lists, json: left to the database


def refuses(action):
    try:
        action()
    except TypeError:
        return True
    return False


def exercise_keyless(repo, postgres, counter):
    """A table without a key: two equal rows are read, and nothing can be written through it."""
    column = repo.columns[0]
    sql = f"INSERT INTO {repo._from} " + ("() VALUES ()" if repo._mysql else "DEFAULT VALUES")
    repo._execute(sql)
    repo._execute(sql)
    rows = repo.list()
    assert len(rows) == 2, f"two rows read ({len(rows)})"
    assert refuses(lambda: repo.insert(rows[0])), "a keyless table refuses an insert"
    assert refuses(lambda: repo.update(rows[0])), "a keyless table refuses an update"
    assert refuses(lambda: repo.delete(getattr(rows[0], repo.fields[repo.columns.index(column)]))), \
        "a keyless table refuses a delete"
    assert len(repo.list()) == 2, "both rows are still there"


def exercise_twins(repo, postgres, counter):
    """A key chosen in the project: of two rows equal but for it, one update or delete touches one."""
    values = {}
    for field in dataclasses.fields(repo.record):
        values[field.name] = sample(field.name, str(field.type), postgres, counter)
    key_field = repo.fields[repo.columns.index(repo.key[0])]
    first = repo.insert(repo.record(**dict(values, **{key_field: "k1"})))
    repo.insert(repo.record(**dict(values, **{key_field: "k2"})))
    assert repo.update(first) == 1, "update through the chosen key writes one row"
    assert repo.delete("k1") == 1, "delete through the chosen key removes one row"
    assert [getattr(r, key_field) for r in repo.list()] == ["k2"], "the other row is untouched"


def exercise(repo, postgres, counter):
    if not repo.is_view and not repo.key:
        return exercise_keyless(repo, postgres, counter)
    if repo.key_source == "project":
        return exercise_twins(repo, postgres, counter)
    if repo.is_view:
        assert repo.editable == (), "a view offers no editable columns"
        try:
            repo.insert(None)
        except TypeError:
            return
        raise AssertionError("a view accepted an insert")
    values = {}
    for field in dataclasses.fields(repo.record):
        column = repo.columns[repo.fields.index(field.name)]
        if column in repo.generated or (column in repo.identity and repo.key == (column,)):
            continue
        value = sample(field.name, str(field.type), postgres, counter)
        if repo.choices.get(column) and isinstance(value, str):
            value = repo.choices[column][0][0]  # an enum takes one of its labels only
        if value is None and "Optional[" not in str(field.type):
            raise AssertionError(f"no sample value for the required field {field.name}")
        values[field.name] = value
    record = repo.insert(repo.record(**values))
    key = [getattr(record, repo.fields[repo.columns.index(k)]) for k in repo.key]
    assert None not in key, f"the inserted row has a key ({key})"
    got = repo.get(*key)
    assert got is not None, "get finds the inserted row"
    for field, value in values.items():
        if isinstance(value, str):  # padded (char) or normalised (tsvector), but there
            assert value in getattr(got, field), f"{field} reads back as written"
        if isinstance(value, (list, datetime.timedelta)):
            assert getattr(got, field) == value, f"{field} reads back as written ({getattr(got, field)!r})"
    assert got in repo.list(), "list holds the inserted row"
    for column in repo.searchable:
        value = getattr(got, repo.fields[repo.columns.index(column)])
        if isinstance(value, (str, int)) and not isinstance(value, bool):
            assert got in repo.list(**{column: value}), f"search by {column}"
            break
    if [c for c in repo.editable if c not in repo.key and c not in repo.generated]:
        assert repo.update(got) == 1, "update writes one row"
    for column in repo.columns:
        repo.caption(column)
    assert repo.delete(*key) == 1, "delete removes the row"
    assert repo.get(*key) is None, "the row is gone"


def main(folder, package, kind, target):
    sys.path.insert(0, folder)
    pkg = importlib.import_module(package)
    postgres = kind == "postgresql"
    if postgres:
        import psycopg2
        db = psycopg2.connect(target)
        # Rows are written one table at a time, so foreign keys are not checked here.
        db.cursor().execute("SET session_replication_role = replica")
        db.commit()
    elif kind == "mariadb":
        import pymysql
        from urllib.parse import parse_qs, unquote, urlparse
        url = urlparse(target)
        options = {k: v[0] for k, v in parse_qs(url.query).items()}
        db = pymysql.connect(host=url.hostname or "localhost", port=url.port or 3306,
                             user=unquote(url.username or ""), password=unquote(url.password or ""),
                             database=unquote(url.path.lstrip("/")), unix_socket=options.get("unix_socket"),
                             charset="utf8mb4")
        # Rows are written one table at a time, so foreign keys are not checked here.
        db.cursor().execute("SET FOREIGN_KEY_CHECKS = 0")
    else:
        import sqlite3
        db = sqlite3.connect(target)
    problems = []
    for counter, (table, repo_class) in enumerate(pkg.REPOSITORIES.items(), start=1):
        if table.lower().startswith("sqlite_") or repo_class.extension:
            continue  # SQLite's and an extension's own tables are not part of the script
        try:
            exercise(repo_class(db), postgres, counter)
            db.commit()
        except Exception as e:  # report every table, not just the first failure
            db.rollback()
            where = traceback.extract_tb(e.__traceback__)[-1]
            first = (str(e).strip().splitlines() or [""])[0]
            problems.append(f"{table}: {type(e).__name__}: {first} (line {where.lineno} of {where.filename})")
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
