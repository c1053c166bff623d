#!/usr/bin/env python3
"""Renders the benchmark's Jinja2 twin of model.qvn: reads the same JSON data file, turns the row
and column sets into lists and dictionaries, renders, and writes the result as UTF-8.

Usage: render_jinja.py TEMPLATE.j2 DATA.json OUT
"""
import json
import sys

import jinja2


def columns(cols):
    """A column list (bare array or column set object) as a dict; nested row sets become lists."""
    if isinstance(cols, dict):
        cols = cols.get("cols", [])
    out = {}
    for c in cols:
        value = c.get("value")
        if isinstance(value, dict) and "rows" in value:
            value = [columns(r.get("cols", [])) for r in value["rows"]]
        elif value is None:
            value = ""
        out.setdefault(c.get("key", ""), value)
    return out


def load(data_path):
    with open(data_path, encoding="utf-8") as f:
        data = json.load(f)
    return [columns(r.get("cols", [])) for r in data["rows"]]


def environment():
    return jinja2.Environment(autoescape=False, keep_trailing_newline=True)


def main():
    template_path, data_path, out_path = sys.argv[1:4]
    tables = load(data_path)
    with open(template_path, encoding="utf-8") as f:
        template = environment().from_string(f.read())
    with open(out_path, "w", encoding="utf-8", newline="") as f:
        f.write(template.render(tables=tables))


if __name__ == "__main__":
    main()
