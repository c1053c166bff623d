#!/usr/bin/env python3
"""Imports a generated Python package and drives every repository against the sample database.

Usage: smoke_python.py OUTPUT_FOLDER PACKAGE SAMPLE_SQL
Prints one line per problem; exit code 1 when there is any.
"""
import dataclasses
import importlib
import sqlite3
import sys
import traceback


def main(folder, package, sample_sql):
    sys.path.insert(0, folder)
    pkg = importlib.import_module(package)
    db = sqlite3.connect(":memory:")
    with open(sample_sql, encoding="utf-8") as f:
        db.executescript(f.read())
    problems = []
    for table, repo_class in pkg.REPOSITORIES.items():
        try:
            repo = repo_class(db)
            rows = repo.list()
            if not rows:
                continue
            first = rows[0]
            assert dataclasses.is_dataclass(first), "records are dataclasses"
            key = [getattr(first, k) for k in repo.key]
            if not repo.is_view:
                assert repo.get(*key) == first, "get returns the listed record"
                if [c for c in repo.editable if c not in repo.key]:
                    assert repo.update(first) == 1, "update writes one row"
            for column in repo.searchable:
                value = getattr(first, column)
                if value is not None:
                    assert first in repo.list(**{column: value}), f"search by {column}"
                    break
            for column in repo.columns:
                repo.caption(column)
                repo.choice_caption(column, getattr(first, column))
        except Exception:  # report every table, not just the first failure
            problems.append(f"{table}: {traceback.format_exc().strip().splitlines()[-1]}")
    db.rollback()
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
